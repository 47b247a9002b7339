// Every button that talks to the device, through every fault of the
// simulated device: each ends with the message its reading scheme gives for
// the outcome, the port closed and the window usable.
#include "dialogs/ftp_dialog.h"
#include "dialogs/jad_dialog.h"
#include "dialogs/sim_dialog.h"
#include "link/frame.h"
#include "link/messages.h"
#include "support/simulated_console.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <thread>

namespace tessal::testing {
namespace {

using devsim::Faults;

struct FaultCase {
    const char* name;
    Faults faults;
    // How long the device may still be sending after the console is done
    // with an exchange (a frame behind a lone ACK, chunks after a time-out).
    int settle_ms = 0;
};

void PrintTo(const FaultCase& fault, std::ostream* out) {
    *out << fault.name;
}

std::vector<FaultCase> fault_cases() {
    std::vector<FaultCase> cases;
    const auto add = [&](const char* name, auto change, int settle_ms = 0) {
        Faults f;
        change(f);
        cases.push_back({name, f, settle_ms});
    };
    add("none", [](Faults&) {});
    add("silence", [](Faults& f) { f.silent = true; });
    add("nak", [](Faults& f) { f.nak_all = true; });
    add("bad_checksum", [](Faults& f) { f.corrupt_checksum = true; });
    add(
        "chunked_slow",
        [](Faults& f) {
            // Well inside the time-out even for the descriptor (about 430
            // bytes), also on a loaded machine.
            f.chunk_size = 32;
            f.chunk_pause_ms = 5;
        },
        150);
    add(
        "delayed", [](Faults& f) { f.reply_delay_ms = 150; }, 200);
    add("stray_bytes", [](Faults& f) { f.stray_prefix = "\r\n"; });
    add("trailing_byte", [](Faults& f) { f.trailing_byte = true; });
    add(
        "ack_before_frame", [](Faults& f) { f.ack_before_frame = true; }, 150);
    add("hang_up_mid_reply", [](Faults& f) { f.hang_up_mid_reply = true; });
    add("vanish", [](Faults& f) { f.vanish_on_request = true; });
    return cases;
}

// What the first exchange of a command gives under a fault: a status word,
// or "DATA" for a payload.
constexpr const char* kData = "DATA";

bool is_status(const std::string& r) {
    return r == link::kOk || r == link::kNok || r == link::kTimeout || r == link::kChecksumError ||
           r == link::kPortFailure;
}

QStringList one(const char* text) {
    return QStringList{QString::fromLatin1(text)};
}
QStringList one(const std::string& text) {
    return QStringList{QString::fromStdString(text)};
}

QStringList data_scheme(const std::string& outcome, const char* timeout = link::kMsgNoReplyLong) {
    if (outcome == kData || outcome == link::kOk) {
        return {};
    }
    return one(*link::data_message(outcome, timeout));
}

QStringList ack_scheme(const std::string& outcome) {
    return one(link::acknowledgement_message(outcome == kData ? std::string("?") : outcome));
}

class FaultRunsTest : public ::testing::TestWithParam<FaultCase> {
  protected:
    struct Button {
        const char* name;
        std::string command;           // first request text
        std::function<void()> prepare; // runs before the fault is on
        std::function<void()> click;
        std::function<QStringList(const std::string&)> expect;
    };

    void SetUp() override {
        ASSERT_TRUE(device_.started);
        console_.start();
        settings_.operator_names[0] = "Mreza A";
        settings_.gprs_strings[0] = device_.simulator->with_device(
            [](devsim::Device& d) { return d.parameter("gprsParamVlada").value_or(""); });
        settings_.last_used_index = 0;
        ftp_ = std::make_unique<dialogs::FtpDialog>(window_->transaction(), settings_);
        jad_ = std::make_unique<dialogs::JadDialog>(window_->transaction(), settings_,
                                                    console_.directory() + "/Jad.txt");
        sim_ = std::make_unique<dialogs::SimDialog>(window_->transaction());
    }

    void TearDown() override { device_.link.close_port(); }

    // The link's outcome for one request under the fault, taken on its own.
    std::string outcome_of(const std::string& command) {
        device_.simulator->set_faults(GetParam().faults);
        wait_until_openable();
        device_.link.constants().reply_timeout_ms = 400;
        std::string result = device_.open() == link::kOk ? device_.link.get_frame(command) : "PO";
        device_.link.close_port();
        settle();
        return is_status(result) ? result : kData;
    }

    void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().settle_ms)); }

    // After a hang-up the simulator re-links a fresh terminal.
    void wait_until_openable() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const bool open = device_.open() == link::kOk;
            device_.link.close_port();
            if (open) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<Button> buttons() {
        using S = const std::string&;
        auto* w = window_.get();
        std::vector<Button> list = {
            {"ReadVersion",
             "V",
             {},
             [w] { w->ReadVersion->click(); },
             [](S o) { return data_scheme(o); }},
            {"ReadLast",
             "W",
             {},
             [w] { w->ReadLast->click(); },
             [](S o) { return data_scheme(o); }},
            {"ComStop", "E", {}, [w] { w->ComStop->click(); }, ack_scheme},
            {"Reset", "X", [this] { messages_.answers.push_back(true); },
             [w] { w->Reset->click(); }, ack_scheme},
            {"Test", "T", {}, [w] { w->Test->click(); }, ack_scheme},
            {"ReadPassword",
             "AAT+GSN",
             {},
             [w] { w->ReadPassword->click(); },
             [](S o) { return data_scheme(o); }},
            {"ReadSignal",
             "AAT+CSQ",
             {},
             [w] { w->ReadSignal->click(); },
             [](S o) { return data_scheme(o); }},
            {"ReadTime", "AAT+CCLK?", [w] { w->Option2->click(); }, [w] { w->ReadTime->click(); },
             [](S o) { return data_scheme(o, link::kMsgNoReplyClock); }},
            {"SendTime", "AAT+CCLK=\"06/03/15,11:45:00\"",
             [w] {
                 w->Option1->click();
                 const char* typed[] = {"06", "03", "15", "13", "45", "00"};
                 for (int i = 0; i < 6; ++i) {
                     w->Vreme[static_cast<std::size_t>(i)]->setText(typed[i]);
                 }
             },
             [w] { w->SendTime->click(); },
             [](S o) {
                 if (o == kData) {
                     return one("OK"); // the modem's "OK" between line ends
                 }
                 return o == link::kChecksumError ? one("CS") : ack_scheme(o);
             }},
            {"FtpRead",
             "RFTPGovAddr",
             {},
             [this] { ftp_->Read->click(); },
             [](S o) {
                 // A lone ACK reads as the value "OK" for every parameter.
                 return o == link::kOk ? one("GPRS parametri su: OK") : data_scheme(o);
             }},
            {"FtpSend", "PFTPGovUser:tehnicar",
             [this] {
                 ftp_->Username->setText("tehnicar");
                 ftp_->Check1[1]->setChecked(true);
             },
             [this] { ftp_->Send->click(); },
             [](S o) {
                 return o == link::kOk ? one("OK - Promena parametara izvrsena") : ack_scheme(o);
             }},
            {"JadRead",
             "J",
             {},
             [this] { jad_->Command2->click(); },
             [](S o) { return data_scheme(o); }},
            {"JadSend", "PMIDlet-Name:x",
             [this] {
                 jad_->Command2->click();
                 jad_->Combo1->setCurrentIndex(jad_->Combo1->findText("MIDlet-Name:"));
                 jad_->Text3->setText("x");
             },
             [this] { jad_->Command1->click(); },
             [](S o) {
                 return o == link::kOk ? one("OK - Promena parametara izvrsena") : ack_scheme(o);
             }},
            {"ReadSIM",
             "AAT^SCID",
             {},
             [this] { sim_->ReadSIM->click(); },
             [](S o) { return data_scheme(o); }},
            {"SendPSW", "ptajna", [this] { sim_->PassText->setText("tajna"); },
             [this] { sim_->SendPSW->click(); }, ack_scheme},
            {"SendSIM", "PSIM:123", [this] { sim_->SimtextS->setText("123"); },
             [this] { sim_->SendSIM->click(); }, ack_scheme},
        };
        return list;
    }

    SimulatedConsole console_;
    SimulatedDevice& device_ = console_.device;
    RecordingMessages& messages_ = console_.messages;
    settings::Settings& settings_ = console_.settings;
    std::unique_ptr<console::MainWindow>& window_ = console_.window;
    std::unique_ptr<dialogs::FtpDialog> ftp_;
    std::unique_ptr<dialogs::JadDialog> jad_;
    std::unique_ptr<dialogs::SimDialog> sim_;
};

TEST_P(FaultRunsTest, EveryButtonEndsWithItsMessageAndAClosedPort) {
    for (Button& button : buttons()) {
        SCOPED_TRACE(button.name);
        device_.simulator->set_faults({});
        wait_until_openable();
        if (button.prepare) {
            button.prepare();
        }
        const std::string outcome = outcome_of(button.command);
        ASSERT_NE(outcome, "PO");
        device_.link.constants().reply_timeout_ms = 400;
        messages_.clear();
        button.click();
        settle();
        EXPECT_EQ(messages_.informed, button.expect(outcome)) << "outcome " << outcome;
        EXPECT_FALSE(device_.link.is_open());
        EXPECT_FALSE(!window_->transaction().idle());
        EXPECT_TRUE(window_->content()->isEnabled());
    }
    // The window still works once the fault is gone.
    device_.simulator->set_faults({});
    wait_until_openable();
    messages_.clear();
    window_->ComStop->click();
    EXPECT_EQ(messages_.informed, one("OK!"));
}

TEST_P(FaultRunsTest, PinSequenceEndsWithItsMessagesAndAClosedPort) {
    const std::string outcome = outcome_of("AAT+CPIN?");
    device_.link.constants().reply_timeout_ms = 400;
    sim_->PINText->setText("1234");
    sim_->SendPin->click();
    QStringList expected;
    if (outcome == kData) {
        expected = one("PIN kod uspesno setovan");
    } else if (outcome == link::kChecksumError) {
        expected = one("Nedozvoljena operacija ==CS==");
    } else if (outcome == link::kOk) {
        expected = QStringList{"OK!", "OK!", "OK"};
    } else {
        const QString text = QString::fromStdString(link::acknowledgement_message(outcome));
        expected = QStringList{text, text, text};
    }
    EXPECT_EQ(messages_.informed, expected) << "outcome " << outcome;
    EXPECT_FALSE(device_.link.is_open());
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultRunsTest, ::testing::ValuesIn(fault_cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace tessal::testing
