#include "dialogs/sim_dialog.h"

#include "support/console_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <map>

namespace tessal::testing {
namespace {

using dialogs::SimDialog;

const char* kPortMessage = "Port nije dobro izabran, podesite port i pokusajte ponovo!";
const char* kNoReply = "Uredjaj ne odgovara !";

const std::string kState = "AAT+CPIN?";
const std::string kEntry = "AAT+CPIN =1234";
const std::string kAttempts = "AAT^SPIC1234";
const std::string kOff = "AAT+CLCK = \"SC\",0,1234";

class SimDialogTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        start();
        dialog_ = std::make_unique<SimDialog>(window_->transaction());
        // The modem answers each command as scripted; a command without an
        // answer meets silence.
        port_->on_write = [this](const std::string& bytes) {
            if (bytes.size() < 4) {
                return;
            }
            const auto answer = answers_.find(bytes.substr(1, bytes.size() - 4));
            if (answer != answers_.end()) {
                answer->second();
            }
        };
    }

    void answer(const std::string& command, const std::string& payload) {
        answers_[command] = [this, payload] { reply_frame(payload); };
    }
    void answer_with(const std::string& command, std::function<void()> reply) {
        answers_[command] = std::move(reply);
    }

    // Runs the PIN sequence for the PIN typed.
    void send_pin(const QString& typed = "1234") {
        dialog_->PINText->setText(typed);
        dialog_->SendPin->click();
    }

    std::map<std::string, std::function<void()>> answers_;
    std::unique_ptr<SimDialog> dialog_;
};

TEST_F(SimDialogTest, ReadSimShowsTheCardNumberWithoutAMessage) {
    for (const auto& [reply, shown] : std::vector<std::pair<std::string, QString>>{
             {"\r\n^SCID: 89381030000012345678\r\n\r\nOK\r\n", "89381030000012345678"},
             {"\r\n+CME ERROR: 10\r\n", "+CME ERROR: 10"}}) {
        port_->writes.clear();
        dialog_->SIMtext->setText("old");
        reply_frame(reply);
        dialog_->ReadSIM->click();
        EXPECT_EQ(dialog_->SIMtext->text(), shown) << reply;
        EXPECT_EQ(requests(), std::vector<std::string>{"AAT^SCID"});
    }
    reply_ack();
    dialog_->ReadSIM->click();
    EXPECT_EQ(dialog_->SIMtext->text(), "???");
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_FALSE(port_->is_open());
}

TEST_F(SimDialogTest, FailedReadSimReportsAndLeavesTheBoxEmpty) {
    const auto cases = data_failures();
    for (const auto& [reply, message] : cases) {
        messages_.clear();
        dialog_->SIMtext->setText("old");
        reply();
        dialog_->ReadSIM->click();
        EXPECT_EQ(messages_.shown, QStringList{message});
        EXPECT_TRUE(dialog_->SIMtext->text().isEmpty());
    }
    EXPECT_EQ(requests().size(), 4U); // none with the port failing to open
}

TEST_F(SimDialogTest, PasswordAndSimIdentificationAreSentAsTyped) {
    reply_ack();
    dialog_->SendPSW->click();
    reply_ack();
    dialog_->SendSIM->click();
    dialog_->PassText->setText(" tajna ");
    reply_nak();
    dialog_->SendPSW->click();
    dialog_->SimtextS->setText("8938 1030");
    reply_bad_checksum();
    dialog_->SendSIM->click();
    dialog_->SendSIM->click(); // silence
    reply_frame("zauzet");
    dialog_->SendPSW->click();
    EXPECT_EQ(requests(), (std::vector<std::string>{"p", "PSIM:", "p tajna ", "PSIM:8938 1030",
                                                    "PSIM:8938 1030", "p tajna "}));
    EXPECT_EQ(messages_.informed, (QStringList{"OK!", "OK!", "Not OK!", "CS", kNoReply, "zauzet"}));
    EXPECT_FALSE(port_->is_open());
}

TEST_F(SimDialogTest, PinSequenceStopsAtTheStateWhenNoPinIsNeededOrNoSimIsThere) {
    const std::vector<std::pair<std::string, QString>> cases{
        {"\r\n+CPIN: READY\r\n\r\nOK\r\n", "Oslobodjeno od PIN koda"},
        {"\r\nERROR\r\n", "SIM kartica nije prisutna"},
        {"+CPIN: SIM PUK", "Nedozvoljena operacija ==+CPIN: SIM PUK=="},
    };
    for (const auto& [reply, message] : cases) {
        messages_.clear();
        port_->writes.clear();
        answer(kState, reply);
        send_pin();
        EXPECT_EQ(requests(), std::vector<std::string>{kState}) << reply;
        EXPECT_EQ(messages_.informed, QStringList{message}) << reply;
        EXPECT_FALSE(port_->is_open());
    }
    // A bad checksum is no status of this sequence: it is an unexpected state.
    messages_.clear();
    answer_with(kState, [this] { reply_bad_checksum(); });
    send_pin();
    EXPECT_EQ(messages_.informed, QStringList{"Nedozvoljena operacija ==CS=="});
}

TEST_F(SimDialogTest, PinAcceptedTurnsThePinRequestOffOverOneOpenPort) {
    answer(kState, "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    answer(kEntry, "\r\nOK\r\n");
    answer(kOff, "\r\nOK\r\n");
    bool open_throughout = true;
    const auto record = port_->on_write;
    port_->on_write = [&](const std::string& bytes) {
        open_throughout = open_throughout && port_->is_open();
        record(bytes);
    };
    send_pin("  1234 ");
    EXPECT_EQ(requests(), (std::vector<std::string>{kState, kEntry, kOff}));
    EXPECT_EQ(messages_.informed, QStringList{"PIN kod uspesno setovan"});
    EXPECT_TRUE(open_throughout);
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_FALSE(port_->is_open());
}

TEST_F(SimDialogTest, WrongPinEndsWithTheAttemptsLeft) {
    answer(kState, "+CPIN: SIM PIN");
    answer(kEntry, "\r\n+CME ERROR: incorrect password\r\n");
    answer(kAttempts, "^SPIC: 2\r\n\r\nOK\r\n");
    send_pin();
    EXPECT_EQ(requests(), (std::vector<std::string>{kState, kEntry, kAttempts}));
    EXPECT_EQ(messages_.informed, QStringList{"Pogresan PIN kod, imate jos  2 pokusaj(a)!"});
}

TEST_F(SimDialogTest, StatusResultsAreReportedAndTheSequenceGoesOn) {
    // Silence in step 1: reported, and the PIN is still sent.
    answer(kEntry, "\r\nOK\r\n");
    answer(kOff, "\r\nERROR\r\n");
    send_pin();
    EXPECT_EQ(requests(), (std::vector<std::string>{kState, kEntry, kOff}));
    EXPECT_EQ(messages_.informed, (QStringList{kNoReply, "\r\nERROR\r\n"}));

    // A refused PIN whose attempts query fails goes on to step 4.
    messages_.clear();
    port_->writes.clear();
    answer_with(kState, [this] { reply_nak(); });
    answer(kEntry, "ERROR");
    answer_with(kAttempts, [this] { port_->fail_next_read(); });
    answer_with(kOff, [this] { reply_ack(); });
    send_pin();
    EXPECT_EQ(requests(), (std::vector<std::string>{kState, kEntry, kAttempts, kOff}));
    EXPECT_EQ(messages_.informed, (QStringList{"Not OK!", "Greska!", "OK"}));

    EXPECT_EQ(port_->open_calls, 2); // one per sequence
    EXPECT_FALSE(port_->is_open());
}

TEST_F(SimDialogTest, EmptyPinIsSentEmptyAndAClosedPortSendsNothing) {
    answer(kState, "+CPIN: SIM PIN");
    answer("AAT+CPIN =", "\r\nOK\r\n");
    answer("AAT+CLCK = \"SC\",0,", "\r\nOK\r\n");
    send_pin("   ");
    EXPECT_EQ(requests(), (std::vector<std::string>{kState, "AAT+CPIN =", "AAT+CLCK = \"SC\",0,"}));

    messages_.clear();
    port_->writes.clear();
    port_->fail_open = true;
    send_pin();
    EXPECT_EQ(messages_.shown, QStringList{kPortMessage});
    EXPECT_TRUE(port_->writes.empty());
}

TEST_F(SimDialogTest, NothingElseRunsWhileAReplyIsAwaited) {
    dialog_->SIMtext->setText("old");
    port_->on_wait = [this] {
        dialog_->ReadSIM->click();
        dialog_->SendPSW->click();
        dialog_->SendSIM->click();
        dialog_->SendPin->click();
    };
    reply_frame("^SCID: 42\r\n");
    dialog_->ReadSIM->click();
    EXPECT_EQ(requests(), std::vector<std::string>{"AAT^SCID"});
    EXPECT_EQ(dialog_->SIMtext->text(), "42");
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_TRUE(messages_.shown.isEmpty());
}

TEST_F(SimDialogTest, ClosingDuringTheWaitEndsThePinSequenceAndTheDialog) {
    const std::vector<std::function<void(SimDialog&)>> closers{
        [](SimDialog& d) { d.Izlaz->click(); },
        [](SimDialog& d) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&d, &escape);
        },
        [](SimDialog& d) { d.close(); }, // the close box
    };
    for (const auto& close : closers) {
        dialog_ = std::make_unique<SimDialog>(window_->transaction());
        dialog_->show();
        dialog_->PINText->setText("1234");
        port_->writes.clear();
        port_->on_wait = [&] { close(*dialog_); };
        dialog_->SendPin->click();
        // The state question was cut short; the PIN never went out.
        EXPECT_EQ(requests(), std::vector<std::string>{"AAT+CPIN?"});
        EXPECT_FALSE(port_->is_open());
        EXPECT_FALSE(dialog_->isVisible());
        EXPECT_TRUE(messages_.shown.isEmpty());
        EXPECT_TRUE(window_->transaction().idle());
    }
}

} // namespace
} // namespace tessal::testing
