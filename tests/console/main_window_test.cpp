#include "support/console_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace tessal::testing {
namespace {

const char* kPortMessage = "Port nije dobro izabran, podesite port i pokusajte ponovo!";

using MainWindowTest = ConsoleFixture;

TEST_F(MainWindowTest, FramesSitWhereTheLayoutPutsThem) {
    start();
    EXPECT_EQ(window_->size(), QSize(735, 431));
    EXPECT_EQ(window_->windowTitle(), "Tessal");
    EXPECT_EQ(window_->ComPortFrame->geometry(), QRect(16, 16, 193, 145));
    EXPECT_EQ(window_->VremeFrame->geometry(), QRect(220, 16, 361, 145));
    EXPECT_EQ(window_->NivoFrame->geometry(), QRect(600, 16, 121, 145));
    EXPECT_EQ(window_->ResetFrame->geometry(), QRect(16, 176, 113, 145));
    EXPECT_EQ(window_->ImeiFrame->geometry(), QRect(144, 176, 325, 65));
    EXPECT_EQ(window_->VerzijaFrame->geometry(), QRect(144, 256, 325, 65));
    EXPECT_EQ(window_->KomandaFrame->geometry(), QRect(488, 176, 233, 145));
    EXPECT_EQ(window_->ParametriFrame->geometry(), QRect(16, 336, 365, 73));
    EXPECT_EQ(window_->Izlaz->geometry(), QRect(400, 352, 321, 41));
    EXPECT_EQ(window_->SIMch->text(), "SIM ");
    EXPECT_EQ(window_->VremeFrame->title(), "Podesavanje vremena");
    EXPECT_EQ(window_->Combo1->toolTip(), "Izbor porta za komunikaciju");
    EXPECT_EQ(window_->Combo2->toolTip(), "Izbor brzine prenosa");
    EXPECT_EQ(window_->Reset->text(), "RESET!");
    EXPECT_EQ(window_->ReadPassword->text(), "Citanje IMEI-a");
    const QFont font = window_->SoftVersion->font();
    EXPECT_EQ(font.family(), "Courier New");
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75);
    // Every control lies inside the window.
    for (QWidget* child : window_->findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (name.isEmpty() || name.startsWith("qt_") || child->parentWidget() == nullptr) {
            continue;
        }
        const QRect inside = child->parentWidget()->rect();
        EXPECT_TRUE(inside.contains(child->geometry()))
            << child->objectName().toStdString() << " " << child->metaObject()->className();
    }
}

TEST_F(MainWindowTest, StartWithoutSettingsFileSelectsCom1And38400AndLeavingCreatesIt) {
    start();
    EXPECT_EQ(window_->Combo1->currentText(), "Com1");
    EXPECT_EQ(window_->Combo2->currentText(), "38400");
    EXPECT_EQ(settings_.last_used_index, 0);
    EXPECT_TRUE(messages_.shown.isEmpty());
    window_->Izlaz->click();
    EXPECT_NE(read_settings().find("REGISTER"), std::string::npos);
}

TEST_F(MainWindowTest, StoredPortAndSpeedAreSelectedAndChoicesAreSaved) {
    write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PROVAJDER]\r\nIME0=a\r\nIME1=b\r\nIME2=\r\n"
                   "IME3=d\r\n[PORT]\r\nBROJ=3\r\nBOUD=28800\r\n");
    start();
    EXPECT_EQ(window_->Combo1->currentText(), "Com3");
    EXPECT_EQ(window_->Combo2->currentText(), "28800");
    EXPECT_EQ(settings_.last_used_index, 1);

    window_->Combo1->setCurrentIndex(4);
    window_->Combo2->setCurrentIndex(0);
    EXPECT_EQ(settings_.port_number, 5);
    EXPECT_EQ(settings_.speed, 9600);
    // Free text selects no entry and leaves the speed alone.
    window_->Combo2->setEditText("12345");
    EXPECT_EQ(settings_.speed, 9600);
    window_->close();
    EXPECT_NE(read_settings().find("BROJ=5"), std::string::npos);
    EXPECT_NE(read_settings().find("BOUD=9600"), std::string::npos);
}

TEST_F(MainWindowTest, StoredValuesOutsideTheListsSelectNothingButStayInUse) {
    write_settings("[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=12\r\nBOUD=115200\r\n");
    start();
    EXPECT_EQ(window_->Combo1->currentIndex(), -1);
    EXPECT_EQ(window_->Combo2->currentText(), "");
    EXPECT_EQ(settings_.port_number, 12);
    EXPECT_EQ(settings_.speed, 115200);
    // The port cannot be opened: one message, no traffic.
    window_->ReadVersion->click();
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(MainWindowTest, TitleBarCloseSavesWithoutClosingThePortAndIzlazClosesIt) {
    start();
    port_->force_open();
    window_->close();
    EXPECT_TRUE(port_->is_open());
    EXPECT_NE(read_settings().find("REGISTER"), std::string::npos);

    window_.reset();
    start();
    port_->force_open();
    window_->Izlaz->click();
    EXPECT_FALSE(port_->is_open());
}

TEST_F(MainWindowTest, ButtonsSendTheirRequestsAndShowTheResult) {
    start();
    reply_frame("TS-2 v1.07");
    window_->ReadVersion->click();
    EXPECT_EQ(window_->SoftVersion->text(), "TS-2 v1.07");

    reply_frame("PFTPGovUser:terminal\r\n");
    window_->ReadLast->click();
    EXPECT_EQ(window_->LastCommand->toPlainText(), "PFTPGovUser:terminal\n");

    reply_ack();
    window_->ComStop->click();
    EXPECT_EQ(requests(), (std::vector<std::string>{"V", "W", "E"}));
    EXPECT_EQ(messages_.informed, QStringList{"OK!"});
    EXPECT_FALSE(port_->is_open());
}

TEST_F(MainWindowTest, ResetAsksFirstAndSendsNothingOnNo) {
    start();
    window_->Reset->click();
    EXPECT_EQ(messages_.questions, QStringList{"Jeste li sigurni?"});
    EXPECT_TRUE(port_->writes.empty());
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_EQ(port_->open_calls, 0);

    messages_.answers.push_back(true);
    reply_ack();
    window_->Reset->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"X"});
    EXPECT_EQ(messages_.informed, QStringList{"OK!"});
}

TEST_F(MainWindowTest, AcknowledgementSchemeForEveryResult) {
    start();
    struct Case {
        std::function<void()> reply;
        QString message;
    };
    const std::vector<Case> cases = {
        {[this] { reply_ack(); }, "OK!"},         {[this] { reply_nak(); }, "Not OK!"},
        {[] {}, "Uredjaj ne odgovara !"},         {[this] { port_->fail_next_read(); }, "Greska!"},
        {[this] { reply_bad_checksum(); }, "CS"}, {[this] { reply_frame("busy"); }, "busy"},
    };
    for (const Case& c : cases) {
        messages_.clear();
        c.reply();
        window_->ComStop->click();
        EXPECT_EQ(messages_.informed, QStringList{c.message});
        EXPECT_FALSE(port_->is_open());
    }
}

TEST_F(MainWindowTest, DataSchemeForEveryResult) {
    start();
    struct Case {
        std::function<void()> reply;
        QString message;
        QString data;
    };
    const std::vector<Case> cases = {
        {[this] { reply_bad_checksum(); }, "Checksum nije dobar!", ""},
        {[] {}, "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!", ""},
        {[this] { port_->fail_next_read(); }, "Greska!", ""},
        {[this] { reply_nak(); }, "Not OK!", ""},
        {[this] { reply_ack(); }, "", "OK"},
        {[this] { reply_frame(""); }, "", ""},
    };
    for (const Case& c : cases) {
        messages_.clear();
        window_->SoftVersion->setText("old");
        c.reply();
        window_->ReadVersion->click();
        EXPECT_EQ(messages_.informed, c.message.isEmpty() ? QStringList{} : QStringList{c.message});
        EXPECT_EQ(window_->SoftVersion->text(), c.data);
    }
}

TEST_F(MainWindowTest, TestUsesTheListsAndAOneSecondTimeoutThenRestoresIt) {
    start();
    window_->Combo1->blockSignals(true);
    window_->Combo1->setCurrentIndex(2);
    window_->Combo1->blockSignals(false);
    link_->constants().reply_timeout_ms = 1234;
    const std::int64_t before = now_;
    window_->Test->click();
    EXPECT_EQ(settings_.port_number, 3);
    EXPECT_EQ(messages_.informed, QStringList{"Uredjaj ne odgovara !"});
    EXPECT_GE(now_ - before, 1000);
    EXPECT_LT(now_ - before, 1100);
    EXPECT_EQ(link_->constants().reply_timeout_ms, 5000);
    EXPECT_EQ(requests(), std::vector<std::string>{"T"});

    // A port that cannot be opened leaves the time-out alone.
    link_->constants().reply_timeout_ms = 1234;
    port_->fail_open = true;
    window_->Test->click();
    EXPECT_EQ(link_->constants().reply_timeout_ms, 1234);
}

// Each port number reaches a key's device, else the machine's adapters in
// natural order, then its built-in ports, else /dev/ttyS(n-1); the list
// re-reads the machine when it opens.
TEST_F(MainWindowTest, PortListReachesTheMachinesDevicesAndSaysWhatEachIs) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps COMn";
#endif
    const link::PortInfo ft232{"/dev/ttyUSB10", "FT232R", "A10K3", true};
    const link::PortInfo cp2102{"/dev/ttyUSB2", "CP2102", "", true};
    const link::PortInfo builtin{"/dev/ttyS0", "", "", false};
    struct Case {
        std::vector<link::PortInfo> machine;
        std::string com2_key;
        QStringList tips;
    };
    const std::vector<Case> cases{
        {{},
         "",
         {"Com1: /dev/ttyS0, nema uredjaja", "Com2: /dev/ttyS1, nema uredjaja",
          "Com3: /dev/ttyS2, nema uredjaja", "Com4: /dev/ttyS3, nema uredjaja",
          "Com5: /dev/ttyS4, nema uredjaja", "Com6: /dev/ttyS5, nema uredjaja",
          "Com7: /dev/ttyS6, nema uredjaja", "Com8: /dev/ttyS7, nema uredjaja"}},
        {{builtin, ft232, cp2102},
         "",
         {"Com1: /dev/ttyUSB2, USB adapter CP2102",
          "Com2: /dev/ttyUSB10, USB adapter FT232R, "
          "serijski broj A10K3",
          "Com3: /dev/ttyS0", "Com4: /dev/ttyS3, nema uredjaja", "Com5: /dev/ttyS4, nema uredjaja",
          "Com6: /dev/ttyS5, nema uredjaja", "Com7: /dev/ttyS6, nema uredjaja",
          "Com8: /dev/ttyS7, nema uredjaja"}},
        {{ft232, cp2102},
         "/dev/ttyUSB2",
         {"Com1: /dev/ttyUSB10, USB adapter FT232R, serijski broj A10K3",
          "Com2: /dev/ttyUSB2, USB adapter CP2102", "Com3: /dev/ttyS2, nema uredjaja",
          "Com4: /dev/ttyS3, nema uredjaja", "Com5: /dev/ttyS4, nema uredjaja",
          "Com6: /dev/ttyS5, nema uredjaja", "Com7: /dev/ttyS6, nema uredjaja",
          "Com8: /dev/ttyS7, nema uredjaja"}},
    };
    start();
    for (const Case& c : cases) {
        // Plugged in while the program runs; seen when the list opens.
        machine_.list = c.machine;
        settings_.com_devices[1] = c.com2_key;
        window_->Combo1->showPopup();
        window_->Combo1->hidePopup();
        ASSERT_EQ(window_->Combo1->count(), 8);
        for (int i = 0; i < 8; ++i) {
            const QString tip = window_->Combo1->itemData(i, Qt::ToolTipRole).toString();
            EXPECT_EQ(tip, c.tips[i]);
            EXPECT_EQ(window_->Combo1->itemText(i), QStringLiteral("Com%1").arg(i + 1));
            // The port opened is the device the tip names.
            std::uint8_t number = static_cast<std::uint8_t>(i + 1);
            std::int32_t speed = 38400;
            EXPECT_EQ(window_->transaction().init_port(number, speed), "OK");
            window_->transaction().close_port();
            EXPECT_EQ(QString::fromStdString(port_->selected.back()),
                      c.tips[i].section(QLatin1Char(' '), 1, 1).remove(QLatin1Char(',')));
        }
    }
    EXPECT_EQ(window_->Combo1->toolTip(), "Izbor porta za komunikaciju");
}

// The port message stays the same; its details say which device and why.
TEST_F(MainWindowTest, PortMessageCarriesTheCauseAsDetails) {
    using Kind = link::PortFault::Kind;
    struct Case {
        link::PortFault fault;
        bool at_speed; // refused while configuring rather than opening
        QString details;
    };
    const std::vector<Case> cases{
        {{Kind::NoDevice, "", ""}, false, "Uredjaj: /dev/ttyS0\nNema takvog uredjaja."},
        {{Kind::PermissionDenied, "dialout", "Permission denied"},
         false,
         "Uredjaj: /dev/ttyS0\nPristup odbijen: dodajte korisnika u grupu dialout (sudo usermod "
         "-aG dialout $USER), pa se ponovo prijavite."},
        {{Kind::InUse, "", ""},
         false,
         "Uredjaj: /dev/ttyS0\nPort je zauzet: koristi ga drugi program."},
        {{Kind::SpeedRefused, "", ""},
         true,
         "Uredjaj: /dev/ttyS0\nPort ne prihvata brzinu 38400 bps."},
        {{Kind::Other, "", "Input/output error"},
         false,
         "Uredjaj: /dev/ttyS0\nGreska porta: Input/output error"},
    };
    start();
    for (const Case& c : cases) {
        messages_.clear();
        port_->fault = c.fault;
        port_->fail_open = !c.at_speed;
        port_->fail_settings = c.at_speed;
        window_->ReadVersion->click();
        EXPECT_EQ(messages_.informed, QStringList{kPortMessage});
        EXPECT_EQ(messages_.details, QStringList{c.details});
    }
}

TEST_F(MainWindowTest, ImeiIsCutFromTheReply) {
    start();
    reply_frame("\r\n351234567890123\r\n\r\nOK\r\n");
    window_->ReadPassword->click();
    EXPECT_EQ(window_->LozinkaR->text(), "351234567890123");
    reply_frame("AT+GSN\r\n351234567890124\r\nOK\r\n");
    window_->ReadPassword->click();
    EXPECT_EQ(window_->LozinkaR->text(), "351234567890124");
    reply_frame("\r\n351234567890125");
    window_->ReadPassword->click();
    EXPECT_EQ(window_->LozinkaR->text(), "");
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_EQ(requests().back(), "AAT+GSN");
    EXPECT_TRUE(window_->content()->isEnabled());
}

TEST_F(MainWindowTest, SignalLevelIsShownAsCaptionAndBar) {
    start();
    reply_frame("\r\n+CSQ: 21,99\r\n\r\nOK\r\n");
    window_->ReadSignal->click();
    EXPECT_EQ(window_->NivoLabel->text(), "Nivo: 21");
    EXPECT_EQ(window_->NivoProgres->value(), 63);
    EXPECT_EQ(requests().back(), "AAT+CSQ");

    // A failed read clears the caption and the bar.
    window_->ReadSignal->click();
    EXPECT_EQ(window_->NivoLabel->text(), "");
    EXPECT_EQ(window_->NivoProgres->value(), 0);
    EXPECT_EQ(messages_.informed,
              QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"});

    messages_.clear();
    port_->fail_open = true;
    window_->ReadSignal->click();
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
    EXPECT_EQ(window_->NivoLabel->text(), "");
}

TEST_F(MainWindowTest, WindowTakesNoInputDuringTheReads) {
    start();
    bool enabled_during_wait = true;
    port_->on_wait = [&] { enabled_during_wait = window_->content()->isEnabled(); };
    reply_frame("+CSQ: 10,0");
    window_->ReadSignal->click();
    EXPECT_FALSE(enabled_during_wait);
    EXPECT_TRUE(window_->content()->isEnabled());
}

TEST_F(MainWindowTest, SecondClickDuringAWaitDoesNothing) {
    start();
    port_->on_wait = [this] {
        window_->ReadLast->click();
        window_->ComStop->click();
        window_->Test->click();
        window_->SIMch->click();
    };
    reply_frame("v1");
    window_->ReadVersion->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"V"});
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_EQ(port_->close_calls, 1);
    EXPECT_EQ(window_->SoftVersion->text(), "v1");
    EXPECT_TRUE(messages_.shown.isEmpty());
}

TEST_F(MainWindowTest, ExitOrCloseDuringAWaitCutsItShortClosesThePortAndSaves) {
    const std::vector<std::function<void(console::MainWindow&)>> closers{
        [](console::MainWindow& w) { w.close(); },
        [](console::MainWindow& w) { w.Izlaz->click(); },
    };
    for (const auto& close_window : closers) {
        window_.reset(); // before the link it uses goes
        start();
        window_->show();
        port_->on_wait = [&] { close_window(*window_); };
        window_->ComStop->click();
        EXPECT_FALSE(port_->is_open());
        EXPECT_EQ(now_, 0); // did not wait for the time-out
        EXPECT_TRUE(messages_.shown.isEmpty());
        EXPECT_FALSE(window_->isVisible());
        EXPECT_NE(read_settings().find("REGISTER"), std::string::npos);
        // Nothing more reaches the port afterwards.
        window_->ReadVersion->click();
        EXPECT_EQ(requests(), std::vector<std::string>{"E"});
        std::filesystem::remove(settings_path());
    }
}

TEST_F(MainWindowTest, CloseBeforeTheImeiRequestGoesOutSendsNothing) {
    start();
    window_->show();
    // The IMEI read lets pending events run before its exchange; a close
    // waiting among them ends the program before anything is sent.
    QTimer::singleShot(0, window_.get(), [this] { window_->close(); });
    window_->ReadPassword->click();
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(port_->open_calls, 0);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_NE(read_settings().find("REGISTER"), std::string::npos);
}

TEST_F(MainWindowTest, SeasonOptionsAreOneChoice) {
    start();
    window_->show();
    EXPECT_FALSE(window_->Option1->isChecked());
    EXPECT_FALSE(window_->Option2->isChecked());
    window_->Option1->click();
    window_->Option1->click(); // clicking the selected one keeps it
    EXPECT_TRUE(window_->Option1->isChecked());
    window_->Option2->toggle(); // keyboard or screen reader toggle
    EXPECT_TRUE(window_->Option2->isChecked());
    EXPECT_FALSE(window_->Option1->isChecked());
}

} // namespace
} // namespace tessal::testing
