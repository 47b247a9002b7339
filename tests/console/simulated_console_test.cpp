// The main window against the simulated device over a pseudo-terminal.
#include "support/simulated_console.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

namespace tessal::testing {
namespace {

using Clock = std::chrono::steady_clock;

class SimulatedConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device_.started);
        console_.start();
    }

    std::vector<std::string> requests() const { return device_.simulator->requests(); }

    SimulatedConsole console_;
    SimulatedDevice& device_ = console_.device;
    RecordingMessages& messages_ = console_.messages;
    settings::Settings& settings_ = console_.settings;
    std::unique_ptr<console::MainWindow>& window_ = console_.window;
};

TEST_F(SimulatedConsoleTest, ReadsVersionImeiAndSignal) {
    // A modem with echo on that prefixes the IMEI with "+GSN:" and sends an
    // unsolicited line before every answer.
    device_.simulator->with_device([](devsim::Device& d) {
        d.set_version("TS v9");
        d.modem().set_signal(21);
        d.modem().set_echo(true);
        d.modem().forms().gsn_prefix = true;
        d.modem().forms().unsolicited = "+CREG: 1";
    });
    window_->ReadVersion->click();
    window_->ReadPassword->click();
    window_->ReadSignal->click();
    EXPECT_EQ(window_->SoftVersion->text(), "TS v9");
    EXPECT_EQ(window_->LozinkaR->text(), "356871044629016");
    EXPECT_EQ(window_->NivoLabel->text(), "Nivo: 21");
    EXPECT_EQ(window_->NivoProgres->value(), 63);
    EXPECT_TRUE(messages_.shown.isEmpty()) << messages_.shown.join("|").toStdString();
    EXPECT_EQ(requests(), (std::vector<std::string>{"V", "AAT+GSN", "AAT+CSQ"}));
    EXPECT_FALSE(device_.link.is_open());
}

TEST_F(SimulatedConsoleTest, ClockSetIsReadBackThroughAZoneSuffix) {
    window_->Option1->click();
    window_->Vreme[0]->setText("08");
    window_->Vreme[1]->setText("02");
    window_->Vreme[2]->setText("28");
    window_->Vreme[3]->setText("23");
    window_->Vreme[4]->setText("10");
    window_->Vreme[5]->setText("00");
    window_->SendTime->click();
    EXPECT_EQ(messages_.informed, QStringList{"OK"});
    EXPECT_EQ(requests().back(), "AAT+CCLK=\"08/02/28,21:10:00\"");
    // The modem now reports network time: UTC+2 h, "+08".
    device_.simulator->with_device([](devsim::Device& d) { d.modem().forms().zone = 8; });
    window_->ReadTime->click();
    EXPECT_EQ(window_->VremeR(8)->text(), "28");
    EXPECT_EQ(window_->VremeR(9)->text(), "23");
    EXPECT_EQ(window_->VremeR(10)->text(), "10");
}

TEST_F(SimulatedConsoleTest, TestAgainstASilentDeviceTakesAboutASecond) {
    devsim::Faults silent;
    silent.silent = true;
    device_.simulator->set_faults(silent);
    // The PC clock keeps ticking while the reply is awaited.
    window_->Check2->click();
    window_->Timer1->setInterval(100);
    const auto start = Clock::now();
    window_->Test->click();
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(messages_.informed, QStringList{"Uredjaj ne odgovara !"});
    // The link counts whole milliseconds, so the wait may end a fraction early.
    EXPECT_GE(elapsed, std::chrono::milliseconds(995));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    EXPECT_EQ(device_.link.constants().reply_timeout_ms, 5000);
    EXPECT_FALSE(window_->Vreme[0]->text().isEmpty());
}

TEST_F(SimulatedConsoleTest, ClosingDuringARealWaitEndsPromptly) {
    devsim::Faults silent;
    silent.silent = true;
    device_.simulator->set_faults(silent);
    QTimer::singleShot(200, window_.get(), [this] { window_->close(); });
    const auto start = Clock::now();
    window_->ComStop->click();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    QCoreApplication::processEvents();
    EXPECT_FALSE(device_.link.is_open());
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_TRUE(std::filesystem::exists(console_.directory() + "/rvt_ini.txt"));
}

TEST_F(SimulatedConsoleTest, UnpluggedDeviceGivesGreskaAndTheWindowStaysUsable) {
    devsim::Faults vanish;
    vanish.vanish_on_request = true;
    device_.simulator->set_faults(vanish);
    window_->ReadSignal->click();
    EXPECT_EQ(messages_.informed, QStringList{"Greska!"});
    EXPECT_FALSE(device_.link.is_open());
    EXPECT_TRUE(window_->content()->isEnabled());
}

} // namespace
} // namespace tessal::testing
