// SPDX-License-Identifier: Apache-2.0
// The window's life: made, loaded with the saved settings, closed.
#include "main_window.h"

#include "book_window.h"
#include "check_window.h"
#include "message_service.h"
#include "settings/settings_store.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QSignalBlocker>
#include <QTimer>

namespace tessal::console {

MainWindow::MainWindow(settings::Settings& settings, settings::SettingsStore& store,
                       device::Engine& engine, MessageService& messages, QWidget* parent)
    : QWidget(parent), settings_(settings), store_(store), engine_(engine),
      book_(reg::configured(), {}), transaction_(engine, settings, messages),
      now_([] { return QDateTime::currentDateTime(); }) {
    engine_.set_port_enumerator(ports_);
    // Every operation's report goes to the service book, which only queues
    // what it records: the register is written on the book's own thread.
    transaction_.on_report([this](const device::Report& report) {
        book_.heard(report);
        show_service_state();
    });
    build();
}

MainWindow::~MainWindow() {
    engine_.set_port_enumerator(nullptr);
}

void MainWindow::Form_Load() {
    settings_.port_number = 1;
    settings_.speed = 38400;
    settings_.last_used_index = 5;

    store_.load_settings(settings_);

    settings::count_operators_in_use(settings_);

    if (dialog_hooks_.after_load) {
        dialog_hooks_.after_load();
    }

    // The machine's serial ports are read when the port list first opens or
    // a port is first used, not at start.
    const QSignalBlocker block_port(Combo1);
    const QSignalBlocker block_speed(Combo2);
    const int port = settings_.port_number;
    Combo1->setCurrentIndex(port >= 1 && port <= 8 ? port - 1 : -1);
    int speed_entry = -1;
    for (std::size_t i = 0; i < kSpeeds.size(); ++i) {
        if (kSpeeds[i] == settings_.speed) {
            speed_entry = static_cast<int>(i);
        }
    }
    Combo2->setCurrentIndex(speed_entry);
    if (speed_entry < 0) {
        Combo2->setEditText(QString());
    }
}

void MainWindow::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    Timer1->stop();
    store_.save_settings(settings_);
    QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (transaction_.state() != Transaction::State::idle &&
        transaction_.state() != Transaction::State::closed) {
        // A transaction runs: its wait is cut short and nothing more is sent;
        // the window closes once the transaction has closed the port.
        event->ignore();
        transaction_.close([this] { close(); }, true);
        return;
    }
    transaction_.close({}, true);
    Form_Unload();
    event->accept();
}

void MainWindow::ServiceBook_Click() {
    if (!book_window_) {
        book_window_ = std::make_unique<BookWindow>(reg::configured());
    }
    book_window_->show();
    book_window_->raise();
}

void MainWindow::CheckDevice_Click() {
    if (!check_window_) {
        check_window_ = std::make_unique<CheckWindow>(transaction_, settings_);
    }
    check_window_->show();
    check_window_->raise();
    check_window_->activateWindow();
}

void MainWindow::Izlaz_Click() {
    // The port is closed after every transaction; a running one is stopped
    // by the close.
    close();
}

} // namespace tessal::console
