// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <memory>

namespace tessal::console {
class MainWindow;
class Transaction;
} // namespace tessal::console

namespace tessal::settings {
struct Settings;
class SettingsStore;
} // namespace tessal::settings

namespace tessal::dialogs {

class FtpDialog;

// The four dialogs of the main window, each owned here and nowhere else.
// The FTP parameters dialog is made hidden at start, so that its operator
// lists are filled before it is first shown; closing it unloads it and the
// next opening starts afresh.  The other dialogs are made anew for each
// opening.  Each dialog is modal to the main window only, so that windows of
// their own (the line trace) stay usable.  Destroy this before the main
// window.
class DialogSet {
  public:
    DialogSet(console::MainWindow& main, settings::Settings& settings,
              settings::SettingsStore& store);
    ~DialogSet();
    DialogSet(const DialogSet&) = delete;
    DialogSet& operator=(const DialogSet&) = delete;

    // The FTP parameters dialog, made hidden when it is not loaded.
    FtpDialog& ftp();
    bool ftp_loaded() const { return ftp_ != nullptr; }

    void open_gprs();
    void open_ftp();
    void open_sim();
    void open_jad();

  private:
    console::MainWindow& main_;
    console::Transaction& transaction_;
    settings::Settings& settings_;
    settings::SettingsStore& store_;
    std::unique_ptr<FtpDialog> ftp_;
};

} // namespace tessal::dialogs
