// SPDX-License-Identifier: Apache-2.0
#include "ftp_dialog.h"

#include "console/transaction.h"
#include "device/ftp_parameters.h"
#include "device/ftp_replies.h"
#include "device/operations.h"
#include "dialogs/closing.h"
#include "link/frame.h"
#include "link/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

namespace tessal::dialogs {

namespace {

using device::FtpParameter;

constexpr std::size_t row_of(FtpParameter parameter) {
    return static_cast<std::size_t>(parameter);
}

// What the dialog adds to each row of the device's parameter table: the
// object names of its boxes (the address's octets are `ftp` 0 to 7), the
// members that hold its text boxes (none for the octets and the operator
// lists), what the send side offers at load, and the letter of the caption
// that the send side's label underlines.
struct DialogRow {
    FtpParameter parameter;
    const char* send_name;
    const char* read_name;
    QLineEdit* FtpDialog::*send_box;
    QLineEdit* FtpDialog::*read_box;
    const char* preset;
    qsizetype mnemonic;
};

constexpr std::array<DialogRow, device::kFtpParameterTable.size()> kDialogRows{{
    {FtpParameter::address, "", "", nullptr, nullptr, "", 0},
    {FtpParameter::user, "Username", "UsernameR", &FtpDialog::Username, &FtpDialog::UsernameR,
     "terminal", 0},
    {FtpParameter::password, "Password", "PasswordR", &FtpDialog::Password, &FtpDialog::PasswordR,
     "trobelik", 0},
    {FtpParameter::for_send, "ForSend", "ForSendR", &FtpDialog::ForSend, &FtpDialog::ForSendR,
     "/izvestaji", 4},
    {FtpParameter::command, "ForCommand", "ForCommandR", &FtpDialog::ForCommand,
     &FtpDialog::ForCommandR, "/komande", 0},
    {FtpParameter::gprs, "Combogprs", "CombogprsR", nullptr, nullptr, "", 0},
}};

// A row for each parameter of the device's table, at its parameter's place.
static_assert([] {
    for (const device::FtpParameterRow& row : device::kFtpParameterTable) {
        if (kDialogRows[row_of(row.parameter)].parameter != row.parameter) {
            return false;
        }
    }
    return true;
}());

constexpr const DialogRow& dialog_row(FtpParameter parameter) {
    return kDialogRows[row_of(parameter)];
}

device::FtpValueKind kind_of(FtpParameter parameter) {
    return device::ftp_parameter(parameter).kind;
}

// The address's octets: `ftp` 0 to 3 on the send side, the next four on the
// read side.
constexpr std::size_t kOctets = 4;

// The server address the send side offers at load, one octet per box.
constexpr std::array<const char*, kOctets> kDefaultAddress{"192", "168", "1", "100"};

// The row's caption as the device's table has it ("for send:"), and its
// name for a screen reader ("for send").
QString caption(FtpParameter parameter) {
    return QString::fromLatin1(device::ftp_parameter(parameter).caption);
}
QString row_name(FtpParameter parameter) {
    QString name = caption(parameter);
    name.chop(1);
    return name;
}

QString side_name(const QString& row, bool send_side) {
    return QStringLiteral("%1 (%2)").arg(row, send_side ? QStringLiteral("slanje")
                                                        : QStringLiteral("citanje"));
}

constexpr int kRowTop = 26;
constexpr int kRowStep = 32;
constexpr int kRowHeight = 24;
constexpr int kTickLeft = 10;
constexpr int kFrameTop = 8;
constexpr int kGap = 8;
constexpr int kButtonHeight = 34;
// Below the rows, however many the device's table has: each frame's button,
// the frame's edge, then "Izlaz" and the dialog's edge.
constexpr int kButtonTop =
    kRowTop + static_cast<int>(device::kFtpParameterTable.size()) * kRowStep + 4;
constexpr int kFrameHeight = kButtonTop + kButtonHeight + 12;
constexpr int kExitTop = kFrameTop + kFrameHeight + kGap;
constexpr int kDialogHeight = kExitTop + kButtonHeight + 10;

QRect row_rect(FtpParameter parameter, int left, int width) {
    return {left, kRowTop + static_cast<int>(row_of(parameter)) * kRowStep, width, kRowHeight};
}

// Where the rows' parts stand: each frame has a row label, then the boxes
// wide enough for the longest value the device takes; on the send side each
// row starts with its tick box.
struct Columns {
    explicit Columns(const QWidget& dialog)
        : label_width(
              QFontMetrics(dialog.font()).horizontalAdvance(caption(FtpParameter::address)) + 6),
          wide(console::box_width(dialog, static_cast<int>(device::kLongestFtpValue))),
          octet_width(console::box_width(dialog, static_cast<int>(device::kLongestOctet))),
          send_box_left(kSendLabelLeft + label_width), read_box_left(kTickLeft + label_width) {}

    int box_left(bool send_side) const { return send_side ? send_box_left : read_box_left; }
    int label_left(bool send_side) const { return send_side ? kSendLabelLeft : kTickLeft; }
    int frame_width(bool send_side) const { return box_left(send_side) + wide + 12; }

    static constexpr int kSendLabelLeft = kTickLeft + 26;
    int label_width;
    int wide;
    int octet_width;
    int send_box_left;
    int read_box_left;
};

// Builds one side of one row: on the send side its tick box, then the row's
// label tied to the row's first box, and the boxes.
class RowBuilder {
  public:
    RowBuilder(FtpDialog& dialog, const Columns& columns, QValidator* device_text)
        : dialog_(dialog), columns_(columns), device_text_(device_text) {}

    void build(const DialogRow& row, bool send_side) {
        QGroupBox* frame = send_side ? dialog_.SendFrame : dialog_.ReadFrame;
        const std::size_t at = row_of(row.parameter);
        if (send_side) {
            dialog_.Check1[at] =
                console::place(new QCheckBox(frame), QStringLiteral("Check1%1").arg(at),
                               row_rect(row.parameter, kTickLeft, 22));
            dialog_.Check1[at]->setAccessibleName(
                QStringLiteral("slanje: %1").arg(row_name(row.parameter)));
        }
        QWidget* first = nullptr;
        switch (kind_of(row.parameter)) {
        case device::FtpValueKind::address:
            first = octets(frame, send_side);
            break;
        case device::FtpValueKind::gprs:
            first = operator_list(row, frame, send_side);
            break;
        case device::FtpValueKind::text:
            first = text_row(row, frame, send_side);
            break;
        }
        QString label = caption(row.parameter);
        if (send_side) {
            label.insert(row.mnemonic, u'&');
        }
        console::label_for(console::place(new QLabel(label, frame), QString(),
                                          row_rect(row.parameter, columns_.label_left(send_side),
                                                   columns_.label_width)),
                           first);
    }

  private:
    QLineEdit* text_box(QGroupBox* frame, FtpParameter parameter, bool send_side, QRect where,
                        const QString& name) {
        auto* box = console::place(new QLineEdit(frame), QString(), where);
        box->setAccessibleName(side_name(name, send_side));
        if (send_side) {
            box->setMaxLength(static_cast<int>(device::ftp_parameter(parameter).longest));
            box->setValidator(device_text_);
        } else {
            // The read side only shows what the device holds; it can be
            // selected and copied.
            box->setReadOnly(true);
        }
        return box;
    }

    QWidget* text_row(const DialogRow& row, QGroupBox* frame, bool send_side) {
        QLineEdit* box =
            text_box(frame, row.parameter, send_side,
                     row_rect(row.parameter, columns_.box_left(send_side), columns_.wide),
                     row_name(row.parameter));
        box->setObjectName(QString::fromLatin1(send_side ? row.send_name : row.read_name));
        dialog_.*(send_side ? row.send_box : row.read_box) = box;
        if (send_side) {
            box->setText(QString::fromLatin1(row.preset));
        }
        return box;
    }

    QWidget* octets(QGroupBox* frame, bool send_side) {
        const std::size_t first = send_side ? 0 : kOctets;
        for (std::size_t octet = 0; octet < kOctets; ++octet) {
            const int left =
                columns_.box_left(send_side) + static_cast<int>(octet) * (columns_.octet_width + 8);
            QLineEdit* box = text_box(
                frame, FtpParameter::address, send_side,
                row_rect(FtpParameter::address, left, columns_.octet_width),
                QStringLiteral("%1 %2").arg(row_name(FtpParameter::address)).arg(octet + 1));
            box->setObjectName(QStringLiteral("ftp%1").arg(first + octet));
            if (send_side) {
                box->setText(QString::fromLatin1(kDefaultAddress[octet]));
            }
            dialog_.ftp[first + octet] = box;
        }
        return dialog_.ftp[first];
    }

    QWidget* operator_list(const DialogRow& row, QGroupBox* frame, bool send_side) {
        QComboBox*& list = send_side ? dialog_.Combogprs : dialog_.CombogprsR;
        list = console::place(new QComboBox(frame),
                              QString::fromLatin1(send_side ? row.send_name : row.read_name),
                              row_rect(row.parameter, columns_.box_left(send_side), columns_.wide));
        list->setAccessibleName(side_name(row_name(row.parameter), send_side));
        if (!send_side) {
            // Tab reaches the read side's list and it shows the operator the
            // read matched, but only the code selects in it.
            console::show_only(list);
        }
        return list;
    }

    FtpDialog& dialog_;
    const Columns& columns_;
    QValidator* device_text_;
};

} // namespace

FtpDialog::FtpDialog(console::Transaction& transaction, settings::Settings& settings,
                     QWidget* parent)
    : QDialog(parent), transaction_(transaction), settings_(settings) {
    build();
    fill_lists();
}

FtpDialog::~FtpDialog() = default;

void FtpDialog::build() {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Podesavanje FTP servera PU"));
    apply_console_look(*this);

    const Columns columns(*this);
    const int send_width = columns.frame_width(true);
    const int read_width = columns.frame_width(false);
    setFixedSize(kGap + send_width + kGap + read_width + kGap, kDialogHeight);
    const auto side_frame = [this](const char* name, bool send_side, int left, int width) {
        auto* frame = console::place(new QGroupBox(QStringLiteral("ftp Poreske Uprave"), this),
                                     name, {left, kFrameTop, width, kFrameHeight});
        // Both frames have the same caption; the screen reader tells them
        // apart.
        frame->setAccessibleName(side_name(QStringLiteral("ftp Poreske Uprave"), send_side));
        return frame;
    };
    SendFrame = side_frame("SendFrame", true, kGap, send_width);
    ReadFrame = side_frame("ReadFrame", false, kGap + send_width + kGap, read_width);

    RowBuilder rows(*this, columns, new DeviceTextValidator(this));
    for (const bool send_side : {true, false}) {
        for (const DialogRow& row : kDialogRows) {
            rows.build(row, send_side);
        }
    }

    Send =
        console::console_button(SendFrame, "Send", "Slanje",
                                {columns.send_box_left, kButtonTop, columns.wide, kButtonHeight});
    Read =
        console::console_button(ReadFrame, "Read", "Citanje",
                                {columns.read_box_left, kButtonTop, columns.wide, kButtonHeight});
    Izlaz = console::console_button(this, "Izlaz", "Izlaz",
                                    {(width() - 120) / 2, kExitTop, 120, kButtonHeight});
    build_tab_order();

    connect(Send, &QPushButton::clicked, this, [this] { Send_Click(); });
    connect(Read, &QPushButton::clicked, this, [this] { Read_Click(); });
    connect(Izlaz, &QPushButton::clicked, this, [this] { Izlaz_Click(); });
}

QLineEdit* FtpDialog::text_box(FtpParameter parameter, bool send_side) const {
    const DialogRow& row = dialog_row(parameter);
    return this->*(send_side ? row.send_box : row.read_box);
}

std::vector<QWidget*> FtpDialog::row_boxes(FtpParameter parameter, bool send_side) const {
    switch (kind_of(parameter)) {
    case device::FtpValueKind::address: {
        const auto first = ftp.begin() + (send_side ? 0 : kOctets);
        return {first, first + kOctets};
    }
    case device::FtpValueKind::gprs:
        return {send_side ? Combogprs : CombogprsR};
    case device::FtpValueKind::text:
        break;
    }
    return {text_box(parameter, send_side)};
}

void FtpDialog::build_tab_order() {
    // Tab: the send side row by row, each row's tick box before its boxes,
    // then "Slanje"; the read side row by row, then "Citanje"; then "Izlaz".
    std::vector<QWidget*> order;
    for (const bool send_side : {true, false}) {
        for (const DialogRow& row : kDialogRows) {
            if (send_side) {
                order.push_back(Check1[row_of(row.parameter)]);
            }
            const std::vector<QWidget*> boxes = row_boxes(row.parameter, send_side);
            order.insert(order.end(), boxes.begin(), boxes.end());
        }
        order.push_back(send_side ? Send : Read);
    }
    order.push_back(Izlaz);
    console::tab_order(order);
}

void FtpDialog::fill_lists() {
    const settings::Settings& settings = settings_;
    for (QComboBox* list : {Combogprs, CombogprsR}) {
        list->clear();
        for (std::size_t i = 0; i < settings::operators_in_use(settings); ++i) {
            list->addItem(console::from_device(settings.operator_names[i].value_or(std::string())));
        }
        list->setCurrentIndex(-1);
    }
}

void FtpDialog::Izlaz_Click() {
    reject();
}

void FtpDialog::reject() {
    close_dialog(transaction_, *this);
}

void FtpDialog::clear_read_side() {
    for (const DialogRow& row : kDialogRows) {
        for (QWidget* box : row_boxes(row.parameter, false)) {
            if (auto* text = qobject_cast<QLineEdit*>(box)) {
                text->clear();
            }
        }
    }
    CombogprsR->setCurrentIndex(-1);
}

void FtpDialog::Read_Click() {
    if (!transaction_.idle()) {
        return;
    }
    clear_read_side();
    read_ = {};
    // One transaction for all six requests: the port stays open between them.
    const settings::Settings settings = settings_;
    transaction_.run(
        this, [settings](device::Session& session) { return device::read_ftp(session, settings); },
        [this](const device::FtpRead& read) {
            // The rows read before a failure keep their values.
            for (const DialogRow& row : kDialogRows) {
                if (read.was_read(row.parameter)) {
                    show_read(row.parameter, read);
                    read_[row.parameter] = read.values[row.parameter];
                }
            }
        });
}

void FtpDialog::show_read(FtpParameter parameter, const device::FtpRead& read) {
    const std::string& value = read.values[parameter];
    switch (kind_of(parameter)) {
    case device::FtpValueKind::address: {
        const std::array<std::string, 4> octets = device::split_address(value);
        for (std::size_t octet = 0; octet < kOctets; ++octet) {
            ftp[kOctets + octet]->setText(console::from_device(octets[octet]));
        }
        break;
    }
    case device::FtpValueKind::text:
        text_box(parameter, false)->setText(console::from_device(value));
        break;
    case device::FtpValueKind::gprs:
        if (read.operator_index && static_cast<int>(*read.operator_index) < CombogprsR->count()) {
            CombogprsR->setCurrentIndex(static_cast<int>(*read.operator_index));
        }
        break;
    }
}

std::string FtpDialog::typed(FtpParameter parameter) const {
    switch (kind_of(parameter)) {
    case device::FtpValueKind::address: {
        std::array<std::string, kOctets> octets;
        for (std::size_t octet = 0; octet < kOctets; ++octet) {
            octets[octet] = console::to_device(ftp[octet]->text());
        }
        return device::joined_address(octets);
    }
    case device::FtpValueKind::text:
        return console::to_device(text_box(parameter, true)->text());
    case device::FtpValueKind::gprs:
        break; // chosen, not typed
    }
    return {};
}

void FtpDialog::Send_Click() {
    // The whole action is one transaction; each row opens and closes the
    // port for its own request.
    device::FtpRows rows;
    for (const DialogRow& row : kDialogRows) {
        rows.ticked[row.parameter] = Check1[row_of(row.parameter)]->isChecked();
        rows.values[row.parameter] = typed(row.parameter);
    }
    // The list stands in for the GPRS parameter string.
    rows.operator_index = Combogprs->currentIndex();
    rows.before = read_;
    const settings::Settings settings = settings_;
    transaction_.run(
        this,
        [rows, settings](device::Session& session) {
            return device::send_ftp(session, rows, settings);
        },
        [this](const device::FtpSent& sent) {
            // The technician sees the octets as they went out.
            if (sent.padded) {
                for (std::size_t octet = 0; octet < sent.padded->size(); ++octet) {
                    ftp[octet]->setText(console::from_device((*sent.padded)[octet]));
                }
            }
        });
}

} // namespace tessal::dialogs
