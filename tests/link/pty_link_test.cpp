// The link through a real serial port to the simulated device on a pseudo-terminal.
#include "support/simulated_device.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tessal::link {
namespace {

using namespace std::chrono_literals;

TEST(PtyLink, ExchangesInstantRepliesTimeOutAndHangUps) {
    testing::SimulatedDevice sim;
    ASSERT_TRUE(sim.started) << sim.simulator->error();
    sim.simulator->with_device([](auto& d) { d.set_version("GPRS 1.2"); });
    const auto exchange = [&](bool devsim::Faults::*fault, const char* command) {
        devsim::Faults faults;
        if (fault != nullptr) {
            faults.*fault = true;
        }
        sim.simulator->set_faults(faults);
        return sim.link.get_frame(command);
    };
    ASSERT_EQ(sim.open(), "OK");
    EXPECT_EQ(exchange(nullptr, "V"), "GPRS 1.2");
    EXPECT_EQ(exchange(nullptr, "E"), "OK");
    ASSERT_TRUE(sim.simulator->wait_for_requests(2, 2s));
    EXPECT_EQ(sim.simulator->acks_received(), 1); // the console's ACK to the frame
    for (int i = 0; i < 10; ++i) { // the reply is there before the request is written
        ASSERT_EQ(exchange(&devsim::Faults::instant, "V"), "GPRS 1.2") << "exchange " << i;
    }
    sim.link.constants().reply_timeout_ms = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(&devsim::Faults::silent, "T"), "TO");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 295ms); // whole milliseconds
    EXPECT_EQ(exchange(&devsim::Faults::hang_up_mid_reply, "V"), "ERja");
    EXPECT_EQ(sim.link.close_port(), "");
}

} // namespace
} // namespace tessal::link
