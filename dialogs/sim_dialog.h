// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace tessal::console {
class Transaction;
}

namespace tessal::dialogs {

// The SIM card of the device's modem: reads its identification, sends a
// password and a SIM identification to the device, and unlocks the SIM with
// its PIN and switches the PIN request off.
class SimDialog : public QDialog {
    Q_OBJECT

  public:
    explicit SimDialog(console::Transaction& transaction, QWidget* parent = nullptr);

    // Handlers.
    void ReadSIM_Click();
    void SendPSW_Click();
    void SendSIM_Click();
    void SendPin_Click();
    void Izlaz_Click();

    // The close box, Escape and "Izlaz" end here; during a wait the wait is
    // cut short and the port closed before the dialog closes.
    void reject() override;

    QPushButton* ReadSIM = nullptr;
    QLineEdit* SIMtext = nullptr;
    QPushButton* SendPSW = nullptr;
    QLineEdit* PassText = nullptr;
    QPushButton* SendSIM = nullptr;
    QLineEdit* SimtextS = nullptr;
    QPushButton* SendPin = nullptr;
    QLineEdit* PINText = nullptr;
    QPushButton* Izlaz = nullptr;

  private:
    void build();

    console::Transaction& transaction_;
};

} // namespace tessal::dialogs
