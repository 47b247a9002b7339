// SPDX-License-Identifier: Apache-2.0
// What only the main window shows, on a scripted port behind the device engine;
// what each reply means is the device layer's and is tested there.
#include "console/message_service.h"
#include "console/outcome_text.h"
#include "console/trace_window.h"
#include "support/console_fixture.h"

#include <QAccessible>
#include <QtWidgets>

namespace tessal::testing {
namespace {

const char* kPortMessage = "Port nije dobro izabran, podesite port i pokusajte ponovo!";
#ifdef _WIN32
const QString kPort1 = "COM1"; // port 1 without a key
#else
const QString kPort1 = "/dev/ttyS0";
#endif

using MainWindowTest = ConsoleFixture;

// The stored port and speed are selected; values no entry matches select
// nothing but stay in use.  The operator after the last named one is next.
TEST_F(MainWindowTest, StartSelectsTheStoredPortAndSpeed) {
    const std::pair<const char*, QString> rows[] = {
        {"[kalmo]\nNE DIRAJ=REGISTER\n[PROVAJDER]\nIME0=a\nIME1=b\nIME2=c\nIME3=d\nIME4=e\n"
         "IME5=\n[PORT]\nBROJ=3\nBOUD=28800\n",
         "Com3 28800 3 28800 4"},
        {"[kalmo]\nNE DIRAJ=REGISTER\n[PORT]\nBROJ=12\nBOUD=115200\n", "  12 115200 0"},
    };
    for (const auto& [file, seen] : rows) {
        window_.reset();
        write_settings(file);
        start();
        EXPECT_EQ(QString("%1 %2 %3 %4 %5")
                      .arg(window_->Combo1->currentText(), window_->Combo2->currentText())
                      .arg(settings_.port_number)
                      .arg(settings_.speed)
                      .arg(settings_.last_used_index),
                  seen);
    }
    window_->ReadVersion->click(); // port 12 cannot be opened
    settle();
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
}

// The last command's lines show as lines; a failed read empties the box and
// says why.  The reset asks before the port is opened: No sends nothing.  The
// port message stays the same; its details say which device and why.
TEST_F(MainWindowTest, FailuresAndTheResetQuestionInClickOrder) {
    start();
    reply_frame("PFTPGovUser:terminal\r\nx");
    window_->ReadLast->click();
    settle();
    EXPECT_EQ(window_->LastCommand->toPlainText(), "PFTPGovUser:terminal\nx");
    reply_nak();
    window_->ReadLast->click();
    settle();
    EXPECT_TRUE(window_->LastCommand->toPlainText().isEmpty());
    messages_.answers = {false, true};
    window_->Reset->click();
    reply_ack();
    window_->Reset->click();
    settle();
    port_->fault = {link::PortFault::Kind::PermissionDenied, "dialout", "Permission denied"};
    port_->fail_open = true;
    window_->ReadVersion->click();
    settle();
    EXPECT_EQ(messages_.questions, QStringList({"Jeste li sigurni?", "Jeste li sigurni?"}));
    EXPECT_EQ(messages_.informed, QStringList({"Not OK!", "OK!", kPortMessage}));
    EXPECT_EQ(messages_.details,
              QStringList{"Uredjaj: " + kPort1 +
                          "\nPristup odbijen: dodajte korisnika u grupu dialout "
                          "(sudo usermod -aG dialout $USER), pa se ponovo prijavite."});
    EXPECT_EQ(requests(), std::vector<std::string>({"W", "W", "X"}));
}

// "Test" takes what the lists show and waits one second for the answer.
TEST_F(MainWindowTest, TestUsesTheListsAndAOneSecondTimeout) {
    start();
    const QSignalBlocker quiet_port(window_->Combo1), quiet_speed(window_->Combo2);
    window_->Combo1->setCurrentIndex(2);
    window_->Combo2->setCurrentIndex(0);
    window_->Test->click();
    settle();
    EXPECT_EQ(settings_.port_number, 3);
    EXPECT_EQ(settings_.speed, 9600);
    EXPECT_EQ(messages_.informed, QStringList{"Uredjaj ne odgovara !"});
    EXPECT_EQ(now_, 1000);
    EXPECT_EQ(requests(), std::vector<std::string>{"T"});
}

// Each entry's tip says what its port number reaches now: a key's device,
// else the machine's adapters, then its built-in ports, else /dev/ttyS(n-1).
// The list reads the machine anew when it opens.
TEST_F(MainWindowTest, PortListTipsNameTheDeviceEachPortOpens) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps COMn";
#endif
    start();
    // Nothing reads the machine's ports before the list opens or a port is used.
    EXPECT_EQ(machine_.reads, 0);
    EXPECT_EQ(window_->Combo1->itemData(0, Qt::ToolTipRole), QVariant());
    machine_.list = {{"/dev/ttyS0", "", "", false},
                     {"/dev/ttyUSB10", "FT232R", "A10K3", true},
                     {"/dev/ttyUSB2", "CP2102", "", true}};
    settings_.com_devices[1] = "/dev/ttyUSB2";
    window_->Combo1->showPopup();
    window_->Combo1->hidePopup();
    // Each entry's tip, and the device a click on it opens.
    const std::pair<const char*, const char*> ports[] = {
        {"Com1: /dev/ttyUSB10, USB adapter FT232R, serijski broj A10K3", "/dev/ttyUSB10"},
        {"Com2: /dev/ttyUSB2, USB adapter CP2102", "/dev/ttyUSB2"},
        {"Com3: /dev/ttyS0", "/dev/ttyS0"},
        {"Com4: /dev/ttyS3, nema uredjaja", "/dev/ttyS3"},
        {"Com5: /dev/ttyS4, nema uredjaja", "/dev/ttyS4"},
        {"Com6: /dev/ttyS5, nema uredjaja", "/dev/ttyS5"},
        {"Com7: /dev/ttyS6, nema uredjaja", "/dev/ttyS6"},
        {"Com8: /dev/ttyS7, nema uredjaja", "/dev/ttyS7"}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(window_->Combo1->itemData(i, Qt::ToolTipRole).toString(), ports[i].first);
        window_->Combo1->setCurrentIndex(i);
        window_->ComStop->click();
        settle();
        EXPECT_EQ(port_->selected.back(), ports[i].second);
    }
}

// The window's context menu (or Ctrl+T) opens the trace window; it shows the
// records as they come, also during a wait, and copies, saves and clears them.
TEST_F(MainWindowTest, TraceWindowShowsTheRecordsLive) {
    start();
    link::Trace trace;
    engine_->on_device([&trace](link::DeviceLink& link) { link.set_trace(&trace); });
    console::TraceWindow traces(trace);
    window_->set_trace_opener([&traces] { traces.open(); });
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* action = menu->actions().value(0);
        EXPECT_EQ(action->text() + " " + action->shortcut().toString(), "Trag komunikacije Ctrl+T");
        action->trigger();
        menu->close();
    });
    emit window_->customContextMenuRequested({10, 10});
    EXPECT_TRUE(traces.isVisible());
    const auto shown = [&] { // the lines without their time stamps
        const QRegularExpression stamp("^.{24}", QRegularExpression::MultilineOption);
        return traces.Lines->toPlainText().remove(stamp).trimmed().replace('\n', '|');
    };
    const QString during =
        "- port otvoren " + kPort1 + " 38400,N,8,1|> 02 56 39 3A 03  <STX>V9:<ETX>";
    while_waiting([this] { window_->ReadVersion->click(); },
                  [&] {
                      EXPECT_TRUE(wait_until([&] { return shown() == during; }))
                          << shown().toStdString();
                      reply_frame("1.2");
                  });
    const QString after = during + "|< 02 31 2E 32 3E 36 03  <STX>1.2>6<ETX>  (+0 ms)|> 06  <ACK>|"
                                   "- odgovor: payload 3 bajta|- port zatvoren";
    EXPECT_TRUE(wait_until([&] { return shown() == after; })) << shown().toStdString();
    engine_->on_device([](link::DeviceLink& link) { link.set_trace(nullptr); });
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

// The clock read shows the device's time as local time: winter time is an
// hour on, into the next year here.  The time sent is the live PC clock
// while "PC" is ticked, else what was typed.  Without a season neither runs.
// Each send tells its outcome, the one refused for want of a season too; the
// clock's value before is the one this run read, unknown until it read one.
TEST_F(MainWindowTest, ClockReadAndSendFollowTheSeasonAndThePcClock) {
    start();
    hear_writes();
    window_->ReadTime->click();
    settle();
    window_->SendTime->click();
    settle();
    window_->Option1->click();
    window_->Option2->toggle(); // the keyboard's way: one choice, winter
    window_->Option2->click();  // clicking the chosen one keeps it
    EXPECT_FALSE(window_->Option1->isChecked());
    window_->set_now([] { return QDateTime(QDate(2007, 1, 1), QTime(0, 10, 0)); });
    window_->Check2->click();
    EXPECT_TRUE(window_->Timer1->isActive());
    EXPECT_EQ(window_->Timer1->interval(), 1000);
    window_->Timer1_Timer();
    window_->Vreme[5]->setText("59"); // edits while ticked are not the PC time
    reply_frame("\r\nOK\r\n");
    window_->SendTime->click();
    settle();
    reply_frame("\r\n+CCLK: \"06/12/31,23:30:00\"\r\n\r\nOK\r\n");
    window_->ReadTime->click();
    settle();
    QString boxes; // date row day, month, year, then time row hour, minute, second
    for (int i : {8, 7, 6, 9, 10, 11}) {
        boxes += window_->VremeR(i)->text() + ' ';
    }
    EXPECT_EQ(boxes, "01 01 07 00 30 00 ");
    window_->Check2->click();
    EXPECT_FALSE(window_->Timer1->isActive());
    window_->Vreme[5]->setText("58"); // unticked: the boxes are the time sent
    reply_nak();
    window_->SendTime->click();
    settle();
    EXPECT_EQ(messages_.informed,
              QStringList({"Odaberite letnje ili zimsko racunanje vremena.",
                           "Odaberite letnje ili zimsko racunanje vremena.", "OK", "Not OK!"}));
    EXPECT_EQ(requests(), std::vector<std::string>({"AAT+CCLK=\"06/12/31,23:10:00\"", "AAT+CCLK?",
                                                    "AAT+CCLK=\"06/12/31,23:10:58\""}));
    EXPECT_EQ(window_->Vreme[3]->text(), "00"); // sending changes no box
    EXPECT_EQ(heard_, std::vector<std::string>(
                          {"clock ?->.. :: not_written", "clock ?->01.01.2007 00:10:00 written",
                           "clock 01.01.2007 00:30:00->01.01.2007 00:10:58 not_written"}));
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

// The IMEI, signal and clock reads take no input while they wait; the
// version read leaves the window usable, its box emptied at the click and
// filled, its start in view, when the reply comes.  A click on a device
// button during a wait starts nothing.  Each read fills its own boxes.
TEST_F(MainWindowTest, NothingElseRunsDuringAWait) {
    start();
    window_->SoftVersion->setText("stara verzija");
    window_->Option1->click();
    const std::pair<QPushButton*, const char*> reads[] = {
        {window_->ReadVersion, "TS v9"},
        {window_->ReadPassword, "\r\n356871044629016\r\n\r\nOK\r\n"},
        {window_->ReadSignal, "\r\n+CSQ: 17,99\r\n\r\nOK\r\n"},
        {window_->ReadTime, "x"}};
    for (const auto& [read, reply] : reads) {
        bool locked = false;
        reply_frame(reply);
        while_waiting([read] { read->click(); },
                      [&] {
                          EXPECT_EQ(window_->SoftVersion->text(),
                                    read == window_->ReadVersion ? "" : "TS v9");
                          locked = !window_->content()->isEnabled();
                          for (QPushButton* other : {read, window_->ReadLast, window_->ComStop,
                                                     window_->Test, window_->SendTime}) {
                              other->click();
                          }
                      });
        EXPECT_EQ(locked, read != window_->ReadVersion) << read->objectName().toStdString();
        EXPECT_TRUE(window_->content()->isEnabled());
    }
    EXPECT_EQ(requests(), std::vector<std::string>({"V", "AAT+GSN", "AAT+CSQ", "AAT+CCLK?"}));
    EXPECT_EQ(window_->SoftVersion->text(), "TS v9");
    EXPECT_EQ(window_->SoftVersion->cursorPosition(), 0);
    EXPECT_EQ(window_->LozinkaR->text() + " " + window_->NivoLabel->text(),
              "356871044629016 Nivo: 17");
    EXPECT_EQ(window_->NivoProgres->value(), 50);
    EXPECT_TRUE(messages_.shown.isEmpty());
}

// Izlaz or the title-bar button during a wait that lasts (the busy cursor
// shows): the wait is cut short, nothing more is sent or said, the port is
// closed and the port and speed chosen are saved, into a new file.
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
        bool busy = false;
        while_waiting([this] { window_->ComStop->click(); },
                      [&] {
                          busy = wait_until([] { return QApplication::overrideCursor(); }, 2000) &&
                                 QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                          izlaz ? window_->Izlaz->click() : (void)window_->close();
                      });
        EXPECT_TRUE(busy);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(port_->is_open());
        EXPECT_EQ(now_, 0); // did not wait for the time-out
        EXPECT_TRUE(messages_.shown.isEmpty());
        EXPECT_FALSE(window_->isVisible());
        EXPECT_EQ(read_settings(),
                  "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=5\r\nBOUD=9600\r\n");
        window_->ReadVersion->click(); // nothing more reaches the port
        settle();
        EXPECT_EQ(requests(), std::vector<std::string>{"E"});
    }
}

// A profile file that is not there is refused before the port is opened.
TEST_F(MainWindowTest, AMissingProfileIsRefusedBeforeAnythingIsSent) {
    start();
    window_->set_profile_chooser([this](bool) { return dir_.filePath("nema.json"); });
    window_->ApplyProfile_Click();
    settle();
    EXPECT_EQ(messages_.informed, QStringList{"Profil nije procitan: nema takvog fajla"});
    EXPECT_TRUE(port_->writes.empty());
}

// What a screen reader finds that Tab does not reach (the dialogs' tests
// walk the window with Tab): the speed list's edit field and the signal
// bar; each frame keeps its name.
TEST_F(MainWindowTest, EveryValueControlHasANameOfItsOwn) {
    start();
    QStringList names;
    for (QWidget* control :
         std::initializer_list<QWidget*>{window_->Combo2->lineEdit(), window_->NivoProgres}) {
        names << QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
    }
    EXPECT_EQ(names, (QStringList{"Brzina (bps) upis", "Nivo signala"}));
    // The frames, in the order the window reads them, by name, caption and
    // place in pixels; the signal bar runs from 0 to 100.
    QStringList frames;
    for (const QGroupBox* frame : window_->findChildren<QGroupBox*>()) {
        const QRect at = frame->geometry();
        frames << QString("%1: %2 %3,%4 %5x%6")
                      .arg(frame->objectName(), frame->title())
                      .arg(at.x())
                      .arg(at.y())
                      .arg(at.width())
                      .arg(at.height());
    }
    EXPECT_EQ(frames,
              (QStringList{"ComPortFrame: Com Port 16,16 193x145",
                           "VremeFrame: Podesavanje vremena 220,16 361x145",
                           "NivoFrame: Nivo signala 600,16 121x145",
                           "ResetFrame: Reset 16,176 113x145", "ImeiFrame: IMEI 144,176 325x65",
                           "VerzijaFrame: Verzija softvera 144,256 325x65",
                           "KomandaFrame: Komanda 488,176 233x145",
                           "ParametriFrame: Parametri 16,336 365x73"}));
    EXPECT_EQ(
        QString("%1-%2").arg(window_->NivoProgres->minimum()).arg(window_->NivoProgres->maximum()),
        "0-100");
}

// A write's outcome in the window's words: each value state, and a profile
// applied by how it ended (nothing where the report's messages say it).
TEST(OutcomeText, EachStateAndEachEndingInTheWindowsWords) {
    using State = device::ValueState::State;
    const std::pair<State, const char*> states[] = {
        {State::unchanged, "ftp.user: nepromenjeno"},
        {State::differs, "ftp.user: razlikuje se (terminal -> tech)"},
        {State::confirmed, "ftp.user: upisano i potvrdjeno (terminal -> tech)"},
        {State::read_back_differs, "ftp.user: upisano, ali procitano: ana (terminal -> tech)"},
        {State::written, "ftp.user: upisano, nije procitano nazad (terminal -> tech)"},
        {State::not_written, "ftp.user: nije upisano: Not OK! (terminal -> tech)"},
        {State::unknown, "ftp.user: nepoznato, procitajte nazad: Not OK! (terminal -> tech)"},
    };
    for (const auto& [state, text] : states) {
        EXPECT_EQ(console::value_text({"ftp.user", "terminal", "tech", state, "ana", "Not OK!"}),
                  text);
    }
    EXPECT_EQ(console::value_text({"jad.A", std::nullopt, "1", State::written, "", ""}),
              "jad.A: upisano, nije procitano nazad (? -> 1)");
    const auto applied = [](std::optional<State> state, bool stopped, bool held_back) {
        device::Outcome outcome;
        if (state) {
            outcome.values.push_back({"jad.A", "1", "2", *state, "3", ""});
        }
        outcome.stopped = stopped;
        outcome.held_back = held_back;
        return console::applied_text(outcome);
    };
    const std::tuple<std::optional<State>, bool, bool, const char*> endings[] = {
        {State::unchanged, false, false, "Uredjaj vec ima sve vrednosti profila."},
        {State::confirmed, false, false, "Profil je primenjen."},
        {State::read_back_differs, false, false, "Profil nije primenjen u celosti."},
        {State::not_written, true, false, "Profil nije primenjen u celosti."},
        {State::differs, false, true, ""},
        {std::nullopt, false, false, ""},
    };
    for (const auto& [state, stopped, held_back, text] : endings) {
        EXPECT_EQ(applied(state, stopped, held_back).section('\n', 0, 0), text);
    }
    EXPECT_EQ(applied(State::confirmed, false, false),
              "Profil je primenjen.\njad.A: upisano i potvrdjeno (1 -> 2)");
}

} // namespace
} // namespace tessal::testing
