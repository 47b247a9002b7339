#include "console/clock.h"

#include <gtest/gtest.h>

namespace tessal::console {
namespace {

ClockTexts texts(const char* yy, const char* mm, const char* dd, const char* h, const char* m,
                 const char* s) {
    return {yy, mm, dd, h, m, s};
}

TEST(ClockTest, FillTwoDigitsPadsShortTextsOnly) {
    ClockTexts t = texts("", "5", " 5", "123", "x", "07");
    fill_two_digits(t);
    EXPECT_EQ(t, texts("00", "05", " 5", "123", "0x", "07"));
}

TEST(ClockTest, ShiftDateAcrossMonthYearAndLeapDays) {
    auto next = shift_date("2", "28", "08", true);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->month, "2");
    EXPECT_EQ(next->day, "29");
    EXPECT_EQ(next->year, "08");
    next = shift_date("02", "28", "07", true);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->month + "/" + next->day + "/" + next->year, "3/1/07");
    next = shift_date("12", "31", "99", true); // 1999 -> 2000
    ASSERT_TRUE(next);
    EXPECT_EQ(next->month + "/" + next->day + "/" + next->year, "1/1/00");
    auto back = shift_date("01", "01", "07", false);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->month + "/" + back->day + "/" + back->year, "12/31/06");
    back = shift_date("3", "1", "00", false); // 2000 is a leap year
    ASSERT_TRUE(back);
    EXPECT_EQ(back->day, "29");
    EXPECT_FALSE(shift_date("00", "00", "00", false));
    EXPECT_FALSE(shift_date("2", "30", "08", true));
    EXPECT_FALSE(shift_date("13", "1", "08", true));
    EXPECT_FALSE(shift_date("ab", "1", "08", true));
}

// What the device-time boxes show after a clock reply: date row day, month,
// year, then time row hour, minute, second; "kept" when the boxes keep what
// they held.
std::string shown(const std::string& reply, int offset) {
    const std::optional<ClockTexts> device = read_device_clock(reply);
    if (!device) {
        return "kept";
    }
    const ClockTexts t = device_to_local(*device, offset).value_or(ClockTexts{});
    return t[kDay] + " " + t[kMonth] + " " + t[kYear] + " / " + t[kHour] + " " + t[kMinute] + " " +
           t[kSecond];
}

constexpr int S = kSummerOffset;
constexpr int W = kWinterOffset;
constexpr const char* kEmpty = "   /   ";

// Examples every reading must keep: seasons, month and year ends, leap
// years, exact hours rolling over, replies without "CCLK:".
TEST(ClockTest, FixedExamplesStayAsTheyAre) {
    const struct {
        const char* reply;
        int offset;
        const char* boxes;
    } rows[] = {
        {"\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n", S, "15 03 06 / 23 59 59"},
        {"+CCLK: \"06/12/31,23:30:00\"", W, "01 01 07 / 00 30 00"},
        {"+CCLK: \"08/02/28,23:10:00\"", S, "29 02 08 / 01 10 00"},
        {"+CCLK: \"07/02/28,23:10:00\"", S, "01 03 07 / 01 10 00"},
        {"+CCLK: \"06/03/15,22:00:00\"", S, "16 03 06 / 00 00 00"},
        {"+CCLK: \"06/03/15,23:00:00\"", S, "16 03 06 / 01 00 00"},
        {"+CCLK: \"06/12/31,23:00:00\"", W, "01 01 07 / 00 00 00"},
        {"+CCLK: \"06/13/15,10:00:00\"", S, "15 13 06 / 12 00 00"}, // no shift, shown as it came
        {"OK", S, "kept"},
        {"+CCLK \"06/03/15,21:59:59\"", S, "kept"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(shown(row.reply, row.offset), row.boxes) << row.reply;
    }
}

// Replies of real modems and the forms around them.
TEST(ClockTest, RealModemReplies) {
    const struct {
        const char* reply;
        int offset;
        const char* boxes;
    } rows[] = {
        // 27.007 example: GMT+2 h as "+08"
        {"\r\n+CCLK: \"94/05/06,22:10:00+08\"\r\n\r\nOK\r\n", S, "06 05 94 / 22 10 00"},
        // modem manual, +CCLK: blank after the comma, zone west of UTC
        {"\r\n+CCLK: \"01/01/01, 01:01:01-08\"\r\n\r\nOK\r\n", W, "01 01 01 / 04 01 01"},
        // bug report logs: network time with its zone, back across midnight
        {"+CCLK: \"24/11/14,01:06:15+36\"", W, "13 11 24 / 17 06 15"},
        {"+CCLK: \"19/10/23,10:11:41+44\"", S, "23 10 19 / 01 11 41"},
        {"\r\n+CCLK: \"17/10/30,10:25:44+00\"\r\nOK\r\n", W, "30 10 17 / 11 25 44"},
        // echo on (V.250 E1)
        {"AT+CCLK?\r\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n", S, "15 03 06 / 23 59 59"},
        // zone of half an hour: minutes change, back across a leap day
        {"+CCLK: \"08/03/01,00:10:00+22\"", W, "29 02 08 / 19 40 00"},
        // zone west of UTC, on across the year end
        {"+CCLK: \"06/12/31,22:30:00-08\"", W, "01 01 07 / 01 30 00"},
        // 27.007 +CSDF: four-digit year; no quotes
        {"+CCLK: \"2006/03/15,21:59:59\"", S, "15 03 06 / 23 59 59"},
        {"+CCLK: 06/03/15,21:59:59", S, "15 03 06 / 23 59 59"},
        // "CCLK:" with fields that cannot be read empties the boxes
        {"+CCLK: \"06/03/15,2", S, kEmpty},
        {"+CCLK: \"06/03/15,xx:10:00\"", S, kEmpty},
        {"+CCLK: \"06/03/15,24:00:00\"", W, kEmpty},
        {"+CCLK: \"06/13/15,23:00:00\"", S, kEmpty},
        {"+CCLK: \"06/03/15,21:59:59+100\"", S, kEmpty},
        {"CCLK:", S, kEmpty},
        // an error reply holds no "CCLK:"
        {"\r\n+CME ERROR: 3\r\n", S, "kept"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(shown(row.reply, row.offset), row.boxes) << row.reply;
    }
}

TEST(ClockTest, OutgoingTimeLosesTheOffsetAndMovesBackAcrossMidnight) {
    auto out = local_to_device(texts("07", "01", "01", "00", "10", "00"), kWinterOffset);
    ASSERT_TRUE(out);
    EXPECT_EQ(clock_set_command(*out), "AT+CCLK=\"06/12/31,23:10:00\"");
    out = local_to_device(texts("06", "03", "15", "02", "00", "00"), kSummerOffset);
    ASSERT_TRUE(out);
    EXPECT_EQ(clock_set_command(*out), "AT+CCLK=\"06/03/15,00:00:00\"");
    out = local_to_device(texts("06", "03", "15", "13", "45", "00"), kSummerOffset);
    EXPECT_EQ(clock_set_command(*out), "AT+CCLK=\"06/03/15,11:45:00\"");
    // Short and blank-led fields: "5" goes out as "05", " 5" keeps its blank.
    out = local_to_device(texts("6", "3", "15", "13", " 5", "5"), kSummerOffset);
    EXPECT_EQ(clock_set_command(*out), "AT+CCLK=\"06/03/15,11: 5:05\"");
    // Month 13 needs no shift here and is sent unchanged.
    out = local_to_device(texts("06", "13", "15", "13", "00", "00"), kSummerOffset);
    EXPECT_EQ(clock_set_command(*out), "AT+CCLK=\"06/13/15,11:00:00\"");
}

TEST(ClockTest, OutgoingTimeRejectsLettersAndImpossibleShifts) {
    EXPECT_FALSE(local_to_device(ClockTexts{}, kWinterOffset)); // 00/00/00 moved back
    EXPECT_FALSE(local_to_device(texts("06", "ab", "15", "13", "00", "00"), kSummerOffset));
    EXPECT_FALSE(local_to_device(texts("06", "03", "15", "13", "00", "99999"), kSummerOffset));
    EXPECT_FALSE(local_to_device(texts("06", "02", "30", "01", "00", "00"), kSummerOffset));
}

TEST(ClockTest, ParseNumberAcceptsBlanksAndSignsOnly) {
    EXPECT_EQ(parse_number(" 5"), 5);
    EXPECT_EQ(parse_number("-3"), -3);
    EXPECT_EQ(parse_number("07"), 7);
    EXPECT_FALSE(parse_number(""));
    EXPECT_FALSE(parse_number("  "));
    EXPECT_FALSE(parse_number("-"));
    EXPECT_FALSE(parse_number("1a"));
    EXPECT_FALSE(parse_number("99999999999999999999"));
}

} // namespace
} // namespace tessal::console
