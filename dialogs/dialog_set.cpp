// SPDX-License-Identifier: Apache-2.0
#include "dialog_set.h"

#include "console/main_window.h"
#include "ftp_dialog.h"
#include "gprs_dialog.h"
#include "jad_dialog.h"
#include "settings/settings_store.h"
#include "sim_dialog.h"

#include <QTimer>
#include <QWindow>

namespace tessal::dialogs {

namespace {

// Shows `dialog` modally over `main` alone: the main window takes no input
// while it is open, other top-level windows still do.
void show_over(QDialog& dialog, QWidget& main) {
    dialog.setWindowModality(Qt::WindowModal);
    dialog.winId();
    if (QWindow* window = dialog.windowHandle()) {
        window->setTransientParent(main.windowHandle());
    }
    dialog.exec();
}

} // namespace

DialogSet::DialogSet(console::MainWindow& main, settings::Settings& settings,
                     settings::SettingsStore& store)
    : main_(main), transaction_(main.transaction()), settings_(settings), store_(store) {
    main_.set_dialog_hooks({
        // Made hidden once the main window is up: nothing of it delays the
        // first window, and it is ready before a click can reach it.
        [this] { QTimer::singleShot(0, &main_, [this] { ftp().fill_lists(); }); },
        [this] { open_gprs(); },
        [this] { open_ftp(); },
        [this] { open_sim(); },
        [this] { open_jad(); },
    });
}

DialogSet::~DialogSet() {
    main_.set_dialog_hooks({});
}

FtpDialog& DialogSet::ftp() {
    if (!ftp_) {
        ftp_ = std::make_unique<FtpDialog>(transaction_, settings_);
    }
    return *ftp_;
}

void DialogSet::open_gprs() {
    GprsDialog dialog(
        transaction_, settings_, [this] { ftp().fill_lists(); },
        [this] { return store_.save_settings(settings_); });
    show_over(dialog, main_);
}

void DialogSet::open_ftp() {
    show_over(ftp(), main_);
    // Closed means unloaded: the next opening shows the layout defaults.
    ftp_.reset();
}

void DialogSet::open_sim() {
    SimDialog dialog(transaction_);
    show_over(dialog, main_);
}

void DialogSet::open_jad() {
    // "Jad.txt" goes beside the settings file, whose folder may not exist yet.
    store_.prepare_directory();
    JadDialog dialog(transaction_, settings_, store_.settings_path().parent_path() / "Jad.txt");
    show_over(dialog, main_);
}

} // namespace tessal::dialogs
