// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tessal::console {
class Transaction;
}
namespace tessal::settings {
struct Settings;
}

namespace tessal::dialogs {

// The table of mobile operators: six rows of display name and GPRS parameter
// string.  Constructing the dialog loads it from the operator table; nothing
// typed reaches the table before `Potvrda`.
class GprsDialog : public QDialog {
    Q_OBJECT

  public:
    // `ftp_lists` refills the FTP parameters dialog's operator lists (creating
    // that dialog hidden if needed); `save` writes the settings file and
    // returns whether that succeeded, having reported a failure itself.
    GprsDialog(console::Transaction& transaction, settings::Settings& settings,
               std::function<void()> ftp_lists, std::function<bool()> save,
               QWidget* parent = nullptr);
    ~GprsDialog() override;

    // Handlers.
    void Form_Load();
    void Potvrda_Click();
    void Izlaz_Click();

    // Controls, named as the technician's manual names them; row i is slot i
    // of the operator table.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<QLineEdit*, 6> Text_prov_ime{};
    std::array<QLineEdit*, 6> Text_prov_gprs{};
    QPushButton* Potvrda = nullptr;
    QPushButton* Izlaz = nullptr;

  private:
    void build();

    console::Transaction& transaction_;
    settings::Settings& settings_;
    std::function<void()> ftp_lists_;
    std::function<bool()> save_;
};

} // namespace tessal::dialogs
