// What only the main window shows, on a scripted port: wire bytes, messages,
// boxes, the input lock and the transaction gate.
#include "console/message_service.h"
#include "console/trace_window.h"
#include "support/console_fixture.h"

#include <QtWidgets>

namespace tessal::testing {
namespace {

const char* kPortMessage = "Port nije dobro izabran, podesite port i pokusajte ponovo!";

using MainWindowTest = ConsoleFixture;

TEST_F(MainWindowTest, FramesSitWhereTheFrameTablePutsThem) {
    start();
    EXPECT_EQ(window_->size(), QSize(735, 431));
    EXPECT_EQ(window_->ComPortFrame->geometry(), QRect(16, 16, 193, 145));
    EXPECT_EQ(window_->VremeFrame->geometry(), QRect(220, 16, 361, 145));
    EXPECT_EQ(window_->NivoFrame->geometry(), QRect(600, 16, 121, 145));
    EXPECT_EQ(window_->ResetFrame->geometry(), QRect(16, 176, 113, 145));
    EXPECT_EQ(window_->ImeiFrame->geometry(), QRect(144, 176, 325, 65));
    EXPECT_EQ(window_->VerzijaFrame->geometry(), QRect(144, 256, 325, 65));
    EXPECT_EQ(window_->KomandaFrame->geometry(), QRect(488, 176, 233, 145));
    EXPECT_EQ(window_->ParametriFrame->geometry(), QRect(16, 336, 365, 73));
    EXPECT_EQ(window_->Izlaz->geometry(), QRect(400, 352, 321, 41));
    EXPECT_EQ(window_->SoftVersion->font().family(), "Courier New");
    EXPECT_DOUBLE_EQ(window_->SoftVersion->font().pointSizeF(), 9.75);
}

// The stored port and speed are selected; values no entry matches select
// nothing but stay in use.
TEST_F(MainWindowTest, StartSelectsTheStoredPortAndSpeed) {
    const struct {
        const char* file;
        QString port, speed;
        int port_number, bps, last_used_index;
    } rows[] = {
        {"[kalmo]\nNE DIRAJ=REGISTER\n[PROVAJDER]\nIME0=a\nIME1=b\nIME2=c\nIME3=d\nIME4=e\n"
         "IME5=\n[PORT]\nBROJ=3\nBOUD=28800\n",
         "Com3", "28800", 3, 28800, 4},
        {"[kalmo]\nNE DIRAJ=REGISTER\n[PORT]\nBROJ=12\nBOUD=115200\n", "", "", 12, 115200, 0},
    };
    for (const auto& row : rows) {
        window_.reset();
        write_settings(row.file);
        start();
        EXPECT_EQ(window_->Combo1->currentText(), row.port);
        EXPECT_EQ(window_->Combo2->currentText(), row.speed);
        EXPECT_EQ(settings_.port_number, row.port_number);
        EXPECT_EQ(settings_.speed, row.bps);
        EXPECT_EQ(settings_.last_used_index, row.last_used_index);
    }
    window_->ReadVersion->click(); // port 12 cannot be opened
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
}

// Every outcome of an exchange as the bytes that arrive (no value: the port
// fails), with the message the acknowledgement scheme shows for it.
TEST_F(MainWindowTest, AcknowledgementSchemeForEveryResult) {
    start();
    const std::pair<std::optional<std::string>, QString> rows[] = {
        {"\x06", "OK!"}, {"\x15", "Not OK!"},   {"", "Uredjaj ne odgovara !"},
        {{}, "Greska!"}, {"\x02x79\x03", "CS"}, {"\x02zauzet<5\x03", "zauzet"}};
    for (const auto& [reply, message] : rows) {
        messages_.clear();
        port_->script.push_back(reply);
        window_->ComStop->click();
        EXPECT_EQ(messages_.informed, QStringList{message});
        EXPECT_FALSE(port_->is_open());
    }
    EXPECT_EQ(port_->writes.front(), "\x02\x45:;\x03");
    window_->Reset->click(); // answered No: nothing is sent
    EXPECT_EQ(messages_.questions, QStringList{"Jeste li sigurni?"});
    EXPECT_EQ(port_->open_calls, 6);
}

TEST_F(MainWindowTest, DataSchemeForEveryResult) {
    start();
    // A lone ACK is the data "OK"; the last command's lines show as lines.
    reply_ack();
    window_->ReadVersion->click();
    EXPECT_EQ(window_->SoftVersion->text(), "OK");
    EXPECT_EQ(window_->SoftVersion->cursorPosition(), 0); // the version's start shows
    window_->ReadVersion->click();                        // no reply: the box was emptied first
    EXPECT_TRUE(window_->SoftVersion->text().isEmpty());
    EXPECT_EQ(port_->writes.front(), "\x02V9:\x03");
    reply_frame("PFTPGovUser:terminal\r\nx");
    window_->ReadLast->click();
    EXPECT_EQ(window_->LastCommand->toPlainText(), "PFTPGovUser:terminal\nx");
    for (const auto& [fail, message] : data_failures()) {
        messages_.clear();
        fail();
        window_->ReadLast->click();
        EXPECT_EQ(messages_.informed, QStringList{message});
        EXPECT_TRUE(window_->LastCommand->toPlainText().isEmpty());
    }
}

TEST_F(MainWindowTest, TestUsesTheListsAndAOneSecondTimeoutThenRestoresIt) {
    start();
    window_->Combo1->blockSignals(true);
    window_->Combo1->setCurrentIndex(2);
    window_->Combo1->blockSignals(false);
    link_->constants().reply_timeout_ms = 1234;
    window_->Test->click();
    EXPECT_EQ(settings_.port_number, 3);
    EXPECT_EQ(messages_.informed, QStringList{"Uredjaj ne odgovara !"});
    EXPECT_EQ(now_, 1000);
    EXPECT_EQ(link_->constants().reply_timeout_ms, 5000);
    EXPECT_EQ(requests(), std::vector<std::string>{"T"});
    link_->constants().reply_timeout_ms = 1234;
    port_->fail_open = true;
    window_->Test->click(); // a port that cannot be opened leaves the time-out alone
    EXPECT_EQ(link_->constants().reply_timeout_ms, 1234);
}

// Each entry's tip says what its port number reaches now: a key's device,
// else the machine's adapters, then its built-in ports, else /dev/ttyS(n-1).
// The list reads the machine anew when it opens.
TEST_F(MainWindowTest, PortListTipsNameTheDeviceEachPortOpens) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps COMn";
#endif
    start();
    EXPECT_EQ(window_->Combo1->itemData(0, Qt::ToolTipRole), "Com1: /dev/ttyS0, nema uredjaja");
    machine_.list = {{"/dev/ttyS0", "", "", false},
                     {"/dev/ttyUSB10", "FT232R", "A10K3", true},
                     {"/dev/ttyUSB2", "CP2102", "", true}};
    settings_.com_devices[1] = "/dev/ttyUSB2";
    window_->Combo1->showPopup();
    window_->Combo1->hidePopup();
    QStringList tips{"Com1: /dev/ttyUSB10, USB adapter FT232R, serijski broj A10K3",
                     "Com2: /dev/ttyUSB2, USB adapter CP2102", "Com3: /dev/ttyS0"};
    for (int n = 4; n <= 8; ++n) {
        tips << QString("Com%1: /dev/ttyS%2, nema uredjaja").arg(n).arg(n - 1);
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(window_->Combo1->itemData(i, Qt::ToolTipRole).toString(), tips[i]);
        window_->Combo1->setCurrentIndex(i);
        window_->ComStop->click();
        EXPECT_EQ("Com" + QString::number(i + 1) + ": " + port_->selected.back().c_str(),
                  tips[i].section(',', 0, 0));
    }
}

// The port message stays the same; its details say which device and why.
TEST_F(MainWindowTest, PortMessageCarriesTheCauseAsDetails) {
    using Kind = link::PortFault::Kind;
    // The fault, whether the port refused the speed rather than opening, and
    // the cause shown.
    const std::tuple<link::PortFault, bool, QString> rows[] = {
        {{Kind::NoDevice, "", ""}, false, "Nema takvog uredjaja."},
        {{Kind::PermissionDenied, "dialout", "Permission denied"},
         false,
         "Pristup odbijen: dodajte korisnika u grupu dialout (sudo usermod -aG dialout $USER), "
         "pa se ponovo prijavite."},
        {{Kind::InUse, "", ""}, false, "Port je zauzet: koristi ga drugi program."},
        {{Kind::SpeedRefused, "", ""}, true, "Port ne prihvata brzinu 38400 bps."},
        {{Kind::Other, "", "Input/output error"}, false, "Greska porta: Input/output error"},
    };
    start();
    for (const auto& [fault, at_speed, cause] : rows) {
        messages_.clear();
        port_->fault = fault;
        port_->fail_open = !at_speed;
        port_->fail_settings = at_speed;
        window_->ReadVersion->click();
        EXPECT_EQ(messages_.informed, QStringList{kPortMessage});
        EXPECT_EQ(messages_.details, QStringList{"Uredjaj: /dev/ttyS0\n" + cause});
    }
}

// The trace window shows the records as they come, also during a wait, and
// copies, saves and clears them.
using TraceWindowTest = ConsoleFixture;

TEST_F(TraceWindowTest, ShowsTheRecordsLive) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps COMn";
#endif
    start();
    link::Trace trace;
    link_->set_trace(&trace);
    console::TraceWindow traces(trace);
    traces.open();
    const auto shown = [&] { // the lines without their time stamps
        const QRegularExpression stamp("^.{24}", QRegularExpression::MultilineOption);
        return traces.Lines->toPlainText().remove(stamp).trimmed().replace('\n', '|');
    };
    QString during;
    port_->on_wait = [&] {
        during = shown();
        reply_frame("1.2");
    };
    window_->ReadVersion->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(during, "- port otvoren /dev/ttyS0 38400,N,8,1|> 02 56 39 3A 03  <STX>V9:<ETX>");
    EXPECT_EQ(shown(), during + "|< 02 31 2E 32 3E 36 03  <STX>1.2>6<ETX>  (+0 ms)|> 06  <ACK>|"
                                "- odgovor: payload 3 bajta|- port zatvoren");
    const QString all = traces.Lines->toPlainText();
    traces.Kopiraj->click();
    traces.set_file_chooser([&] { return dir_.filePath("saved.txt"); });
    traces.Sacuvaj->click();
    traces.Obrisi->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), all);
    QFile file(dir_.filePath("saved.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), QString(all).replace("\n", "\r\n") + "\r\n");
    EXPECT_TRUE(traces.Lines->toPlainText().isEmpty());
}

// The device-time boxes as seen: the date row day, month, year and the time
// row hour, minute, second.
QString device_boxes(const console::MainWindow& window) {
    QStringList shown;
    for (int i : {8, 7, 6, 9, 10, 11}) {
        shown << window.VremeR(i)->text();
    }
    return shown.join(' ');
}

TEST_F(MainWindowTest, ClockReadShowsTheLocalTimeOrItsMessage) {
    start();
    window_->show();
    window_->ReadTime->click(); // no season chosen
    window_->Option1->click();
    window_->Option2->toggle(); // the keyboard's way: one choice, winter
    window_->Option2->click();  // clicking the chosen one keeps it
    EXPECT_FALSE(window_->Option1->isChecked());
    reply_frame("\r\n+CCLK: \"06/12/31,23:30:00\"\r\n\r\nOK\r\n");
    window_->ReadTime->click();
    EXPECT_EQ(device_boxes(*window_), "01 01 07 00 30 00");
    window_->ReadTime->click();
    reply_frame("OK");
    window_->ReadTime->click(); // a reply without "CCLK:" keeps the boxes
    EXPECT_EQ(device_boxes(*window_), "01 01 07 00 30 00");
    reply_frame("+CCLK: \"08/02/28,xx:10:00\"");
    window_->ReadTime->click();
    EXPECT_EQ(device_boxes(*window_), "     ");
    EXPECT_EQ(messages_.informed, QStringList({"Odaberite letnje ili zimsko racunanje vremena.",
                                               "Uredjaj ne odgovara, proverite vezu!"}));
    EXPECT_EQ(requests(), std::vector<std::string>(4, "AAT+CCLK?"));
}

// The time sent is the live PC clock while "PC" is ticked, else what was
// typed; the reply is reported as the send reads it.
TEST_F(MainWindowTest, ClockSendTakesThePcTimeAndReportsTheReply) {
    start();
    window_->SendTime->click(); // no season chosen
    window_->Option2->click();
    window_->SendTime->click(); // every box empty: 00/00/00 cannot go back a day
    window_->set_now([] { return QDateTime(QDate(2007, 1, 1), QTime(0, 10, 0)); });
    window_->Check2->click();
    EXPECT_TRUE(window_->Timer1->isActive());
    EXPECT_EQ(window_->Timer1->interval(), 1000);
    window_->Timer1_Timer();
    window_->Vreme[5]->setText("59"); // edits while ticked are not the PC time
    EXPECT_EQ(port_->open_calls, 0);
    for (const std::string& reply :
         {link::build_frame("\r\nOK\r\n"), link::build_frame("+CME ERROR: SIM PUK required"),
          std::string("\x06"), std::string()}) {
        port_->arrive(reply);
        window_->SendTime->click();
    }
    window_->Check2->click();
    EXPECT_FALSE(window_->Timer1->isActive());
    window_->Vreme[5]->setText("58"); // unticked: the boxes are the PC time
    window_->SendTime->click();
    EXPECT_EQ(messages_.informed,
              QStringList({"Odaberite letnje ili zimsko racunanje vremena.",
                           "Podaci za datum nisu dobro uneti", "OK", "+CME ERROR: SIM PUK required",
                           "OK!", "Uredjaj ne odgovara !", "Uredjaj ne odgovara !"}));
    EXPECT_EQ(requests(), std::vector<std::string>(
                              {"AAT+CCLK=\"06/12/31,23:10:00\"", "AAT+CCLK=\"06/12/31,23:10:00\"",
                               "AAT+CCLK=\"06/12/31,23:10:00\"", "AAT+CCLK=\"06/12/31,23:10:00\"",
                               "AAT+CCLK=\"06/12/31,23:10:58\""}));
    EXPECT_EQ(window_->Vreme[3]->text(), "00"); // sending changes no box
}

// The real boxes: "rvt", the information icon and OK; the question with Yes
// and No, no icon, and No unless Yes is pressed.
TEST(MessageBoxTest, TitleIconAndButtons) {
    console::BoxMessageService boxes;
    QStringList seen;
    const auto press = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&seen, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            seen << QString("%1 %2 %3").arg(box->windowTitle()).arg(box->icon()).arg(box->text());
            box->button(button)->click();
        });
    };
    press(QMessageBox::Ok);
    boxes.inform("OK!");
    press(QMessageBox::Ok);
    boxes.inform_with_details("Greska!", "Uredjaj: /dev/ttyS0");
    press(QMessageBox::Yes);
    EXPECT_TRUE(boxes.confirm("Jeste li sigurni?"));
    press(QMessageBox::No);
    EXPECT_FALSE(boxes.confirm("Jeste li sigurni?"));
    EXPECT_EQ(seen, QStringList({"rvt 1 OK!", "rvt 1 Greska!", "rvt 0 Jeste li sigurni?",
                                 "rvt 0 Jeste li sigurni?"}));
}

// Ctrl+T and the window's context menu open the trace window.
TEST_F(MainWindowTest, TraceWindowOpensFromTheContextMenu) {
    start();
    int opened = 0;
    window_->set_trace_opener([&] { ++opened; });
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* action = menu->actions().value(0);
        EXPECT_EQ(action->text() + " " + action->shortcut().toString(), "Trag komunikacije Ctrl+T");
        action->trigger();
        menu->close();
    });
    emit window_->customContextMenuRequested({10, 10});
    EXPECT_EQ(opened, 1);
}

// The reads take no input while they wait; the other commands are kept out
// by the transaction: a click during a wait does nothing.
TEST_F(MainWindowTest, NothingElseRunsDuringAWait) {
    start();
    window_->Option1->click();
    for (QPushButton* read :
         {window_->ReadVersion, window_->ReadPassword, window_->ReadSignal, window_->ReadTime}) {
        bool enabled_during_wait = false;
        port_->on_wait = [&] {
            enabled_during_wait = window_->content()->isEnabled();
            window_->ReadLast->click();
            window_->ComStop->click();
            window_->Test->click();
        };
        reply_frame("x");
        read->click();
        EXPECT_EQ(enabled_during_wait, read == window_->ReadVersion)
            << read->objectName().toStdString();
        EXPECT_TRUE(window_->content()->isEnabled());
    }
    EXPECT_EQ(requests(), std::vector<std::string>({"V", "AAT+GSN", "AAT+CSQ", "AAT+CCLK?"}));
    EXPECT_EQ(window_->SoftVersion->text(), "x");
    EXPECT_TRUE(messages_.shown.isEmpty());
}

// Izlaz or the title-bar button, also during a wait: the wait is cut short,
// the port closed, and the port and speed chosen are saved, into a new file
// when there was none.
TEST_F(MainWindowTest, LeavingDuringAWaitCutsItShortAndSavesTheChoices) {
    for (const bool izlaz : {false, true}) {
        window_.reset();
        std::filesystem::remove(settings_path());
        start();
        window_->show();
        EXPECT_EQ(window_->Combo1->currentText() + window_->Combo2->currentText(), "Com138400");
        window_->Combo1->setCurrentIndex(4);
        window_->Combo2->setCurrentIndex(0);
        window_->Combo2->setEditText("12345"); // selects no entry: the speed stays
        bool busy = false;                     // a wait that lasts shows the busy cursor
        port_->on_wait = [&] {
            QEventLoop lasting;
            QTimer::singleShot(200, &lasting, &QEventLoop::quit);
            lasting.exec();
            busy = QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            izlaz ? window_->Izlaz->click() : (void)window_->close();
        };
        window_->ComStop->click();
        EXPECT_TRUE(busy);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(port_->is_open());
        EXPECT_EQ(now_, 0); // did not wait for the time-out
        EXPECT_TRUE(messages_.shown.isEmpty());
        EXPECT_FALSE(window_->isVisible());
        EXPECT_EQ(read_settings(),
                  "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=5\r\nBOUD=9600\r\n");
        window_->ReadVersion->click(); // nothing more reaches the port
        EXPECT_EQ(requests(), std::vector<std::string>{"E"});
    }
}

TEST_F(MainWindowTest, CloseBeforeTheImeiRequestGoesOutSendsNothing) {
    start();
    window_->show();
    // The IMEI read lets pending events run before its exchange; a close
    // waiting among them ends the program before anything is sent.
    QTimer::singleShot(0, window_.get(), [this] { window_->close(); });
    window_->ReadPassword->click();
    EXPECT_EQ(port_->open_calls, 0);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_NE(read_settings().find("REGISTER"), std::string::npos);
}

} // namespace
} // namespace tessal::testing
