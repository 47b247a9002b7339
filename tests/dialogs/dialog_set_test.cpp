#include "dialogs/dialog_set.h"
#include "dialogs/ftp_dialog.h"
#include "support/console_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

namespace tessal::testing {
namespace {

class DialogSetTest : public ConsoleFixture {
  protected:
    // Starts the window with the dialogs installed, as the program does.
    void start_with_dialogs() {
        store_ = std::make_unique<settings::SettingsStore>(dir_.path().toStdString());
        auto port = std::make_unique<ScriptedPort>(&now_);
        port_ = port.get();
        link_ = std::make_unique<link::DeviceLink>(std::move(port), [this] { return now_; });
        window_ = std::make_unique<console::MainWindow>(settings_, *store_, *link_, messages_);
        dialogs_ = std::make_unique<dialogs::DialogSet>(*window_, settings_, *store_);
        window_->Form_Load();
    }
    void TearDown() override { dialogs_.reset(); }

    // Clicks `button` and reports the caption of the modal dialog it opened.
    QString open_and_close(QPushButton* button) {
        QString caption;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                caption = modal->windowTitle();
                modal->close();
            }
        });
        button->click();
        return caption;
    }

    std::unique_ptr<dialogs::DialogSet> dialogs_;
};

TEST_F(DialogSetTest, StartFillsTheFtpListsAndTheButtonsOpenTheirDialogs) {
    write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\nIME0=Mreza A\r\nIME1=Mreza B\r\n"
                   "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
    start_with_dialogs();
    ASSERT_TRUE(dialogs_->ftp_loaded());
    EXPECT_EQ(dialogs_->ftp().Combogprs->count(), 2);
    EXPECT_FALSE(dialogs_->ftp().isVisible());

    EXPECT_EQ(open_and_close(window_->Podesavanje_PU), "Podesavanje FTP servera PU");
    EXPECT_FALSE(dialogs_->ftp_loaded()); // closing unloaded it
    EXPECT_EQ(open_and_close(window_->Podesavanja), "Podesavanje GPRS Parametara");
    EXPECT_EQ(open_and_close(window_->SIMch), "Podesavanje SIM kartice");
    EXPECT_EQ(open_and_close(window_->JAD), "JAD - konfiguracioni fajl");
    EXPECT_TRUE(port_->writes.empty());
}

} // namespace
} // namespace tessal::testing
