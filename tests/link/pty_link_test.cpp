// SPDX-License-Identifier: Apache-2.0
// The link through a real serial port to the simulated device on a pseudo-terminal.
#include "support/simulated_device.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace tessal::link {
namespace {

using namespace std::chrono_literals;

TEST(PtyLink, ExchangesInstantRepliesTimeOutAndHangUps) {
    testing::SimulatedDevice sim;
    ASSERT_TRUE(sim.started) << sim.simulator->error();
    sim.simulator->with_device([](auto& d) { d.set_version("GPRS 1.2"); });
    const auto exchange = [&](bool devsim::Faults::*fault, const char* command) {
        sim.simulator->set_faults(fault ? testing::with(fault) : devsim::Faults{});
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

// A trace file at its cap that can be neither renamed nor emptied takes no
// more lines, instead of growing past the cap.  The file is a pipe here (it
// has no size to cut), and its rotated name a folder that is not empty.
TEST(TraceFile, StopsAtItsCapWhenItCanBeNeitherRenamedNorEmptied) {
    QTemporaryDir dir;
    const std::string pipe = dir.filePath("line").toStdString();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::filesystem::path file = dir.filePath("rvt_trace.txt").toStdString();
    std::filesystem::create_symlink(pipe, file);
    std::filesystem::create_directories(dir.filePath("rvt_trace.1.txt/kept").toStdString());

    TraceFile trace(file, 30);
    trace.append({"0123456789", "0123456789", "0123456789"}); // 12 bytes each with CR LF
    trace.append({"later"});
    char bytes[256];
    EXPECT_EQ(::read(reader, bytes, sizeof bytes), 24); // two lines, nothing after the cap
    ::close(reader);
}

} // namespace
} // namespace tessal::link
