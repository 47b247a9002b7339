// The dialogs against the simulated device over a pseudo-terminal.
#include "dialogs/ftp_dialog.h"
#include "dialogs/jad_dialog.h"
#include "dialogs/sim_dialog.h"
#include "support/simulated_console.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tessal::testing {
namespace {

class SimulatedDialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device_.started);
        console_.start();
        settings_.operator_names[0] = "Mreza A";
        settings_.gprs_strings[0] = "\"internet\",\"\",\"\"";
        settings_.operator_names[1] = "Mreza B";
        settings_.gprs_strings[1] = "\"gprs\",\"user\",\"pass\"";
        settings_.last_used_index = 1;
    }

    std::optional<std::string> stored(const std::string& name) {
        return device_.simulator->with_device([&](devsim::Device& d) { return d.parameter(name); });
    }

    // A descriptor of `entries` "name: value" lines; the last one without
    // its line break when `last_line_break` is false.
    static std::string descriptor(int entries, bool last_line_break = true) {
        std::string text;
        for (int i = 0; i < entries; ++i) {
            text += "Param-" + std::to_string(i) + ": v" + std::to_string(i);
            if (i + 1 < entries || last_line_break) {
                text += "\r\n";
            }
        }
        return text;
    }

    SimulatedConsole console_;
    SimulatedDevice& device_ = console_.device;
    RecordingMessages& messages_ = console_.messages;
    settings::Settings& settings_ = console_.settings;
    std::unique_ptr<console::MainWindow>& window_ = console_.window;
};

TEST_F(SimulatedDialogsTest, FtpSendStoresExactlyWhatReadShowsBack) {
    dialogs::FtpDialog ftp(window_->transaction(), settings_);
    ftp.ftp[0]->setText("10");
    ftp.ftp[1]->setText("18");
    ftp.ftp[2]->setText("5");
    ftp.ftp[3]->setText("9");
    ftp.Username->setText(" tehnicar ");
    ftp.Password->setText("tajna");
    ftp.ForSend->setText("/izvestaji");
    ftp.ForCommand->setText("/komande");
    ftp.Combogprs->setCurrentIndex(1);
    for (QCheckBox* tick : ftp.Check1) {
        tick->setChecked(true);
    }
    ftp.Send->click();
    EXPECT_EQ(messages_.informed, QStringList{"OK - Promena parametara izvrsena"});
    EXPECT_EQ(stored("FTPGovAddr"), "010.018.005.9");
    EXPECT_EQ(stored("FTPGovUser"), " tehnicar ");
    EXPECT_EQ(stored("gprsParamVlada"), "\"gprs\",\"user\",\"pass\"");

    messages_.clear();
    ftp.Read->click();
    EXPECT_TRUE(messages_.shown.isEmpty()) << messages_.shown.join("|").toStdString();
    EXPECT_EQ(ftp.ftp[4]->text(), "010");
    EXPECT_EQ(ftp.ftp[7]->text(), "9");
    EXPECT_EQ(ftp.UsernameR->text(), " tehnicar ");
    EXPECT_EQ(ftp.ForCommandR->text(), "/komande");
    EXPECT_EQ(ftp.CombogprsR->currentIndex(), 1);
    EXPECT_FALSE(device_.link.is_open());
}

TEST_F(SimulatedDialogsTest, FtpReadStopsAtTheOneRequestThatTimesOut) {
    devsim::Faults silent;
    silent.silent = true;
    device_.simulator->set_command_faults({{"RFTPGovPass", silent}});
    device_.link.constants().reply_timeout_ms = 300; // keeps the test short
    dialogs::FtpDialog ftp(window_->transaction(), settings_);
    ftp.Read->click();
    EXPECT_EQ(messages_.informed,
              QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"});
    EXPECT_FALSE(ftp.UsernameR->text().isEmpty());
    EXPECT_TRUE(ftp.PasswordR->text().isEmpty());
    EXPECT_EQ(device_.simulator->requests().size(), 3U);
    EXPECT_FALSE(device_.link.is_open());
}

TEST_F(SimulatedDialogsTest, JadDescriptorSizesAndTheLastLine) {
    for (const auto& [entries, line_break, parsed] :
         {std::tuple{101, true, true}, std::tuple{102, true, false}, std::tuple{5, false, true}}) {
        messages_.clear();
        device_.simulator->with_device([&, e = entries, b = line_break](devsim::Device& d) {
            d.set_descriptor(descriptor(e, b));
        });
        dialogs::JadDialog jad(window_->transaction(), settings_,
                               console_.directory() + "/Jad.txt");
        jad.Command2->click();
        if (parsed) {
            EXPECT_TRUE(messages_.shown.isEmpty()) << entries;
            EXPECT_EQ(jad.Combo1->count(), entries);
        } else {
            EXPECT_EQ(messages_.plains, QStringList{"greska"}) << entries;
        }
        EXPECT_FALSE(jad.Text2->toPlainText().isEmpty());
    }
    EXPECT_TRUE(std::filesystem::exists(console_.directory() + "/Jad.txt"));
}

TEST_F(SimulatedDialogsTest, SimPinSequenceAgainstTheModem) {
    dialogs::SimDialog sim(window_->transaction());
    // Right PIN: entered, then the PIN request is switched off.
    sim.PINText->setText(" 1234 ");
    sim.SendPin->click();
    EXPECT_EQ(messages_.informed, QStringList{"PIN kod uspesno setovan"});
    EXPECT_FALSE(device_.simulator->with_device(
        [](devsim::Device& d) { return d.modem().sim().pin_required; }));

    // Without a PIN request the sequence stops after the state query.
    messages_.clear();
    sim.SendPin->click();
    EXPECT_EQ(messages_.informed, QStringList{"Oslobodjeno od PIN koda"});

    // A wrong PIN, with the state in quotes, reports the remaining attempts.
    messages_.clear();
    device_.simulator->with_device([](devsim::Device& d) {
        d.modem().sim().pin_required = true;
        d.modem().sim().pin_entered = false;
        d.modem().sim().attempts_left = 11;
        d.modem().forms().quoted_pin_state = true;
    });
    sim.PINText->setText("0000");
    sim.SendPin->click();
    EXPECT_EQ(messages_.informed, QStringList{"Pogresan PIN kod, imate jos  10 pokusaj(a)!"});

    // No SIM card at all.
    messages_.clear();
    device_.simulator->with_device([](devsim::Device& d) { d.modem().sim().present = false; });
    sim.SendPin->click();
    EXPECT_EQ(messages_.informed, QStringList{"SIM kartica nije prisutna"});

    sim.ReadSIM->click();
    EXPECT_FALSE(device_.link.is_open());
}

TEST_F(SimulatedDialogsTest, SimIdentificationIsReadBehindAnUnsolicitedLine) {
    device_.simulator->with_device([](devsim::Device& d) {
        d.modem().set_echo(true);
        d.modem().forms().unsolicited = "+CREG: 1";
    });
    dialogs::SimDialog sim(window_->transaction());
    sim.ReadSIM->click();
    EXPECT_EQ(sim.SIMtext->text(), "89381030000123456784");
    device_.simulator->with_device(
        [](devsim::Device& d) { d.modem().forms().error_for = "AT^SCID"; });
    sim.ReadSIM->click();
    EXPECT_EQ(sim.SIMtext->text(), "+CME ERROR: 10");
    EXPECT_TRUE(messages_.shown.isEmpty());
}

} // namespace
} // namespace tessal::testing
