#include "dialog_set.h"

#include "console/main_window.h"
#include "ftp_dialog.h"
#include "gprs_dialog.h"
#include "jad_dialog.h"
#include "settings/settings_store.h"
#include "sim_dialog.h"

namespace tessal::dialogs {

namespace {

// Modal to the main window only: the trace window stays usable meanwhile.
int exec_over_main(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

} // namespace

DialogSet::DialogSet(console::MainWindow& main) : main_(main) {
    main_.set_dialog_hooks({
        [this] { ftp().fill_lists(); },
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
        ftp_ = std::make_unique<FtpDialog>(main_, &main_);
    }
    return *ftp_;
}

void DialogSet::open_gprs() {
    GprsDialog dialog(
        main_, [this] { ftp().fill_lists(); },
        [this] { return main_.store().save_settings(main_.settings()); }, &main_);
    exec_over_main(dialog);
}

void DialogSet::open_ftp() {
    exec_over_main(ftp());
    // Closed means unloaded: the next opening shows the layout defaults.
    ftp_.reset();
}

void DialogSet::open_sim() {
    SimDialog dialog(main_, &main_);
    exec_over_main(dialog);
}

void DialogSet::open_jad() {
    JadDialog dialog(main_, &main_);
    exec_over_main(dialog);
}

} // namespace tessal::dialogs
