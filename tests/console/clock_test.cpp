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

TEST(ClockTest, ReadingTakesFieldsAtFixedDistancesWithoutReadingPastTheEnd) {
    auto t = read_device_clock("\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n");
    ASSERT_TRUE(t);
    EXPECT_EQ(*t, texts("06", "03", "15", "21", "59", "59"));
    // A cut reply: missing characters become "0" padding.
    t = read_device_clock("CCLK: \"06/03/15,2");
    ASSERT_TRUE(t);
    EXPECT_EQ(*t, texts("06", "03", "15", "02", "00", "00"));
    EXPECT_FALSE(read_device_clock("+CCLK \"06/03/15\""));
    EXPECT_TRUE(read_device_clock("CCLK:"));
}

TEST(ClockTest, DeviceTimeGetsTheSeasonOffsetAndRollsOverMidnight) {
    EXPECT_EQ(*device_to_local(texts("06", "03", "15", "21", "59", "59"), kSummerOffset),
              texts("06", "03", "15", "23", "59", "59"));
    EXPECT_EQ(*device_to_local(texts("06", "12", "31", "23", "30", "00"), kWinterOffset),
              texts("07", "01", "01", "00", "30", "00"));
    EXPECT_EQ(*device_to_local(texts("08", "02", "28", "23", "10", "00"), kSummerOffset),
              texts("08", "02", "29", "01", "10", "00"));
    EXPECT_EQ(*device_to_local(texts("07", "02", "28", "23", "10", "00"), kSummerOffset),
              texts("07", "03", "01", "01", "10", "00"));
}

TEST(ClockTest, ExactMidnightRollsOverToo) {
    // 22:00:00 and 23:00:00 in summer time are 24:00:00 and 25:00:00 local:
    // the next day at 00 and 01, never an hour of 24 or 25.
    EXPECT_EQ(*device_to_local(texts("06", "03", "15", "22", "00", "00"), kSummerOffset),
              texts("06", "03", "16", "00", "00", "00"));
    EXPECT_EQ(*device_to_local(texts("06", "03", "15", "23", "00", "00"), kSummerOffset),
              texts("06", "03", "16", "01", "00", "00"));
    EXPECT_EQ(*device_to_local(texts("06", "12", "31", "23", "00", "00"), kWinterOffset),
              texts("07", "01", "01", "00", "00", "00"));
}

TEST(ClockTest, UnusableDeviceTimeIsRejected) {
    EXPECT_FALSE(device_to_local(texts("06", "03", "15", "ab", "00", "00"), kSummerOffset));
    // Hours the modem's clock never shows would give a local hour past 23.
    EXPECT_FALSE(device_to_local(texts("06", "03", "15", "66", "00", "00"), kSummerOffset));
    EXPECT_FALSE(device_to_local(texts("06", "03", "15", "-5", "00", "00"), kSummerOffset));
    EXPECT_FALSE(device_to_local(texts("06", "03", "15", "24", "00", "00"), kWinterOffset));
    // The date cannot be moved on.
    EXPECT_FALSE(device_to_local(texts("06", "13", "15", "23", "00", "00"), kSummerOffset));
    // No shift needed: an odd date is shown as it came.
    EXPECT_TRUE(device_to_local(texts("06", "13", "15", "10", "00", "00"), kSummerOffset));
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
