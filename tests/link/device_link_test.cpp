#include "link/device_link.h"
#include "link/frame.h"
#include "link/qt_serial_port.h"
#include "support/scripted_port.h"

#include <gtest/gtest.h>

#include <memory>

namespace tessal::link {
namespace {

using tessal::testing::ScriptedPort;

const std::string kAckByte(1, '\x06');
const std::string kNakByte(1, '\x15');

class DeviceLinkTest : public ::testing::Test {
  protected:
    DeviceLinkTest() {
        auto port = std::make_unique<ScriptedPort>(&now_);
        port_ = port.get();
        link_ = std::make_unique<DeviceLink>(std::move(port), [this] { return now_; });
    }

    // Opens the fake port the way every transaction does.
    void open() {
        std::uint8_t number = 1;
        std::int32_t speed = 38400;
        ASSERT_EQ(link_->init_port(number, speed), "OK");
    }

    std::int64_t now_ = 1'000'000;
    ScriptedPort* port_ = nullptr;
    std::unique_ptr<DeviceLink> link_;
};

TEST_F(DeviceLinkTest, EmptyPayloadFrameIsDataNotFailure) {
    open();
    port_->arrive(std::string("\x02??\x03"));
    EXPECT_EQ(link_->get_frame(""), "");
    ASSERT_EQ(port_->writes.size(), 2U);
    EXPECT_EQ(port_->writes[0], std::string("\x02??\x03"));
    EXPECT_EQ(port_->writes[1], kAckByte);
}

TEST_F(DeviceLinkTest, EarlyChunkHoldingAckEndsTheWaitAtOnce) {
    open();
    const std::string frame = build_frame("data");
    port_->arrive(kAckByte + frame.substr(0, 3));
    port_->arrive(frame.substr(3));
    EXPECT_EQ(link_->get_frame("V"), "OK");
    // The rest of the frame was never read and nothing was acknowledged.
    EXPECT_EQ(port_->script.size(), 1U);
    EXPECT_EQ(port_->writes.size(), 1U);
}

TEST_F(DeviceLinkTest, StrayBytesBeforeTheFrameBecomePayloadAndFailTheCheck) {
    open();
    port_->arrive("xy" + build_frame("data"));
    EXPECT_EQ(link_->get_frame("V"), "CS");
    EXPECT_EQ(port_->writes.back(), kNakByte);
}

TEST_F(DeviceLinkTest, ByteAfterTheFrameEndLeavesTheFrameIncomplete) {
    open();
    link_->constants().reply_timeout_ms = 1000;
    port_->arrive(build_frame("data") + "\n");
    EXPECT_EQ(link_->get_frame("V"), "TO");
    EXPECT_EQ(port_->writes.size(), 1U);
}

TEST_F(DeviceLinkTest, SilentDeviceTimesOutAfterTheReplyTimeout) {
    open();
    const std::int64_t start = now_;
    EXPECT_EQ(link_->get_frame("V"), "TO");
    EXPECT_EQ(now_ - start, 5000);

    link_->constants().reply_timeout_ms = 1000;
    const std::int64_t second = now_;
    EXPECT_EQ(link_->get_frame("T"), "TO");
    EXPECT_EQ(now_ - second, 1000);
}

TEST_F(DeviceLinkTest, TimeoutIsReadAfreshOnEveryPass) {
    open();
    const std::int64_t start = now_;
    port_->arrive("");
    port_->on_wait = [&] { link_->constants().reply_timeout_ms = 0; };
    EXPECT_EQ(link_->get_frame("V"), "TO");
    EXPECT_EQ(now_, start);
}

TEST_F(DeviceLinkTest, ReplyArrivingWhileTheRequestIsWrittenIsKept) {
    // A device that answers at once: its reply is already queued when the
    // write returns.  Dropping input after the write would lose it.
    open();
    port_->input_queue = "stale";
    port_->on_write = [this](const std::string& bytes) {
        if (bytes == build_frame("V")) {
            port_->input_queue += build_frame("quick");
        }
    };
    EXPECT_EQ(link_->get_frame("V"), "quick");
    EXPECT_EQ(port_->discards, 1);
}

TEST_F(DeviceLinkTest, PortFailuresGiveErja) {
    // Not open at all.
    EXPECT_EQ(link_->get_frame("V"), "ERja");
    EXPECT_TRUE(port_->writes.empty());

    open();
    port_->writes_left = 0;
    EXPECT_EQ(link_->get_frame("V"), "ERja");

    port_->writes_left = -1;
    port_->arrive(std::string("\x02"));
    port_->fail_next_read();
    EXPECT_EQ(link_->get_frame("V"), "ERja");

    // The acknowledgement cannot be written.
    port_->writes_left = 1;
    port_->arrive(build_frame("data"));
    EXPECT_EQ(link_->get_frame("V"), "ERja");
}

TEST_F(DeviceLinkTest, NestedExchangeAndPortCallsDuringAWaitDoNotTouchThePort) {
    open();
    std::string nested;
    std::string nested_init;
    std::string nested_close;
    std::size_t writes_at_nesting = 0;
    port_->on_wait = [&] {
        {
            writes_at_nesting = port_->writes.size();
            nested = link_->get_frame("X");
            std::uint8_t number = 1;
            std::int32_t speed = 9600;
            nested_init = link_->init_port(number, speed);
            nested_close = link_->close_port();
            EXPECT_TRUE(link_->exchange_running());
        }
    };
    port_->arrive(kAckByte);
    EXPECT_EQ(link_->get_frame("E"), "OK");
    EXPECT_EQ(nested, "ERja");
    EXPECT_EQ(nested_init, "PO");
    EXPECT_EQ(nested_close, "PO");
    EXPECT_EQ(port_->writes.size(), writes_at_nesting);
    EXPECT_EQ(port_->close_calls, 0);
    EXPECT_TRUE(link_->is_open());
    EXPECT_FALSE(link_->exchange_running());
}

TEST_F(DeviceLinkTest, CancelledWaitEndsAtOnceWithErja) {
    open();
    const std::int64_t start = now_;
    port_->arrive("");
    port_->on_wait = [&] { link_->cancel_wait(); };
    EXPECT_EQ(link_->get_frame("V"), "ERja");
    EXPECT_EQ(port_->wakes, 1);
    EXPECT_EQ(now_, start);
    // A later exchange is not affected by the old request.
    port_->arrive(kAckByte);
    EXPECT_EQ(link_->get_frame("E"), "OK");
}

TEST_F(DeviceLinkTest, InitPortSelectsOpensAndConfigures) {
    PortMap map;
    map.devices[2] = "/tmp/dev-three";
    link_->set_port_map(map);
    std::uint8_t number = 3;
    std::int32_t speed = 28800;
    EXPECT_EQ(link_->init_port(number, speed), "OK");
    EXPECT_EQ(port_->selected.back(), "/tmp/dev-three");
    ASSERT_EQ(port_->applied.size(), 1U);
    EXPECT_EQ(port_->applied[0], "28800,N,8,1");
    EXPECT_EQ(port_->applied[0].size(), 11U);

    // Already open: stays open, settings applied again.
    EXPECT_EQ(link_->init_port(number, speed), "OK");
    EXPECT_EQ(port_->open_calls, 1);
    EXPECT_EQ(port_->applied.size(), 2U);
}

TEST_F(DeviceLinkTest, InitPortFailuresGivePo) {
    std::int32_t speed = 38400;
    for (std::uint8_t bad : {std::uint8_t{0}, std::uint8_t{9}, std::uint8_t{255}}) {
        std::uint8_t number = bad;
        EXPECT_EQ(link_->init_port(number, speed), "PO");
    }
    EXPECT_TRUE(port_->selected.empty());

    std::uint8_t number = 1;
    port_->fail_open = true;
    EXPECT_EQ(link_->init_port(number, speed), "PO");
    port_->fail_open = false;

    // Configuring fails after the open: the port stays open for close_port.
    port_->fail_settings = true;
    EXPECT_EQ(link_->init_port(number, speed), "PO");
    EXPECT_TRUE(link_->is_open());
    EXPECT_EQ(link_->close_port(), "");
    EXPECT_FALSE(link_->is_open());
}

TEST_F(DeviceLinkTest, ClosePortOnAClosedPortIsHarmless) {
    EXPECT_EQ(link_->close_port(), "");
    EXPECT_EQ(port_->close_calls, 0);
    open();
    port_->fail_close = true;
    EXPECT_EQ(link_->close_port(), "PO");
}

TEST(PortMapTest, DefaultsAndMappedDevices) {
    PortMap map;
    EXPECT_EQ(port_device(0, map), "");
    EXPECT_EQ(port_device(9, map), "");
#ifdef _WIN32
    EXPECT_EQ(port_device(1, map), "COM1");
#else
    EXPECT_EQ(port_device(1, map), "/dev/ttyS0");
    EXPECT_EQ(port_device(8, map), "/dev/ttyS7");
#endif
    map.devices[0] = "/dev/ttyUSB0";
    EXPECT_EQ(port_device(1, map), "/dev/ttyUSB0");
}

TEST(LineSettingsTest, ParsesTheConsoleSettingsTextAndRejectsGarbage) {
    LineSettings line;
    ASSERT_TRUE(parse_line_settings("28800,N,8,1", line));
    EXPECT_EQ(line.speed, 28800);
    EXPECT_EQ(line.parity, QSerialPort::NoParity);
    EXPECT_EQ(line.data_bits, QSerialPort::Data8);
    EXPECT_EQ(line.stop_bits, QSerialPort::OneStop);
    for (const char* bad : {"", "0,N,8,1", "-9600,N,8,1", "9600,N,8", "9600,X,8,1", "9600,N,9,1",
                            "9600,N,8,3", "96 00,N,8,1", "99999999999,N,8,1", "9600,N,8,1,"}) {
        EXPECT_FALSE(parse_line_settings(bad, line)) << bad;
    }
}

} // namespace
} // namespace tessal::link
