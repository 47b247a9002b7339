// The link through a real serial port: the simulated device on a
// pseudo-terminal.
#include "support/simulated_device.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tessal::link {
namespace {

using tessal::testing::SimulatedDevice;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(PtyLink, ExchangesInstantRepliesTimeOutAndHangUps) {
    SimulatedDevice sim;
    ASSERT_TRUE(sim.started) << sim.simulator->error();
    sim.simulator->with_device([](auto& d) { d.set_version("GPRS 1.2"); });
    ASSERT_EQ(sim.open(), "OK");
    EXPECT_EQ(sim.link.get_frame("V"), "GPRS 1.2");
    EXPECT_EQ(sim.link.get_frame("E"), "OK");
    ASSERT_TRUE(sim.simulator->wait_for_requests(2, 2s));
    EXPECT_EQ(sim.simulator->acks_received(), 1); // the console's ACK to the frame

    devsim::Faults faults;
    faults.instant = true; // the reply is there before the request is written
    sim.simulator->set_faults(faults);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(sim.link.get_frame("V"), "GPRS 1.2") << "exchange " << i;
    }

    faults = {};
    faults.silent = true;
    sim.simulator->set_faults(faults);
    sim.link.constants().reply_timeout_ms = 300;
    auto start = Clock::now();
    EXPECT_EQ(sim.link.get_frame("T"), "TO");
    EXPECT_GE(Clock::now() - start, 295ms); // whole milliseconds: may end a fraction early

    faults = {};
    faults.hang_up_mid_reply = true;
    sim.simulator->set_faults(faults);
    start = Clock::now();
    EXPECT_EQ(sim.link.get_frame("V"), "ERja");
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(sim.link.close_port(), "");
}

TEST(PtyLink, PortFailureCauses) {
    SimulatedDevice sim;
    ASSERT_TRUE(sim.started);
    for (std::int32_t speed : {9600, 19200, 38400, 57600, 28800}) {
        EXPECT_EQ(sim.open(speed), "OK") << speed;
        EXPECT_EQ(sim.link.get_frame("E"), "OK") << speed;
    }
    // Held by this link: another one finds it in use.
    DeviceLink second(std::make_unique<QtSerialPort>());
    second.set_port_map(sim.map);
    std::uint8_t number = 1;
    std::int32_t speed = 38400;
    EXPECT_EQ(second.init_port(number, speed), "PO");
    EXPECT_EQ(second.last_port_failure()->fault.kind, PortFault::Kind::InUse);
    sim.link.close_port();
    EXPECT_EQ(sim.open(0), "PO");
    EXPECT_EQ(sim.link.last_port_failure()->fault.kind, PortFault::Kind::SpeedRefused);
    sim.link.close_port();

    PortMap missing;
    missing.devices[0] = sim.dir.path().toStdString() + "/nothing-here";
    second.set_port_map(missing);
    EXPECT_EQ(second.init_port(number, speed), "PO");
    EXPECT_EQ(second.last_port_failure()->fault.kind, PortFault::Kind::NoDevice);
    EXPECT_EQ(second.close_port(), "");
}

} // namespace
} // namespace tessal::link
