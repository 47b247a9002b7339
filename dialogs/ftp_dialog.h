// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "console/look.h"
#include "device/ftp_parameters.h"

#include <QDialog>
#include <QRect>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessal::console {
class Transaction;
}
namespace tessal::device {
struct FtpRead;
}
namespace tessal::settings {
struct Settings;
}

namespace tessal::dialogs {

using console::apply_console_look;
using console::DeviceTextValidator;

// The tax authority's FTP parameters of the device: the left frame sends the
// ticked rows, the right frame shows what the device holds.  Constructing the
// dialog is loading it: the layout defaults are set and the operator lists
// filled.  Unloading it is destroying it; the next opening starts afresh.
class FtpDialog : public QDialog {
    Q_OBJECT

  public:
    FtpDialog(console::Transaction& transaction, settings::Settings& settings,
              QWidget* parent = nullptr);
    ~FtpDialog() override;

    // Both operator lists get operator names 0 to the last used index, list
    // position i being operator i, with no entry selected.  Run at load, by the
    // main window at start and by the GPRS operator dialog on confirm.
    void fill_lists();

    // Handlers.
    void Read_Click();
    void Send_Click();
    void Izlaz_Click();

    // Controls, named as the technician's manual names them.  `ftp` 0 to 3
    // are the send side's address octets, 4 to 7 the read side's; `Check1`
    // ticks the rows address, user name, password, report folder, command
    // folder and operator for sending.
    QGroupBox* SendFrame = nullptr;
    QGroupBox* ReadFrame = nullptr;
    std::array<QLineEdit*, 8> ftp{};
    QLineEdit* Username = nullptr;
    QLineEdit* UsernameR = nullptr;
    QLineEdit* Password = nullptr;
    QLineEdit* PasswordR = nullptr;
    QLineEdit* ForSend = nullptr;
    QLineEdit* ForSendR = nullptr;
    QLineEdit* ForCommand = nullptr;
    QLineEdit* ForCommandR = nullptr;
    QComboBox* Combogprs = nullptr;
    QComboBox* CombogprsR = nullptr;
    std::array<QCheckBox*, device::kFtpParameterTable.size()> Check1{};
    QPushButton* Send = nullptr;
    QPushButton* Read = nullptr;
    QPushButton* Izlaz = nullptr;

  public slots:
    // The close box, Escape and "Izlaz" end here; during a wait the wait is
    // cut short and the port closed before the dialog closes.
    void reject() override;

  private:
    // The text box of a user name, password or folder row.
    QLineEdit* text_box(device::FtpParameter parameter, bool send_side) const;
    // Every box of a row on one side, in Tab's order.
    std::vector<QWidget*> row_boxes(device::FtpParameter parameter, bool send_side) const;
    // The send side's value of a typed row, as the device is given it.
    std::string typed(device::FtpParameter parameter) const;
    // A value read into the read side's boxes.
    void show_read(device::FtpParameter parameter, const device::FtpRead& read);

    void build();
    void build_tab_order();
    void clear_read_side();

    console::Transaction& transaction_;
    settings::Settings& settings_;
    // What the last read found, for the send's outcome.
    device::FtpByParameter<std::optional<std::string>> read_;
};

} // namespace tessal::dialogs
