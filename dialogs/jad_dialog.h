// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/jad_descriptor.h"
#include "device/operations.h"

#include <QDialog>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tessal::console {
class Transaction;
}
namespace tessal::settings {
struct Settings;
}

namespace tessal::dialogs {

// Reads the device's JAD descriptor, shows it, keeps a copy in "Jad.txt"
// beside the program, lists its parameters and sends a new value for one
// parameter at a time.  "CASH_TYPE:" is chosen from the CashTypeList.
class JadDialog : public QDialog {
    Q_OBJECT

  public:
    // Constructing runs the load step: ComboTip is filled from the
    // CashTypeList of the settings.  `jad_file` receives each descriptor read.
    JadDialog(console::Transaction& transaction, const settings::Settings& settings,
              std::filesystem::path jad_file, QWidget* parent = nullptr);

    // Handlers.
    void Command2_Click(); // Read JAD
    void Command1_Click(); // Send
    void Combo1_Click();   // a parameter is chosen
    void IZL_Click();

    // The close box, Escape and "Izlaz" end here; during a wait the wait is
    // cut short and the port closed before the dialog closes.
    void reject() override;

    const device::JadParameterTable& parameters() const { return table_; }

    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLineEdit* Text3 = nullptr;
    QComboBox* ComboTip = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPlainTextEdit* Text2 = nullptr;
    QPushButton* IZL = nullptr;

  private:
    void build();
    void Form_Load();
    // Shows ComboTip in place of Text3, or Text3 in place of ComboTip.
    void show_cash_types(bool shown);
    // A read's descriptor and parameter list.
    void place_descriptor(const device::JadRead& read);

    console::Transaction& transaction_;
    const settings::Settings& settings_;
    std::filesystem::path jad_file_;
    device::JadParameterTable table_;
    // For each ComboTip entry, the CashTypeList entry it shows.
    std::vector<device::CashType> cash_types_;
};

} // namespace tessal::dialogs
