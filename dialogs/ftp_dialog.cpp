// SPDX-License-Identifier: Apache-2.0
#include "ftp_dialog.h"

#include "console/transaction.h"
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

#include <algorithm>

namespace tessal::dialogs {

namespace {

// The rows' labels, as the parameter table captions them.
const char* row_label(std::size_t row) {
    return device::kFtpParameterTable[row].caption;
}

// The server address the send side offers at load, one octet per box.
constexpr std::array<const char*, 4> kDefaultAddress{"192", "168", "1", "100"};

// Spoken names of the rows' boxes; the side, "slanje" or "citanje", follows
// in brackets.
constexpr std::array<const char*, 6> kRowNames{"ftp adresa", "username", "password",
                                               "for send",   "command",  "operater"};
// The send side's row labels carry the mnemonics; the letters shown stay the
// same.
constexpr std::array<const char*, 6> kMnemonicLabels{
    "&ftp adresa:", "&username:", "&password:", "for &send:", "&command:", "&operater:"};

constexpr int kRowTop = 26;
constexpr int kRowStep = 32;
constexpr int kRowHeight = 24;
constexpr int kTickLeft = 10;
constexpr int kFrameTop = 8;
constexpr int kFrameHeight = 268;
constexpr int kGap = 8;
// The longest value a text box takes, and an address octet: the limits of
// the parameters, which every front end applies.
constexpr int kLongestValue = static_cast<int>(device::kLongestFtpValue);
constexpr int kOctet = static_cast<int>(device::kLongestOctet);

QRect row_rect(std::size_t row, int left, int width) {
    return {left, kRowTop + static_cast<int>(row) * kRowStep, width, kRowHeight};
}

QString side_name(const QString& row, bool send_side) {
    return QStringLiteral("%1 (%2)").arg(row, send_side ? QStringLiteral("slanje")
                                                        : QStringLiteral("citanje"));
}

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
    auto* device_text = new DeviceTextValidator(this);

    // Each frame: a row label, then the boxes wide enough for the longest
    // value; on the send side each row starts with its tick box.
    const int label_width =
        QFontMetrics(font()).horizontalAdvance(QString::fromLatin1(row_label(0))) + 6;
    const int wide = console::box_width(*this, kLongestValue);
    const int octet_width = console::box_width(*this, kOctet);
    const int octet_step = octet_width + 8;
    const int send_label_left = kTickLeft + 26;
    const int send_box_left = send_label_left + label_width;
    const int read_box_left = kTickLeft + label_width;
    const int send_width = send_box_left + wide + 12;
    const int read_width = read_box_left + wide + 12;
    setFixedSize(kGap + send_width + kGap + read_width + kGap, 328);

    const auto side_frame = [&](const char* name, bool send_side, int left, int width) {
        auto* frame = console::place(new QGroupBox(QStringLiteral("ftp Poreske Uprave"), this),
                                     name, {left, kFrameTop, width, kFrameHeight});
        // Both frames have the same caption; the screen reader tells them
        // apart.
        frame->setAccessibleName(side_name(QStringLiteral("ftp Poreske Uprave"), send_side));
        return frame;
    };
    SendFrame = side_frame("SendFrame", true, kGap, send_width);
    ReadFrame = side_frame("ReadFrame", false, kGap + send_width + kGap, read_width);

    auto text_box = [&](const char* name, std::size_t row, bool send_side) {
        QGroupBox* frame = send_side ? SendFrame : ReadFrame;
        auto* box = console::place(new QLineEdit(frame), QString::fromLatin1(name),
                                   row_rect(row, send_side ? send_box_left : read_box_left, wide));
        box->setAccessibleName(side_name(QLatin1String(kRowNames[row]), send_side));
        if (send_side) {
            box->setMaxLength(kLongestValue);
            box->setValidator(device_text);
        } else {
            // The read side only shows what the device holds; it can be
            // selected and copied.
            box->setReadOnly(true);
        }
        return box;
    };
    for (std::size_t i = 0; i < ftp.size(); ++i) {
        const bool send_side = i < 4;
        const int octet = static_cast<int>(i % 4);
        ftp[i] = text_box("", 0, send_side);
        ftp[i]->setObjectName(QStringLiteral("ftp%1").arg(i));
        ftp[i]->setAccessibleName(
            side_name(QStringLiteral("ftp adresa %1").arg(octet + 1), send_side));
        ftp[i]->setGeometry(ftp[i]->x() + octet * octet_step, ftp[i]->y(), octet_width, kRowHeight);
        if (send_side) {
            ftp[i]->setMaxLength(kOctet);
            ftp[i]->setText(QString::fromLatin1(kDefaultAddress[i]));
        }
    }
    Username = text_box("Username", 1, true);
    Password = text_box("Password", 2, true);
    ForSend = text_box("ForSend", 3, true);
    ForCommand = text_box("ForCommand", 4, true);
    Username->setText(QStringLiteral("terminal"));
    Password->setText(QStringLiteral("trobelik"));
    ForSend->setText(QStringLiteral("/izvestaji"));
    ForCommand->setText(QStringLiteral("/komande"));
    UsernameR = text_box("UsernameR", 1, false);
    PasswordR = text_box("PasswordR", 2, false);
    ForSendR = text_box("ForSendR", 3, false);
    ForCommandR = text_box("ForCommandR", 4, false);

    Combogprs = console::place(new QComboBox(SendFrame), QStringLiteral("Combogprs"),
                               row_rect(5, send_box_left, wide));
    CombogprsR = console::place(new QComboBox(ReadFrame), QStringLiteral("CombogprsR"),
                                row_rect(5, read_box_left, wide));
    Combogprs->setAccessibleName(side_name(QLatin1String(kRowNames[5]), true));
    CombogprsR->setAccessibleName(side_name(QLatin1String(kRowNames[5]), false));
    // Tab reaches the read side's list and it shows the operator the read
    // matched, but only the code selects in it.
    console::show_only(CombogprsR);

    for (std::size_t row = 0; row < Check1.size(); ++row) {
        Check1[row] = console::place(new QCheckBox(SendFrame), QStringLiteral("Check1%1").arg(row),
                                     row_rect(row, kTickLeft, 22));
        Check1[row]->setAccessibleName(
            QStringLiteral("slanje: %1").arg(QLatin1String(kRowNames[row])));
    }

    // Row labels, each tied to the first box of its row.
    const std::array<QWidget*, 6> send_boxes{ftp[0],  Username,   Password,
                                             ForSend, ForCommand, Combogprs};
    const std::array<QWidget*, 6> read_boxes{ftp[4],   UsernameR,   PasswordR,
                                             ForSendR, ForCommandR, CombogprsR};
    for (std::size_t row = 0; row < device::kFtpParameterTable.size(); ++row) {
        console::label_for(
            console::place(new QLabel(QString::fromLatin1(kMnemonicLabels[row]), SendFrame),
                           QString(), row_rect(row, send_label_left, label_width)),
            send_boxes[row]);
        console::label_for(
            console::place(new QLabel(QString::fromLatin1(row_label(row)), ReadFrame), QString(),
                           row_rect(row, kTickLeft, label_width)),
            read_boxes[row]);
    }

    Send = console::console_button(SendFrame, "Send", "Slanje", {send_box_left, 222, wide, 34});
    Read = console::console_button(ReadFrame, "Read", "Citanje", {read_box_left, 222, wide, 34});
    Izlaz = console::console_button(this, "Izlaz", "Izlaz", {(width() - 120) / 2, 284, 120, 34});

    // Tab: the send side row by row, each row's tick box before its boxes,
    // then "Slanje"; the read side row by row, then "Citanje"; then "Izlaz".
    console::tab_order({Check1[0],  ftp[0],    ftp[1],    ftp[2],    ftp[3],   Check1[1],
                        Username,   Check1[2], Password,  Check1[3], ForSend,  Check1[4],
                        ForCommand, Check1[5], Combogprs, Send,      ftp[4],   ftp[5],
                        ftp[6],     ftp[7],    UsernameR, PasswordR, ForSendR, ForCommandR,
                        CombogprsR, Read,      Izlaz});

    connect(Send, &QPushButton::clicked, this, [this] { Send_Click(); });
    connect(Read, &QPushButton::clicked, this, [this] { Read_Click(); });
    connect(Izlaz, &QPushButton::clicked, this, [this] { Izlaz_Click(); });
}

std::array<QLineEdit*, 4> FtpDialog::send_texts() const {
    return {Username, Password, ForSend, ForCommand};
}

std::array<QLineEdit*, 4> FtpDialog::read_texts() const {
    return {UsernameR, PasswordR, ForSendR, ForCommandR};
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
    for (std::size_t i = 4; i < ftp.size(); ++i) {
        ftp[i]->clear();
    }
    for (QLineEdit* box : read_texts()) {
        box->clear();
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
            if (read.rows_read > 0) {
                for (std::size_t i = 0; i < read.address.size(); ++i) {
                    ftp[4 + i]->setText(console::from_device(read.address[i]));
                }
            }
            const std::array<QLineEdit*, 4> boxes = read_texts();
            for (std::size_t row = 1; row < 5 && row < read.rows_read; ++row) {
                boxes[row - 1]->setText(console::from_device(read.texts[row - 1]));
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
    for (std::size_t row = 0; row < Check1.size(); ++row) {
        rows.ticked[row] = Check1[row]->isChecked();
    }
    for (std::size_t i = 0; i < rows.address.size(); ++i) {
        rows.address[i] = console::to_device(ftp[i]->text());
    }
    const std::array<QLineEdit*, 4> boxes = send_texts();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        rows.texts[i] = console::to_device(boxes[i]->text());
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
                for (std::size_t i = 0; i < sent.padded->size(); ++i) {
                    ftp[i]->setText(console::from_device((*sent.padded)[i]));
                }
            }
        });
}

} // namespace tessal::dialogs
