#include "link/frame.h"

#include <gtest/gtest.h>

namespace tessal::link {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

TEST(FrameTest, BuildsTheDocumentedFrames) {
    EXPECT_EQ(checksum("V"), 0xA9);
    EXPECT_EQ(build_frame("V"), bytes({0x02, 0x56, 0x39, 0x3A, 0x03}));
    EXPECT_EQ(build_frame("T"), bytes({0x02, 0x54, 0x3B, 0x3A, 0x03}));
    EXPECT_EQ(build_frame("W"), bytes({0x02, 0x57, 0x38, 0x3A, 0x03}));
    EXPECT_EQ(checksum("AAT+CSQ"), 0x17);
    EXPECT_EQ(build_frame("AAT+CSQ"),
              bytes({0x02, 0x41, 0x41, 0x54, 0x2B, 0x43, 0x53, 0x51, 0x37, 0x31, 0x03}));
}

TEST(FrameTest, EmptyBodyHasChecksumFF) {
    EXPECT_EQ(checksum(""), 0xFF);
    EXPECT_EQ(build_frame(""), bytes({0x02, 0x3F, 0x3F, 0x03}));
}

TEST(FrameTest, ChecksumTreatsBytesAsUnsignedAndWrapsTheSum) {
    // 0xFF + 0x01 wraps to 0; high bytes must not count as negative chars.
    EXPECT_EQ(checksum(bytes({0xFF, 0x01})), 255);
    EXPECT_EQ(checksum(bytes({0x80})), 0x7F);
    EXPECT_EQ(checksum(std::string(1000, '\xFF')), 255 - (1000 * 255) % 256);
    // Nibbles 10..15 are written as ":" to "?", never as hex letters.
    EXPECT_EQ(checksum_low(0xAB), ';');
    EXPECT_EQ(checksum_high(0xAB), ':');
    EXPECT_EQ(checksum_low(0x0F), '?');
    EXPECT_EQ(checksum_high(0xF0), '?');
}

} // namespace
} // namespace tessal::link
