#include "dialogs/ftp_replies.h"

#include <gtest/gtest.h>

namespace tessal::dialogs {
namespace {

using Octets = std::array<std::string, 4>;

TEST(FtpRepliesTest, AddressSplitsAtFullStopsIntoFourBoxes) {
    EXPECT_EQ(split_address("192.168.1.10"), (Octets{"192", "168", "1", "10"}));
    // Missing stops leave the middle boxes empty, never the last one.
    EXPECT_EQ(split_address("1.2"), (Octets{"1", "", "", "2"}));
    EXPECT_EQ(split_address("10.0.0"), (Octets{"10", "0", "", "0"}));
    // Stops after the third stay in the last box.
    EXPECT_EQ(split_address("1.2.3.4.5"), (Octets{"1", "2", "3", "4.5"}));
    EXPECT_EQ(split_address("ftp.example"), (Octets{"ftp", "", "", "example"}));
    EXPECT_EQ(split_address("OK"), (Octets{"", "", "", "OK"}));
    EXPECT_EQ(split_address(""), (Octets{"", "", "", ""}));
    EXPECT_EQ(split_address("..."), (Octets{"", "", "", ""}));
    EXPECT_EQ(split_address(".5."), (Octets{"", "5", "", ""}));
}

TEST(FtpRepliesTest, GprsStringMatchesExactlyAmongTheOperatorsInUse) {
    settings::Settings s;
    s.gprs_strings = {"apn0", "apn1", "apn2", "Internet,user", "apn2", "apn5", "late"};
    s.last_used_index = 5;
    EXPECT_EQ(match_gprs(s, "Internet,user"), 3U);
    EXPECT_EQ(match_gprs(s, "internet,user"), std::nullopt);
    EXPECT_EQ(match_gprs(s, "Internet,user "), std::nullopt);
    // The first equal string wins.
    EXPECT_EQ(match_gprs(s, "apn2"), 2U);
    // Slots after the last used index do not count.
    EXPECT_EQ(match_gprs(s, "late"), std::nullopt);
    s.last_used_index = 2;
    EXPECT_EQ(match_gprs(s, "apn5"), std::nullopt);
    // An unset string reads as empty text; an index out of range stays in the table.
    s.gprs_strings = {};
    s.last_used_index = 200;
    EXPECT_EQ(match_gprs(s, ""), 0U);
    EXPECT_EQ(match_gprs(s, "x"), std::nullopt);
}

} // namespace
} // namespace tessal::dialogs
