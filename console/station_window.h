// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "link/handover.h"
#include "register/register.h"
#include "settings/settings.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tessal::console {

class Transaction;

// "Stanica": the commissioning station in a window.  It runs the station as
// one transaction on the device engine's thread, shows a large PASS or FAIL
// for the last device, the step under way over a progress bar, and the last
// devices done; "Zaustavi" stops it at any step.
class StationWindow : public QWidget {
    Q_OBJECT

  public:
    StationWindow(Transaction& transaction, const settings::Settings& settings,
                  QWidget* parent = nullptr);
    ~StationWindow() override;

    // The register, a file or a server's URL; by default the one configured
    // for the machine (register.ini), else the user's data folder's.
    void set_register(const QString& location) { place_.location = location; }
    // Asks for the profile file; by default the desktop's file dialog.
    void set_profile_chooser(std::function<QString()> choose) { choose_ = std::move(choose); }

    bool running() const;

    void Choose_Click();
    void Start_Click();
    void Stop_Click();

    QLineEdit* ProfileFile = nullptr;
    QPushButton* Choose = nullptr;
    QLineEdit* Ports = nullptr;
    QPushButton* Start = nullptr;
    QPushButton* Stop = nullptr;
    QLabel* Status = nullptr;
    QLabel* Step = nullptr;
    QProgressBar* Progress = nullptr;
    QPlainTextEdit* Devices = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class Control;
    void build();
    void show_step(int step, const QString& what);
    void show_device(bool pass, const QString& line);
    void set_running(bool running);

    Transaction& transaction_;
    const settings::Settings& settings_;
    reg::Place place_;
    std::function<QString()> choose_;
    std::shared_ptr<Control> control_;
    link::Courier inbox_; // the station's news, run on the window's thread
};

} // namespace tessal::console
