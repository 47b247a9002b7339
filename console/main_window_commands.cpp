// SPDX-License-Identifier: Apache-2.0
// The maintenance commands: the dialogs' buttons, the readings, restart,
// reset and the link test.
#include "main_window.h"

#include "device/operations.h"
#include "link/messages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

namespace tessal::console {

namespace {

// Opens a dialog when no transaction holds the port.
void open_dialog(Transaction& transaction, const std::function<void()>& open) {
    if (open && transaction.idle()) {
        open();
    }
}

} // namespace

void MainWindow::Podesavanja_Click() {
    open_dialog(transaction_, dialog_hooks_.open_gprs);
}

void MainWindow::Podesavanje_PU_Click() {
    open_dialog(transaction_, dialog_hooks_.open_ftp);
}

void MainWindow::SIMch_Click() {
    open_dialog(transaction_, dialog_hooks_.open_sim);
}

void MainWindow::JAD_Click() {
    open_dialog(transaction_, dialog_hooks_.open_jad);
}

void MainWindow::ReadVersion_Click() {
    if (!transaction_.idle()) {
        return;
    }
    SoftVersion->clear();
    transaction_.run(this, device::read_version, [this](const std::optional<std::string>& version) {
        if (version) {
            SoftVersion->setText(from_device(*version));
            SoftVersion->setCursorPosition(0); // the start of the version matters most
        }
    });
}

void MainWindow::ReadLast_Click() {
    if (!transaction_.idle()) {
        return;
    }
    LastCommand->clear();
    transaction_.run(this, device::read_last_command,
                     [this](const std::optional<std::string>& command) {
                         if (command) {
                             QString text = from_device(*command);
                             text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                             LastCommand->setPlainText(text);
                         }
                     });
}

void MainWindow::ComStop_Click() {
    transaction_.run(this, device::restart);
}

void MainWindow::Reset_Click() {
    // The question comes before the port is opened; No sends nothing.
    if (transaction_.idle() && transaction_.confirm(QString::fromLatin1(link::kMsgConfirm))) {
        transaction_.run(this, device::reset);
    }
}

void MainWindow::Test_Click() {
    if (!transaction_.idle()) {
        return;
    }
    // The test uses what the lists show.
    Combo1_Change();
    Combo2_Change();
    transaction_.run(this, device::test_link);
}

void MainWindow::ReadPassword_Click() {
    if (!transaction_.idle()) {
        return;
    }
    LozinkaR->clear();
    run_locked(device::read_imei, [this](const std::optional<std::string>& imei) {
        if (imei) {
            LozinkaR->setText(from_device(*imei));
        }
    });
}

void MainWindow::ReadSignal_Click() {
    if (!transaction_.idle()) {
        return;
    }
    NivoLabel->clear();
    NivoProgres->setValue(0);
    run_locked(device::read_signal_level,
               [this](const std::optional<device::SignalReading>& reading) {
                   if (reading) {
                       NivoLabel->setText(QString::fromStdString(reading->label));
                       NivoProgres->setValue(reading->bar);
                   }
               });
}

} // namespace tessal::console
