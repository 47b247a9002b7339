// The link against the simulated device over a real pseudo-terminal.
#include "link/frame.h"
#include "support/simulated_device.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tessal::link {
namespace {

using tessal::devsim::Faults;
using tessal::testing::SimulatedDevice;
using Clock = std::chrono::steady_clock;

class PtyLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started) << sim_.simulator->error();
        ASSERT_EQ(sim_.open(), "OK");
    }
    void TearDown() override { sim_.link.close_port(); }

    void faults(const Faults& f) { sim_.simulator->set_faults(f); }

    SimulatedDevice sim_;
};

TEST_F(PtyLinkTest, VersionExchangeIsAcknowledged) {
    const std::string version = sim_.simulator->with_device([](auto& d) { return d.version(); });
    EXPECT_EQ(sim_.link.get_frame("V"), version);
    EXPECT_EQ(sim_.link.get_frame("E"), "OK");
    // The console's ACK to the reply frame reached the device.
    ASSERT_TRUE(sim_.simulator->wait_for_requests(2, std::chrono::seconds(2)));
    EXPECT_EQ(sim_.simulator->acks_received(), 1);
}

TEST_F(PtyLinkTest, InstantReplyIsNotLost) {
    Faults f;
    f.instant = true;
    faults(f);
    const std::string version = sim_.simulator->with_device([](auto& d) { return d.version(); });
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(sim_.link.get_frame("V"), version) << "exchange " << i;
    }
}

TEST_F(PtyLinkTest, SilentDeviceTimesOutAfterAboutASecond) {
    Faults f;
    f.silent = true;
    faults(f);
    sim_.link.constants().reply_timeout_ms = 1000;
    const auto start = Clock::now();
    EXPECT_EQ(sim_.link.get_frame("T"), "TO");
    const auto elapsed = Clock::now() - start;
    // The link counts whole milliseconds, so the wait may end a fraction early.
    EXPECT_GE(elapsed, std::chrono::milliseconds(995));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
}

TEST_F(PtyLinkTest, LineFaultsGiveTheirStatusWords) {
    Faults f;
    f.nak_all = true;
    faults(f);
    EXPECT_EQ(sim_.link.get_frame("V"), "NOK");

    f = {};
    f.corrupt_checksum = true;
    faults(f);
    EXPECT_EQ(sim_.link.get_frame("V"), "CS");
    ASSERT_TRUE(sim_.simulator->wait_for_requests(2, std::chrono::seconds(2)));

    f = {};
    f.ack_before_frame = true;
    faults(f);
    EXPECT_EQ(sim_.link.get_frame("V"), "OK");

    f = {};
    f.stray_prefix = "zz";
    faults(f);
    EXPECT_EQ(sim_.link.get_frame("V"), "CS");

    f = {};
    f.chunk_size = 3;
    f.chunk_pause_ms = 20;
    faults(f);
    const std::string version = sim_.simulator->with_device([](auto& d) { return d.version(); });
    EXPECT_EQ(sim_.link.get_frame("V"), version);

    f = {};
    f.trailing_byte = true;
    faults(f);
    sim_.link.constants().reply_timeout_ms = 500;
    EXPECT_EQ(sim_.link.get_frame("V"), "TO");
    EXPECT_GE(sim_.simulator->naks_received(), 1);
}

TEST_F(PtyLinkTest, HangUpMidReplyGivesErjaAndTheNextOpenWorks) {
    Faults f;
    f.hang_up_mid_reply = true;
    faults(f);
    const auto start = Clock::now();
    EXPECT_EQ(sim_.link.get_frame("V"), "ERja");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(sim_.link.close_port(), "");
    EXPECT_FALSE(sim_.link.is_open());

    faults({});
    // The simulator re-links a fresh terminal after a hang-up.
    std::string result;
    for (int attempt = 0; attempt < 50 && result != "OK"; ++attempt) {
        result = sim_.open();
        if (result != "OK") {
            sim_.link.close_port();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ASSERT_EQ(result, "OK");
    EXPECT_EQ(sim_.link.get_frame("E"), "OK");
}

TEST_F(PtyLinkTest, VanishedDeviceGivesErjaNotAHang) {
    Faults f;
    f.vanish_on_request = true;
    faults(f);
    const auto start = Clock::now();
    EXPECT_EQ(sim_.link.get_frame("V"), "ERja");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    // Every later exchange on the dead port fails at once as well.
    EXPECT_EQ(sim_.link.get_frame("V"), "ERja");
}

TEST(PtyPortTest, MissingDeviceGivesPoAndCloseIsHarmless) {
    QTemporaryDir dir;
    DeviceLink link(std::make_unique<QtSerialPort>());
    PortMap map;
    map.devices[0] = dir.path().toStdString() + "/nothing-here";
    link.set_port_map(map);
    std::uint8_t number = 1;
    std::int32_t speed = 38400;
    EXPECT_EQ(link.init_port(number, speed), "PO");
    ASSERT_TRUE(link.last_port_failure());
    EXPECT_EQ(link.last_port_failure()->device, map.devices[0]);
    EXPECT_EQ(link.last_port_failure()->fault.kind, PortFault::Kind::NoDevice);
    EXPECT_EQ(link.close_port(), "");
    EXPECT_EQ(link.close_port(), "");
    EXPECT_EQ(link.get_frame("V"), "ERja");
}

// The port reports a device held by another program (its lock file, or an
// exclusive open) as a permission error; the link tells it apart.
TEST(PtyPortTest, DeviceHeldElsewhereIsInUse) {
    SimulatedDevice sim;
    ASSERT_TRUE(sim.started);
    ASSERT_EQ(sim.open(), "OK");
    DeviceLink second(std::make_unique<QtSerialPort>());
    second.set_port_map(sim.map);
    std::uint8_t number = 1;
    std::int32_t speed = 38400;
    EXPECT_EQ(second.init_port(number, speed), "PO");
    ASSERT_TRUE(second.last_port_failure());
    EXPECT_EQ(second.last_port_failure()->fault.kind, PortFault::Kind::InUse);
    sim.link.close_port();
}

TEST(PtyPortTest, EverySpeedOfTheListIsAccepted) {
    SimulatedDevice sim;
    ASSERT_TRUE(sim.started);
    for (std::int32_t speed : {9600, 19200, 38400, 57600, 28800}) {
        EXPECT_EQ(sim.open(speed), "OK") << speed;
        EXPECT_EQ(sim.link.get_frame("E"), "OK") << speed;
        EXPECT_EQ(sim.link.close_port(), "");
    }
    EXPECT_EQ(sim.open(0), "PO");
    EXPECT_EQ(sim.link.last_port_failure()->fault.kind, PortFault::Kind::SpeedRefused);
    sim.link.close_port();
    EXPECT_EQ(sim.open(-38400), "PO");
    sim.link.close_port();
}

} // namespace
} // namespace tessal::link
