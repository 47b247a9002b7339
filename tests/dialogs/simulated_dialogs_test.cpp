// SPDX-License-Identifier: Apache-2.0
// The dialogs against the simulated device over a pseudo-terminal: each
// command once, and each fault of the device once.
#include "dialogs/ftp_dialog.h"
#include "dialogs/jad_dialog.h"
#include "dialogs/sim_dialog.h"
#include "support/simulated_console.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tessal::testing {
namespace {

// The main window and the dialogs on the simulated device, whose GPRS
// string is that of operator 1.
struct Rig {
    Rig() {
        console.start();
        console.settings.operator_names[0] = "Mreza A";
        console.settings.gprs_strings[0] = "\"internet\",\"\",\"\"";
        console.settings.operator_names[1] = "Mreza B";
        console.settings.gprs_strings[1] = "internet,gprs,gprs";
        console.settings.last_used_index = 1;
        console::Transaction& t = console.window->transaction();
        ftp = std::make_unique<dialogs::FtpDialog>(t, console.settings);
        jad = std::make_unique<dialogs::JadDialog>(t, console.settings,
                                                   console.directory() + "/Jad.txt");
        sim = std::make_unique<dialogs::SimDialog>(t);
    }
    // Clicks, then lets the operation end and its result arrive.
    void click(QPushButton* button) {
        button->click();
        EXPECT_TRUE(console.settle()) << button->objectName().toStdString();
    }
    std::optional<std::string> stored(const std::string& name) {
        return console.device.simulator->with_device([&](auto& d) { return d.parameter(name); });
    }

    SimulatedConsole console;
    QStringList& messages = console.messages.shown;
    std::unique_ptr<dialogs::FtpDialog> ftp;
    std::unique_ptr<dialogs::JadDialog> jad;
    std::unique_ptr<dialogs::SimDialog> sim;
};

TEST(SimulatedDialogsTest, EachDialogCommandAgainstTheDevice) {
    Rig r;
    ASSERT_TRUE(r.console.device.started);
    r.ftp->ftp[2]->setText("5");
    r.ftp->Username->setText(" tehnicar ");
    r.ftp->Combogprs->setCurrentIndex(0);
    for (QCheckBox* tick : r.ftp->Check1) {
        tick->setChecked(true);
    }
    r.click(r.ftp->Send);
    EXPECT_EQ(r.stored("FTPGovAddr"), "192.168.005.100");
    EXPECT_EQ(r.stored("gprsParamVlada"), "\"internet\",\"\",\"\"");
    r.click(r.ftp->Read);
    EXPECT_EQ(r.ftp->ftp[6]->text(), "005");
    EXPECT_EQ(r.ftp->UsernameR->text(), " tehnicar ");
    EXPECT_EQ(r.ftp->CombogprsR->currentIndex(), 0);

    r.click(r.jad->Command2);
    r.jad->Combo1->setCurrentIndex(r.jad->Combo1->findText("REPORT_INTERVAL:"));
    EXPECT_EQ(r.jad->Text3->text(), "60");
    r.jad->Text3->setText("30");
    r.click(r.jad->Command1);
    EXPECT_EQ(r.stored("REPORT_INTERVAL"), "30");

    r.console.device.simulator->with_device([](devsim::Device& d) {
        d.modem().set_echo(true);
        d.modem().forms().unsolicited = "+CREG: 1";
    });
    r.click(r.sim->ReadSIM);
    EXPECT_EQ(r.sim->SIMtext->text(), "89381030000123456784");
    r.sim->SimtextS->setText("8938");
    r.click(r.sim->SendSIM);
    r.click(r.sim->SendPSW);
    EXPECT_EQ(r.stored("SIM"), "8938");
    // The right PIN, then a wrong one after the modem quotes its state.
    r.sim->PINText->setText(" 1234 ");
    r.click(r.sim->SendPin);
    r.console.device.simulator->with_device([](devsim::Device& d) {
        d.modem().sim().pin_required = true;
        d.modem().sim().pin_entered = false;
        d.modem().forms().quoted_pin_state = true;
    });
    r.sim->PINText->setText("0000");
    r.click(r.sim->SendPin);
    EXPECT_EQ(r.messages,
              (QStringList{"OK - Promena parametara izvrsena", "OK - Promena parametara izvrsena",
                           "OK!", "OK!", "PIN kod uspesno setovan",
                           "Pogresan PIN kod, imate jos  2 pokusaj(a)!"}));
    EXPECT_FALSE(r.console.port_open());
}

TEST(SimulatedDialogsTest, EachFaultEndsWithItsMessageAndAClosedPort) {
    using F = devsim::Faults;
    F chunked = with(&F::chunk_size, 32);
    chunked.chunk_pause_ms = 5;
    const char* no_reply = "Uredjaj ne odgovara !";
    const char* no_long_reply = "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!";
    const char* bad_checksum = "Checksum nije dobar!";
    // The fault, the button pressed, the messages.
    const std::vector<std::tuple<F, const char*, QStringList>> cases{
        {with(&F::silent, true), "SendPin", {no_reply, no_reply, no_reply}},
        {with(&F::corrupt_checksum, true), "SendPin", {"Nedozvoljena operacija ==CS=="}},
        {chunked, "Command2", {}},
        {with(&F::trailing_byte, true), "ReadSIM", {no_long_reply}},
        {with(&F::stray_prefix, std::string("\r\n")), "Command2", {bad_checksum}},
        {with(&F::ack_before_frame, true), "ReadSIM", {}},
        {with(&F::reply_delay_ms, 150), "Read", {}},
        {with(&F::hang_up_mid_reply, true), "Command2", {"Greska!"}},
        {with(&F::vanish_on_request, true), "SendPSW", {"Greska!"}},
    };
    for (const auto& [faults, button, messages] : cases) {
        Rig r;
        // Keeps silence short.
        r.console.engine.on_device(
            [](link::DeviceLink& l) { l.constants().reply_timeout_ms = 300; });
        r.console.device.simulator->set_faults(faults);
        for (QWidget* window :
             std::initializer_list<QWidget*>{r.sim.get(), r.jad.get(), r.ftp.get()}) {
            if (auto* found = window->findChild<QPushButton*>(button)) {
                r.click(found);
                break;
            }
        }
        EXPECT_EQ(r.messages, messages) << button;
        EXPECT_FALSE(r.console.port_open());
        EXPECT_TRUE(r.console.window->transaction().idle());
    }
}

} // namespace
} // namespace tessal::testing
