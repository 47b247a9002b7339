#pragma once

#include "dialogs/ftp_dialog.h"
#include "dialogs/gprs_dialog.h"
#include "dialogs/jad_dialog.h"
#include "dialogs/sim_dialog.h"
#include "support/console_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>

namespace tessal::testing {

using Requests = std::vector<std::string>;

// What a row of boxes or a list shows.
inline QStringList texts(const auto& boxes) {
    QStringList out;
    for (const auto* box : boxes) {
        out << box->text();
    }
    return out;
}
inline QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) {
        out << box->itemText(i);
    }
    return out;
}

// The four dialogs on a main window with a scripted port and six operators.
// The operator dialog refreshes the FTP dialog's lists and saves through the
// real store; Jad.txt goes to the settings directory.
class DialogsFixture : public ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\n"
                       "IME0=Telenor\r\nGPRS0=internet\r\nIME1=MTS\r\nGPRS1=gprswap\r\n"
                       "IME2=Vip\r\nGPRS2=vipmobile\r\nIME3=Globaltel\r\nGPRS3=Internet,gt\r\n"
                       "IME4=Yettel\r\nGPRS4=yettel\r\nIME5=Mundio\r\nGPRS5=mundio\r\n"
                       "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
        start();
        open_ftp();
        open_gprs();
        open_jad();
        sim_ = std::make_unique<dialogs::SimDialog>(window_->transaction());
    }

    // A new opening, with no messages or traffic recorded yet.
    void open_ftp() {
        ftp_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
        forget();
    }
    void open_gprs() {
        gprs_ = std::make_unique<dialogs::GprsDialog>(
            window_->transaction(), settings_, [this] { ftp_->fill_lists(); },
            [this] { return save_(); });
        gprs_->show();
        forget();
    }
    void open_jad() {
        jad_ = std::make_unique<dialogs::JadDialog>(window_->transaction(), settings_, jad_path_);
        forget();
    }
    void forget() {
        messages_.clear();
        port_->writes.clear();
    }

    std::function<bool()> save_ = [this] { return store_->save_settings(settings_); };
    std::filesystem::path jad_path_ = std::filesystem::path(dir_.path().toStdString()) / "Jad.txt";
    std::unique_ptr<dialogs::FtpDialog> ftp_;
    std::unique_ptr<dialogs::GprsDialog> gprs_;
    std::unique_ptr<dialogs::JadDialog> jad_;
    std::unique_ptr<dialogs::SimDialog> sim_;
};

} // namespace tessal::testing
