// SPDX-License-Identifier: Apache-2.0
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

using console::place;

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
    // The new value goes to the device byte for byte, in one line of a
    // length the device's rule allows.
    Text3->setValidator(new console::DeviceTextValidator(this));
    Text3->setMaxLength(static_cast<int>(device::kLongestJadValue));
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
    cash_types_ = device::offered_cash_types(settings);
    for (const device::CashType& type : cash_types_) {
        ComboTip->addItem(console::from_device(type.number + ":" + type.name));
    }
    ComboTip->setCurrentIndex(-1);
    show_cash_types(false);
}

void JadDialog::show_cash_types(bool shown) {
    Text3->setHidden(shown);
    ComboTip->setHidden(!shown);
}

void JadDialog::Command2_Click() {
    if (!transaction_.idle()) {
        return;
    }
    show_cash_types(false);
    Text3->clear();
    Text2->clear();
    transaction_.run(
        this,
        [copy = jad_file_](device::Session& session) { return device::read_jad(session, copy); },
        [this](const device::JadRead& read) { place_descriptor(read); });
}

void JadDialog::place_descriptor(const device::JadRead& read) {
    if (!read.descriptor) {
        return;
    }
    QString shown = console::from_device(*read.descriptor);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text2->setPlainText(shown);

    const QSignalBlocker block(Combo1);
    Combo1->clear();
    table_ = read.table;
    if (read.parsed) {
        for (int k = 0; k < table_.count; ++k) {
            Combo1->addItem(console::from_device(table_.names[static_cast<std::size_t>(k)]));
        }
        // Nothing is chosen until the technician picks a parameter.
        Combo1->setCurrentIndex(-1);
        Text3->clear();
    }
}

void JadDialog::Combo1_Click() {
    const int k = Combo1->currentIndex();
    if (k < 0 || k >= table_.count) {
        return;
    }
    const std::string& name = table_.names[static_cast<std::size_t>(k)];
    const std::string& value = table_.values[static_cast<std::size_t>(k)];
    if (name != device::kCashTypeName) {
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
    if (!transaction_.idle()) {
        return;
    }
    const std::optional<int> cash_type =
        ComboTip->isHidden() ? std::nullopt : std::optional(ComboTip->currentIndex());
    const device::JadRequest request = device::jad_request(
        table_, Combo1->currentIndex(), console::to_device(Text3->text()), cash_type, cash_types_);
    // A refusal, or the chosen type's name, comes before the port is opened.
    if (request.first) {
        transaction_.show(*request.first);
    }
    if (request.command.empty()) {
        return;
    }
    transaction_.run(this,
                     [request](device::Session& session) { device::send_jad(session, request); });
}

void JadDialog::IZL_Click() {
    reject();
}

void JadDialog::reject() {
    close_dialog(transaction_, *this);
}

} // namespace tessal::dialogs
