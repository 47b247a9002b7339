#include "dialog_set.h"

#include "console/main_window.h"
#include "ftp_dialog.h"
#include "gprs_dialog.h"
#include "jad_dialog.h"
#include "settings/settings_store.h"
#include "sim_dialog.h"

namespace tessal::dialogs {

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
    dialog.exec();
}

void DialogSet::open_ftp() {
    ftp().exec();
    // Closed means unloaded: the next opening shows the layout defaults.
    ftp_.reset();
}

void DialogSet::open_sim() {
    SimDialog dialog(main_, &main_);
    dialog.exec();
}

void DialogSet::open_jad() {
    JadDialog dialog(main_, &main_);
    dialog.exec();
}

} // namespace tessal::dialogs
