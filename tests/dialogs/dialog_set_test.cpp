#include "console/trace_window.h"
#include "dialogs/dialog_set.h"
#include "dialogs/ftp_dialog.h"
#include "support/console_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace tessal::testing {
namespace {

// Follows whether a window is blocked by a modal one.
class BlockWatch : public QObject {
  public:
    explicit BlockWatch(QWidget* window) { window->installEventFilter(this); }
    bool blocked = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked) {
            blocked = true;
        } else if (event->type() == QEvent::WindowUnblocked) {
            blocked = false;
        }
        return false;
    }
};

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
    // While it is open, the main window must be blocked and the trace window
    // not: its "Obrisi" button clears it.
    QString open_and_close(QPushButton* button) {
        QString caption;
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(main_watch_->blocked);
            EXPECT_FALSE(trace_watch_->blocked);
            trace_window_->Lines->appendPlainText("x");
            trace_window_->Obrisi->click();
            EXPECT_TRUE(trace_window_->Lines->toPlainText().isEmpty());
            if (QWidget* modal = QApplication::activeModalWidget()) {
                caption = modal->windowTitle();
                modal->close();
            }
        });
        button->click();
        EXPECT_FALSE(main_watch_->blocked);
        return caption;
    }

    // The trace window is open beside the main window.
    void open_trace_window() {
        window_->show();
        trace_window_ = std::make_unique<console::TraceWindow>(trace_);
        trace_window_->open();
        main_watch_ = std::make_unique<BlockWatch>(window_.get());
        trace_watch_ = std::make_unique<BlockWatch>(trace_window_.get());
    }

    link::Trace trace_;
    std::unique_ptr<console::TraceWindow> trace_window_;
    std::unique_ptr<BlockWatch> main_watch_;
    std::unique_ptr<BlockWatch> trace_watch_;

    std::unique_ptr<dialogs::DialogSet> dialogs_;
};

TEST_F(DialogSetTest, StartFillsTheFtpListsAndTheButtonsOpenTheirDialogsModalToTheMainWindow) {
    write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\nIME0=Mreza A\r\nIME1=Mreza B\r\n"
                   "[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n");
    start_with_dialogs();
    open_trace_window();
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
