// SPDX-License-Identifier: Apache-2.0
#include "ftp_dialog.h"

#include "console/transaction.h"
#include "device/ftp_parameters.h"
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

constexpr std::array<DialogRow, 6> kDialogRows{{
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

constexpr const DialogRow& dialog_row(FtpParameter parameter) {
    return kDialogRows[row_of(parameter)];
}

// The rows typed into a text box of their own, in the order of the texts of
// device::FtpRows and device::FtpRead.
constexpr std::array<FtpParameter, 4> kTextParameters{
    FtpParameter::user, FtpParameter::password, FtpParameter::for_send, FtpParameter::command};

constexpr std::size_t text_slot(FtpParameter parameter) {
    return row_of(parameter) - row_of(kTextParameters.front());
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
constexpr int kFrameHeight = 268;
constexpr int kGap = 8;

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
        if (row.parameter == FtpParameter::address) {
            first = octets(frame, send_side);
        } else if (row.parameter == FtpParameter::gprs) {
            first = operator_list(row, frame, send_side);
        } else {
            first = text_row(row, frame, send_side);
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
    setFixedSize(kGap + send_width + kGap + read_width + kGap, 328);
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

    Send = console::console_button(SendFrame, "Send", "Slanje",
                                   {columns.send_box_left, 222, columns.wide, 34});
    Read = console::console_button(ReadFrame, "Read", "Citanje",
                                   {columns.read_box_left, 222, columns.wide, 34});
    Izlaz = console::console_button(this, "Izlaz", "Izlaz", {(width() - 120) / 2, 284, 120, 34});
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
    switch (parameter) {
    case FtpParameter::address: {
        const auto first = ftp.begin() + (send_side ? 0 : kOctets);
        return {first, first + kOctets};
    }
    case FtpParameter::gprs:
        return {send_side ? Combogprs : CombogprsR};
    default:
        return {text_box(parameter, send_side)};
    }
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
    // One transaction for all six requests: the port stays open between them.
    const settings::Settings settings = settings_;
    transaction_.run(
        this, [settings](device::Session& session) { return device::read_ftp(session, settings); },
        [this](const device::FtpRead& read) {
            // The rows read before a failure keep their values.
            if (read.rows_read > row_of(FtpParameter::address)) {
                for (std::size_t octet = 0; octet < kOctets; ++octet) {
                    ftp[kOctets + octet]->setText(console::from_device(read.address[octet]));
                }
            }
            for (const FtpParameter parameter : kTextParameters) {
                if (row_of(parameter) < read.rows_read) {
                    text_box(parameter, false)
                        ->setText(console::from_device(read.texts[text_slot(parameter)]));
                }
            }
            if (read.operator_index &&
                static_cast<int>(*read.operator_index) < CombogprsR->count()) {
                CombogprsR->setCurrentIndex(static_cast<int>(*read.operator_index));
            }
        });
}

void FtpDialog::Send_Click() {
    // The whole action is one transaction; each row opens and closes the
    // port for its own request.
    device::FtpRows rows;
    for (const DialogRow& row : kDialogRows) {
        rows.ticked[row_of(row.parameter)] = Check1[row_of(row.parameter)]->isChecked();
    }
    for (std::size_t octet = 0; octet < kOctets; ++octet) {
        rows.address[octet] = console::to_device(ftp[octet]->text());
    }
    for (const FtpParameter parameter : kTextParameters) {
        rows.texts[text_slot(parameter)] = console::to_device(text_box(parameter, true)->text());
    }
    rows.operator_index = Combogprs->currentIndex();
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
