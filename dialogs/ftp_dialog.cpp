#include "ftp_dialog.h"

#include "console/transaction.h"
#include "dialogs/closing.h"
#include "ftp_replies.h"
#include "link/frame.h"
#include "link/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace tessal::dialogs {

namespace {

// The device parameters in the order in which they are read and sent.  A read
// request is "R" and the name; a set request "P", the name, ":" and the value.
constexpr std::array<const char*, 6> kParameters{"FTPGovAddr",         "FTPGovUser",
                                                 "FTPGovPass",         "FTP_pathFILES",
                                                 "FtpGovFoldsCommand", "gprsParamVlada"};
constexpr std::array<const char*, 6> kRowLabels{
    "ftp adresa:", "username:", "password:", "for send:", "command:", "operater:"};

constexpr const char* kMsgBadAddress = "Podaci za ftp adresu nisu dobro uneti.";
constexpr const char* kMsgBadUser = "Podaci za username nisu dobro uneti.";
constexpr const char* kMsgBadPassword = "Podaci za password nisu dobro uneti.";
constexpr const char* kMsgBadForSend = "Podaci za for send nisu dobro uneti.";
constexpr const char* kMsgBadCommand = "Podaci za command nisu dobro uneti.";
constexpr const char* kMsgNoOperator = "Odaberite operatera.";
constexpr const char* kMsgSent = "OK - Promena parametara izvrsena";
constexpr const char* kMsgNothingTicked = "Nisu obelezeni podaci za slanje";
constexpr const char* kMsgUnknownGprs = "GPRS parametri su: ";

// The server address the send side offers at load, one octet per box.
constexpr std::array<const char*, 4> kDefaultAddress{"192", "168", "1", "100"};

constexpr int kRowTop = 26;
constexpr int kRowStep = 32;
constexpr int kRowHeight = 24;
constexpr int kBoxLeft = 108;

QRect row_rect(std::size_t row, int left, int width) {
    return {left, kRowTop + static_cast<int>(row) * kRowStep, width, kRowHeight};
}

// One frame "ftp Poreske Uprave" with the row labels.
QGroupBox* side_frame(QWidget* parent, const char* name, QRect where) {
    auto* frame =
        console::place(new QGroupBox(QStringLiteral("ftp Poreske Uprave"), parent), name, where);
    for (std::size_t row = 0; row < kRowLabels.size(); ++row) {
        console::place(new QLabel(QString::fromLatin1(kRowLabels[row]), frame), QString(),
                       row_rect(row, 10, 96));
    }
    return frame;
}

// Leading and trailing spaces removed (only spaces; the boxes take no other
// blanks).
QString trim_spaces(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ') {
        ++first;
    }
    while (last > first && text[last - 1] == u' ') {
        --last;
    }
    return text.mid(first, last - first);
}

// The index bound of the operator table: 0 to 5 by construction, limited so
// that a bad record cannot reach past the table.
std::size_t last_operator(const settings::Settings& settings) {
    return std::min<std::size_t>(settings.last_used_index, settings.operator_names.size() - 1);
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
    setFixedSize(644, 328);
    apply_console_look(*this);
    auto* device_text = new DeviceTextValidator(this);

    SendFrame = side_frame(this, "SendFrame", {8, 8, 330, 268});
    ReadFrame = side_frame(this, "ReadFrame", {346, 8, 290, 268});

    auto text_box = [&](QGroupBox* frame, const char* name, std::size_t row, int width,
                        bool send_side) {
        auto* box = console::place(new QLineEdit(frame), QString::fromLatin1(name),
                                   row_rect(row, kBoxLeft, width));
        if (send_side) {
            box->setMaxLength(32);
            box->setValidator(device_text);
        } else {
            // The read side only shows what the device holds.
            box->setReadOnly(true);
        }
        return box;
    };
    for (std::size_t i = 0; i < ftp.size(); ++i) {
        const bool send_side = i < 4;
        const int octet = static_cast<int>(i % 4);
        QGroupBox* frame = send_side ? SendFrame : ReadFrame;
        const int step = send_side ? 42 : 44;
        const int width = send_side ? 36 : 38;
        ftp[i] = text_box(frame, "", 0, width, send_side);
        ftp[i]->setObjectName(QStringLiteral("ftp%1").arg(i));
        ftp[i]->move(kBoxLeft + octet * step, ftp[i]->y());
        if (send_side) {
            ftp[i]->setMaxLength(3);
            ftp[i]->setText(QString::fromLatin1(kDefaultAddress[i]));
        }
    }
    Username = text_box(SendFrame, "Username", 1, 162, true);
    Password = text_box(SendFrame, "Password", 2, 162, true);
    ForSend = text_box(SendFrame, "ForSend", 3, 162, true);
    ForCommand = text_box(SendFrame, "ForCommand", 4, 162, true);
    Username->setText(QStringLiteral("terminal"));
    Password->setText(QStringLiteral("trobelik"));
    ForSend->setText(QStringLiteral("/izvestaji"));
    ForCommand->setText(QStringLiteral("/komande"));
    UsernameR = text_box(ReadFrame, "UsernameR", 1, 170, false);
    PasswordR = text_box(ReadFrame, "PasswordR", 2, 170, false);
    ForSendR = text_box(ReadFrame, "ForSendR", 3, 170, false);
    ForCommandR = text_box(ReadFrame, "ForCommandR", 4, 170, false);

    Combogprs = console::place(new QComboBox(SendFrame), QStringLiteral("Combogprs"),
                               row_rect(5, kBoxLeft, 162));
    CombogprsR = console::place(new QComboBox(ReadFrame), QStringLiteral("CombogprsR"),
                                row_rect(5, kBoxLeft, 170));
    // Only the code selects in the read side's list.
    CombogprsR->setAttribute(Qt::WA_TransparentForMouseEvents);
    CombogprsR->setFocusPolicy(Qt::NoFocus);

    for (std::size_t row = 0; row < Check1.size(); ++row) {
        Check1[row] = console::place(new QCheckBox(SendFrame), QStringLiteral("Check1%1").arg(row),
                                     row_rect(row, 286, 24));
    }

    Send = console::console_button(SendFrame, "Send", "Slanje", {kBoxLeft, 222, 162, 34});
    Read = console::console_button(ReadFrame, "Read", "Citanje", {kBoxLeft, 222, 170, 34});
    Izlaz = console::console_button(this, "Izlaz", "Izlaz", {262, 284, 120, 34});

    connect(Send, &QPushButton::clicked, this, [this] { Send_Click(); });
    connect(Read, &QPushButton::clicked, this, [this] { Read_Click(); });
    connect(Izlaz, &QPushButton::clicked, this, [this] { Izlaz_Click(); });
}

std::array<FtpDialog::TextRow, 4> FtpDialog::text_rows() const {
    return {{{Username, UsernameR, kMsgBadUser},
             {Password, PasswordR, kMsgBadPassword},
             {ForSend, ForSendR, kMsgBadForSend},
             {ForCommand, ForCommandR, kMsgBadCommand}}};
}

void FtpDialog::fill_lists() {
    const settings::Settings& settings = settings_;
    for (QComboBox* list : {Combogprs, CombogprsR}) {
        list->clear();
        for (std::size_t i = 0; i <= last_operator(settings); ++i) {
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
    for (const TextRow& row : text_rows()) {
        row.read->clear();
    }
    CombogprsR->setCurrentIndex(-1);
}

void FtpDialog::Read_Click() {
    // One transaction for all six requests: the port stays open between them.
    transaction_.run([this] {
        clear_read_side();
        if (!transaction_.open_port()) {
            return;
        }
        for (std::size_t row = 0; row < kParameters.size(); ++row) {
            const std::string value = transaction_.get_frame(std::string("R") + kParameters[row]);
            if (const std::optional<std::string> message = link::data_message(value)) {
                // The rows read so far keep their values.
                transaction_.inform(*message);
                return;
            }
            place(row, value);
        }
    });
}

void FtpDialog::place(std::size_t row, const std::string& value) {
    if (row == 0) {
        const std::array<std::string, 4> octets = split_address(value);
        for (std::size_t i = 0; i < octets.size(); ++i) {
            ftp[4 + i]->setText(console::from_device(octets[i]));
        }
    } else if (row < 5) {
        text_rows()[row - 1].read->setText(console::from_device(value));
    } else {
        const std::optional<std::size_t> match = match_gprs(settings_, value);
        if (match && static_cast<int>(*match) < CombogprsR->count()) {
            CombogprsR->setCurrentIndex(static_cast<int>(*match));
        } else {
            transaction_.inform(QString::fromLatin1(kMsgUnknownGprs) + console::from_device(value));
        }
    }
}

void FtpDialog::Send_Click() {
    // The whole action is one transaction; each row opens and closes the
    // port for its own request.
    transaction_.run([this] {
        bool any_ticked = false;
        for (std::size_t row = 0; row < Check1.size(); ++row) {
            if (!Check1[row]->isChecked()) {
                continue;
            }
            // A failed row ends the action; rows sent before it stay sent.
            const std::optional<std::string> request = set_request(row);
            if (!request || !transmit(*request)) {
                return;
            }
            any_ticked = true;
        }
        transaction_.inform(QString::fromLatin1(any_ticked ? kMsgSent : kMsgNothingTicked));
    });
}

std::optional<std::string> FtpDialog::set_request(std::size_t row) {
    const std::string head = std::string("P") + kParameters[row] + ":";
    if (row == 0) {
        const std::optional<std::string> address = address_request();
        if (!address) {
            transaction_.inform(QString::fromLatin1(kMsgBadAddress));
            return std::nullopt;
        }
        return head + *address;
    }
    if (row < 5) {
        const TextRow text = text_rows()[row - 1]; // a copy: the array is a temporary
        if (trim_spaces(text.send->text()).isEmpty()) {
            transaction_.inform(QString::fromLatin1(text.message));
            return std::nullopt;
        }
        // Sent as typed, blanks included.
        return head + console::to_device(text.send->text());
    }
    const int chosen = Combogprs->currentIndex();
    const settings::Settings& settings = settings_;
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= settings.gprs_strings.size()) {
        transaction_.inform(QString::fromLatin1(kMsgNoOperator));
        return std::nullopt;
    }
    // The operator's GPRS parameter string goes out, not its name.
    return head + settings.gprs_strings[static_cast<std::size_t>(chosen)].value_or(std::string());
}

std::optional<std::string> FtpDialog::address_request() {
    for (std::size_t i = 0; i < 4; ++i) {
        if (trim_spaces(ftp[i]->text()).isEmpty()) {
            return std::nullopt;
        }
    }
    // The first three octets are padded with leading zeros to three places,
    // in the boxes too; the fourth goes out trimmed but stays as typed.
    QString address;
    for (std::size_t i = 0; i < 3; ++i) {
        const QString octet = trim_spaces(ftp[i]->text()).rightJustified(3, u'0');
        ftp[i]->setText(octet);
        address += octet + u'.';
    }
    address += trim_spaces(ftp[3]->text());
    return console::to_device(address);
}

bool FtpDialog::transmit(const std::string& request) {
    bool acknowledged = false;
    if (transaction_.open_port()) {
        const std::string result = transaction_.get_frame(request);
        acknowledged = result == link::kOk;
        if (!acknowledged) {
            // "CS" and data texts are shown as they came.
            transaction_.inform(link::acknowledgement_message(result));
        }
    }
    transaction_.close_port();
    return acknowledged;
}

} // namespace tessal::dialogs
