// The main window against the simulated device over a pseudo-terminal: each
// command once, as the technician runs it.
#include "support/simulated_console.h"

#include <QtWidgets>

#include <gtest/gtest.h>

#include <chrono>

namespace tessal::testing {
namespace {

class SimulatedConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device_.started);
        console_.start();
    }

    SimulatedConsole console_;
    SimulatedDevice& device_ = console_.device;
    RecordingMessages& messages_ = console_.messages;
    std::unique_ptr<console::MainWindow>& window_ = console_.window;
};

// A modem with echo on that prefixes the IMEI with "+GSN:", sends an
// unsolicited line before every answer and, once set, gives the network's
// time with its zone (UTC+2 h, "+08").
TEST_F(SimulatedConsoleTest, EveryCommandOnce) {
    device_.simulator->with_device([](devsim::Device& d) {
        d.set_version("TS v9");
        d.modem().set_signal(17);
        d.modem().set_echo(true);
        d.modem().forms().gsn_prefix = true;
        d.modem().forms().unsolicited = "+CREG: 1";
    });
    messages_.answers = {true};
    for (QPushButton* button :
         {window_->ReadVersion, window_->ReadLast, window_->ComStop, window_->Reset, window_->Test,
          window_->ReadPassword, window_->ReadSignal}) {
        button->click();
    }
    window_->Option1->click();
    const char* typed[] = {"08", "02", "28", "23", "10", "00"}; // year to second
    for (std::size_t i = 0; i < 6; ++i) {
        window_->Vreme[i]->setText(typed[i]);
    }
    window_->SendTime->click();
    device_.simulator->with_device([](devsim::Device& d) { d.modem().forms().zone = 8; });
    window_->ReadTime->click();
    EXPECT_EQ(window_->SoftVersion->text(), "TS v9");
    EXPECT_EQ(window_->LastCommand->toPlainText(), "V");
    EXPECT_EQ(window_->LozinkaR->text(), "356871044629016");
    EXPECT_EQ(window_->NivoLabel->text(), "Nivo: 17");
    EXPECT_EQ(window_->NivoProgres->value(), 50);
    EXPECT_EQ(window_->VremeR(8)->text() + window_->VremeR(9)->text() + window_->VremeR(10)->text(),
              "282310");
    EXPECT_EQ(messages_.shown, QStringList({"OK!", "OK!", "OK!", "OK"}));
    EXPECT_EQ(device_.simulator->requests(),
              (std::vector<std::string>{"V", "W", "E", "X", "T", "AAT+GSN", "AAT+CSQ",
                                        "AAT+CCLK=\"08/02/28,21:10:00\"", "AAT+CCLK?"}));
    EXPECT_FALSE(device_.link.is_open());
}

// A close while a silent device is awaited ends the wait at once and saves;
// meanwhile the PC clock kept ticking.
TEST_F(SimulatedConsoleTest, CloseDuringARealWaitEndsItAtOnce) {
    devsim::Faults silent;
    silent.silent = true;
    device_.simulator->set_faults(silent);
    window_->Check2->click();
    window_->Timer1->setInterval(100);
    QTimer::singleShot(300, window_.get(), [this] { window_->close(); });
    const auto start = std::chrono::steady_clock::now();
    window_->ComStop->click();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    QCoreApplication::processEvents();
    EXPECT_FALSE(device_.link.is_open());
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_FALSE(window_->Vreme[0]->text().isEmpty());
    EXPECT_TRUE(std::filesystem::exists(console_.directory() + "/rvt_ini.txt"));
}

} // namespace
} // namespace tessal::testing
