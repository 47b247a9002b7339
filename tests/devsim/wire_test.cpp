#include "devsim/wire.h"

#include "link/frame.h"

#include <gtest/gtest.h>

namespace tessal::devsim {
namespace {

using Kind = RequestReader::Event::Kind;

std::vector<RequestReader::Event> feed_all(RequestReader& reader, std::string_view bytes) {
    std::vector<RequestReader::Event> events;
    for (char byte : bytes) {
        if (auto event = reader.feed(byte)) {
            events.push_back(*event);
        }
    }
    return events;
}

std::string joined(const ReplyPlan& plan) {
    std::string bytes;
    for (const LineWrite& write : plan.writes) {
        bytes += write.bytes;
    }
    return bytes;
}

TEST(RequestReader, ReassemblesRequestsFromTheStream) {
    RequestReader reader;
    const std::string frame = link::build_frame("AAT+CSQ");
    auto events = feed_all(reader, frame.substr(0, 4));
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].kind, Kind::RequestStarted);
    EXPECT_TRUE(reader.in_request());

    events = feed_all(reader, frame.substr(4) + link::build_frame(""));
    ASSERT_EQ(events.size(), 3U);
    EXPECT_EQ(events[0].kind, Kind::Request);
    EXPECT_EQ(events[0].command, "AAT+CSQ");
    EXPECT_EQ(events[0].wire_bytes, frame.size());
    EXPECT_EQ(events[2].kind, Kind::Request);
    EXPECT_EQ(events[2].command, "");
    EXPECT_FALSE(reader.in_request());
}

TEST(RequestReader, BadChecksumsAndShortFramesAreBadRequests) {
    RequestReader reader;
    std::string frame = link::build_frame("V");
    frame[2] = '0';
    auto events = feed_all(reader, frame + "\x02\x03" + "\x02x\x03");
    ASSERT_EQ(events.size(), 6U);
    for (int i : {1, 3, 5}) {
        EXPECT_EQ(events[i].kind, Kind::BadRequest) << i;
    }
    EXPECT_EQ(events[1].wire_bytes, 5U);
    EXPECT_EQ(events[3].wire_bytes, 2U);
}

TEST(RequestReader, AcknowledgementsCountOnlyOutsideRequests) {
    RequestReader reader;
    auto events = feed_all(reader, "\x06junk\x15");
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].kind, Kind::Ack);
    EXPECT_EQ(events[1].kind, Kind::Nak);
}

TEST(RequestReader, FrameStartInsideARequestStartsItAgain) {
    RequestReader reader;
    auto events = feed_all(reader, "\x02"
                                   "abc" +
                                       link::build_frame("T"));
    ASSERT_EQ(events.size(), 3U);
    EXPECT_EQ(events[2].kind, Kind::Request);
    EXPECT_EQ(events[2].command, "T");
}

TEST(ReplyPlan, CorruptChecksumStillLooksLikeOne) {
    Faults faults;
    faults.corrupt_checksum = true;
    for (const char* payload : {"", "V", "\xff\xff", "abc"}) {
        const std::string good = link::build_frame(payload);
        const std::string bad = joined(plan_reply(Reply::frame(payload), faults));
        ASSERT_EQ(bad.size(), good.size());
        EXPECT_NE(bad, good);
        EXPECT_EQ(bad.substr(0, bad.size() - 3), good.substr(0, good.size() - 3));
        EXPECT_EQ(bad.substr(bad.size() - 2), good.substr(good.size() - 2));
        EXPECT_GE(bad[bad.size() - 3], '0');
        EXPECT_LE(bad[bad.size() - 3], '?');
    }
}

TEST(ReplyPlan, TrailingByteGoesWithTheClosingByte) {
    Faults faults;
    faults.trailing_byte = true;
    faults.chunk_size = 4;
    const ReplyPlan plan = plan_reply(Reply::frame("ab"), faults); // 6 bytes + '\n'
    EXPECT_EQ(joined(plan), link::build_frame("ab") + "\n");
    EXPECT_EQ(plan.writes.back().bytes.substr(plan.writes.back().bytes.size() - 2), "\x03\n");
    faults.chunk_size = 6;
    EXPECT_EQ(plan_reply(Reply::frame("ab"), faults).writes.size(), 1U);
}

TEST(ReplyPlan, LoneAckIsSeenApartFromTheFrame) {
    Faults faults;
    faults.ack_before_frame = true;
    const ReplyPlan plan = plan_reply(Reply::frame("V1"), faults);
    ASSERT_EQ(plan.writes.size(), 2U);
    EXPECT_EQ(plan.writes[0].bytes, "\x06");
    EXPECT_EQ(plan.writes[1].pause_before_ms, kAckLeadMs);
    faults.chunk_pause_ms = 7;
    EXPECT_EQ(plan_reply(Reply::frame("V1"), faults).writes[1].pause_before_ms, 7);
    // An acknowledgement reply has no frame to put it before.
    EXPECT_EQ(joined(plan_reply(Reply::ack(), faults)), "\x06");
}

} // namespace
} // namespace tessal::devsim
