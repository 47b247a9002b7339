#include "jad_dialog.h"

#include "console/look.h"
#include "console/message_service.h"
#include "console/transaction.h"
#include "dialogs/closing.h"
#include "link/frame.h"
#include "link/messages.h"
#include "settings/settings_store.h"
#include "settings/text_file.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace tessal::dialogs {

namespace {

constexpr const char* kCashTypeName = "CASH_TYPE:";
constexpr const char* kMsgNoParameter = "Unesite komandu ";
constexpr const char* kMsgNoValue = "Unesite novu vrednost parametra";
constexpr const char* kMsgNoCashType = "Odaberite tip kase.";
constexpr const char* kMsgChanged = "OK - Promena parametara izvrsena";
constexpr const char* kMsgParseFailed = "greska";
constexpr const char* kMsgFileNotWritten = "Fajl Jad.txt nije upisan!";

using console::place;

bool only_blanks(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

} // namespace

JadDialog::JadDialog(console::Transaction& transaction, const settings::Settings& settings,
                     std::filesystem::path jad_file, QWidget* parent)
    : QDialog(parent), transaction_(transaction), settings_(settings),
      jad_file_(std::move(jad_file)) {
    build();
    Form_Load();
}

void JadDialog::build() {
    setWindowTitle(QStringLiteral("JAD - konfiguracioni fajl"));
    setFixedSize(640, 480);
    console::apply_console_look(*this);

    Label1 = place(new QLabel(QStringLiteral("&Parametar:"), this), "Label1", {12, 16, 96, 22});
    Combo1 = console::spoken(place(new QComboBox(this), "Combo1", {112, 14, 240, 26}), "Parametar");
    console::label_for(Label1, Combo1);
    const QRect value_box{364, 14, 264, 26};
    Text3 = console::spoken(place(new QLineEdit(this), "Text3", value_box), "Vrednost parametra");
    ComboTip = console::spoken(place(new QComboBox(this), "ComboTip", value_box), "Tip kase");
    // The new value goes to the device byte for byte.
    Text3->setValidator(new console::DeviceTextValidator(this));
    Command2 = console::console_button(this, "Command2", "Read JAD", {12, 52, 120, 34});
    Command1 = console::console_button(this, "Command1", "Send", {140, 52, 120, 34});
    IZL = console::console_button(this, "IZL", "Izlaz", {508, 52, 120, 34});
    // Enter in the value box sends it; it is what the technician typed for.
    console::enter_presses(Text3, Command1);
    Text2 =
        console::spoken(place(new QPlainTextEdit(this), "Text2", {12, 98, 616, 370}), "JAD fajl");
    QFont fixed = font();
    fixed.setFixedPitch(true);
    Text2->setFont(fixed);
    Text2->setReadOnly(true);
    // Read only, but the keyboard selects in it too, for copying.
    Text2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text2->setTabChangesFocus(true);
    Text2->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Reading order: the parameter row, the buttons, the descriptor.
    console::tab_order({Combo1, Text3, ComboTip, Command2, Command1, IZL, Text2});

    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { Combo1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(IZL, &QPushButton::clicked, this, [this] { IZL_Click(); });
}

void JadDialog::Form_Load() {
    const settings::Settings& settings = settings_;
    const QSignalBlocker block(ComboTip);
    ComboTip->clear();
    cash_types_.clear();
    const auto count = static_cast<std::size_t>(std::clamp<std::int32_t>(
        settings.cash_type_count, 0, static_cast<std::int32_t>(settings.cash_type_names.size())));
    for (std::size_t i = 0; i < count; ++i) {
        CashType type{settings.cash_type_numbers[i].value_or(""),
                      settings.cash_type_names[i].value_or("")};
        if (type.name.empty()) {
            continue;
        }
        ComboTip->addItem(console::from_device(type.number + ":" + type.name));
        cash_types_.push_back(std::move(type));
    }
    ComboTip->setCurrentIndex(-1);
    show_cash_types(false);
}

void JadDialog::show_cash_types(bool shown) {
    Text3->setHidden(shown);
    ComboTip->setHidden(!shown);
}

void JadDialog::Command2_Click() {
    transaction_.run([this] {
        show_cash_types(false);
        Text3->clear();
        Text2->clear();
        if (!transaction_.open_port()) {
            return;
        }
        const std::string result = transaction_.get_frame("J");
        if (const auto message = link::data_message(result)) {
            transaction_.inform(*message);
            return;
        }
        place_descriptor(result);
    });
}

void JadDialog::place_descriptor(const std::string& reply) {
    QString shown = console::from_device(reply);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text2->setPlainText(shown);

    std::string error;
    const bool saved = settings::replace_file(jad_file_, reply + "\r\n", error);

    const QSignalBlocker block(Combo1);
    Combo1->clear();
    if (parse_descriptor(reply, table_)) {
        for (int k = 0; k < table_.count; ++k) {
            Combo1->addItem(console::from_device(table_.names[static_cast<std::size_t>(k)]));
        }
        // Nothing is chosen until the technician picks a parameter.
        Combo1->setCurrentIndex(-1);
        Text3->clear();
    } else {
        transaction_.plain(QString::fromLatin1(kMsgParseFailed));
    }
    if (!saved) {
        transaction_.inform(QString::fromLatin1(kMsgFileNotWritten));
    }
}

void JadDialog::Combo1_Click() {
    const int k = Combo1->currentIndex();
    if (k < 0 || k >= table_.count) {
        return;
    }
    const std::string& name = table_.names[static_cast<std::size_t>(k)];
    const std::string& value = table_.values[static_cast<std::size_t>(k)];
    if (name != kCashTypeName) {
        show_cash_types(false);
        Text3->setText(console::from_device(value));
        return;
    }
    show_cash_types(true);
    // Select the type whose number is the stored value; without a match the
    // last type stays selected.
    for (std::size_t i = 0; i < cash_types_.size(); ++i) {
        ComboTip->setCurrentIndex(static_cast<int>(i));
        if (cash_types_[i].number == value) {
            break;
        }
    }
}

void JadDialog::Command1_Click() {
    transaction_.run([this] {
        if (const std::optional<std::string> command = set_request()) {
            if (!transaction_.open_port()) {
                return;
            }
            const std::string result = transaction_.get_frame(*command);
            if (result == link::kOk) {
                transaction_.inform(QString::fromLatin1(kMsgChanged));
            } else {
                transaction_.inform(link::acknowledgement_message(result));
            }
        }
    });
}

std::optional<std::string> JadDialog::set_request() {
    const int k = Combo1->currentIndex();
    if (k < 0 || k >= table_.count) {
        transaction_.inform(QString::fromLatin1(kMsgNoParameter));
        return std::nullopt;
    }
    std::string command = "P" + table_.names[static_cast<std::size_t>(k)];
    if (ComboTip->isHidden()) {
        const QString value = Text3->text();
        if (only_blanks(value)) {
            transaction_.inform(QString::fromLatin1(kMsgNoValue));
            return std::nullopt;
        }
        return command + console::to_device(value);
    }
    // The type the technician sees: the CashTypeList entry behind the
    // selected ComboTip entry.
    const int tip = ComboTip->currentIndex();
    if (tip < 0 || static_cast<std::size_t>(tip) >= cash_types_.size()) {
        transaction_.inform(QString::fromLatin1(kMsgNoCashType));
        return std::nullopt;
    }
    const CashType& type = cash_types_[static_cast<std::size_t>(tip)];
    transaction_.plain(console::from_device(type.name));
    return command + type.number;
}

void JadDialog::IZL_Click() {
    reject();
}

void JadDialog::reject() {
    close_dialog(transaction_, *this);
}

} // namespace tessal::dialogs
