// SPDX-License-Identifier: Apache-2.0
// The reply readings and the clock logic, below the window.
#include "device/clock.h"
#include "device/replies.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tessal::device {
namespace {

TEST(ImeiTest, RepliesAndTheBoxTheyFill) {
    const std::pair<const char*, const char*> rows[] = {
        // Plain, echoed, one line break only.
        {"\r\n351234567890123\r\n\r\nOK\r\n", "351234567890123"},
        {"AT+GSN\r\n351234567890123\r\nOK\r\n", "351234567890123"},
        {"\r\n351234567890123", ""},
        {"351234567890123", ""},
        {"", ""},
        // Echo on (the echo ends in CR), "+GSN: " and quotes, an unsolicited
        // line before the answer.
        {"AT+GSN\r\r\n490154203237518\r\n\r\nOK\r\n", "490154203237518"},
        {"\r\n+GSN: \"490154203237518\"\r\n\r\nOK\r\n", "490154203237518"},
        {"\r\n+CREG: 1\r\n\r\n490154203237518\r\n\r\nOK\r\n", "490154203237518"},
        // Refusals hold no IMEI, nor does a run of other than 15 digits.
        {"\r\n+CME ERROR: 10\r\n", ""},
        {"\r\nERROR\r\n", ""},
        {"\r\n+CME ERROR: 351234567890123\r\n", ""},
        {"\r\n12\r\n", ""},
        {"\r\n4901542032375180\r\n\r\nOK\r\n", ""},
    };
    for (const auto& [reply, imei] : rows) {
        EXPECT_EQ(extract_imei(reply), imei) << reply;
    }
}

TEST(SignalTest, StrengthTable) {
    const std::tuple<const char*, const char*, int> rows[] = {
        {"+CSQ: 1,0", "Nema signala", 0},
        {"+CSQ: 2,0", "Nivo: 2", 0},
        {"+CSQ: 3,0", "Nivo: 3", 3},
        {"+CSQ: 5,99", "Nivo: 5", 10},
        {"+CSQ: 9", "Nivo: 9", 23},
        {"+CSQ: 10,0", "Nivo: 10", 26},
        {"\r\n+CSQ: 21,99\r\n\r\nOK", "Nivo: 21", 63},
        {"+CSQ: 31,99", "Nivo: 31", 96},
        {"+CSQ: 32,99", "Nema signala", 0},
        {"+CSQ: 99,99", "Nema signala", 0}};
    for (const auto& [reply, label, bar] : rows) {
        EXPECT_EQ(read_signal(reply).label, label) << reply;
        EXPECT_EQ(read_signal(reply).bar, bar) << reply;
    }
    // Echo on, and an unsolicited line before the answer.
    EXPECT_EQ(read_signal("AT+CSQ\r\r\n+CSQ: 14,99\r\n\r\nOK\r\n").bar, 40);
    EXPECT_EQ(read_signal("\r\n+CREG: 1\r\n\r\n+CSQ: 31,99\r\n\r\nOK\r\n").bar, 96);
    for (const char* unreadable :
         {"", "OK", "+CSQ:", "+CSQ: ", "+CSQ: x1", "+csq: 21", "+CSQ:21"}) {
        EXPECT_EQ(read_signal(unreadable).label, "Nema signala") << unreadable;
    }
}

constexpr int S = kSummerOffset;
constexpr int W = kWinterOffset;
constexpr const char* kEmpty = "   /   ";

struct ReadRow {
    const char* reply;
    int offset;
    const char* boxes; // date row, then time row; "kept" when the boxes keep what they held
};

// What the device-time boxes show after each clock reply.
void expect_shown(std::initializer_list<ReadRow> rows) {
    for (const ReadRow& row : rows) {
        std::string shown = "kept";
        if (const std::optional<ClockTexts> device = read_device_clock(row.reply)) {
            const ClockTexts t = device_to_local(*device, row.offset).value_or(ClockTexts{});
            shown = t[kDay] + " " + t[kMonth] + " " + t[kYear] + " / " + t[kHour] + " " +
                    t[kMinute] + " " + t[kSecond];
        }
        EXPECT_EQ(shown, row.boxes) << row.reply;
    }
}

// Examples every reading must keep: seasons, month, year and century ends,
// leap years, exact hours rolling over, replies without "CCLK:"; and the
// replies of real modems.
TEST(ClockTest, FixedExamplesAndRealModemRepliesStayAsTheyAre) {
    expect_shown({
        {"\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n", S, "15 03 06 / 23 59 59"},
        {"+CCLK: \"06/12/31,23:30:00\"", W, "01 01 07 / 00 30 00"},
        {"+CCLK: \"08/02/28,23:10:00\"", S, "29 02 08 / 01 10 00"},
        {"+CCLK: \"07/02/28,23:10:00\"", S, "01 03 07 / 01 10 00"},
        {"+CCLK: \"99/12/31,23:10:00\"", W, "01 01 00 / 00 10 00"},
        {"+CCLK: \"06/03/15,22:00:00\"", S, "16 03 06 / 00 00 00"},
        {"+CCLK: \"06/03/15,23:00:00\"", S, "16 03 06 / 01 00 00"},
        {"+CCLK: \"06/12/31,23:00:00\"", W, "01 01 07 / 00 00 00"},
        {"+CCLK: \"06/13/15,10:00:00\"", S, "15 13 06 / 12 00 00"}, // no shift, shown as it came
        {"+CCLK \"06/03/15,21:59:59\"", S, "kept"},
        // Replies of real modems and the forms around them.
        // GMT+2 h as "+08"; a blank after the comma and a zone west of UTC
        {"\r\n+CCLK: \"94/05/06,22:10:00+08\"\r\n\r\nOK\r\n", S, "06 05 94 / 22 10 00"},
        {"\r\n+CCLK: \"01/01/01, 01:01:01-08\"\r\n\r\nOK\r\n", W, "01 01 01 / 04 01 01"},
        // network time with its zone, back across midnight; echo on
        {"+CCLK: \"24/11/14,01:06:15+36\"", W, "13 11 24 / 17 06 15"},
        {"+CCLK: \"19/10/23,10:11:41+44\"", S, "23 10 19 / 01 11 41"},
        {"\r\n+CCLK: \"17/10/30,10:25:44+00\"\r\nOK\r\n", W, "30 10 17 / 11 25 44"},
        {"AT+CCLK?\r\r\n+CCLK: \"06/03/15,21:59:59\"\r\n\r\nOK\r\n", S, "15 03 06 / 23 59 59"},
        {"+CCLK: \"08/03/01,00:10:00+22\"", W, "29 02 08 / 19 40 00"}, // half hour, leap day
        {"+CCLK: \"06/12/31,22:30:00-08\"", W, "01 01 07 / 01 30 00"}, // west, year end
        // four-digit year; no quotes
        {"+CCLK: \"2006/03/15,21:59:59\"", S, "15 03 06 / 23 59 59"},
        {"+CCLK: 06/03/15,21:59:59", S, "15 03 06 / 23 59 59"},
        // "CCLK:" with fields that cannot be read empties the boxes
        {"+CCLK: \"06/03/15,2", S, kEmpty},
        {"+CCLK: \"06/03/15,xx:10:00\"", S, kEmpty},
        {"+CCLK: \"06/03/15,21:59:\"", S, kEmpty},
        {"+CCLK: \"06/03/15,21:59:590\"", S, kEmpty},
        {"+CCLK: \"06/03/15,21:59:5\"", S, "15 03 06 / 23 59 05"},
        {"+CCLK: \"06/03/15,24:00:00\"", W, kEmpty},
        {"+CCLK: \"06/13/15,23:00:00\"", S, kEmpty},
        {"+CCLK: \"08/02/30,23:10:00\"", S, kEmpty},
        {"+CCLK: \"06/03/15,21:59:59+100\"", S, kEmpty},
        {"CCLK:", S, kEmpty},
        {"\r\n+CME ERROR: 3\r\n", S, "kept"}, // an error reply holds no "CCLK:"
    });
}

TEST(ClockTest, SendLosesTheOffsetOrRefusesTheTypedTime) {
    // Typed year, month, day, hour, minute, second; the command sent, or
    // nothing when the time is refused.
    const std::tuple<ClockTexts, int, const char*> rows[] = {
        {{"07", "01", "01", "00", "10", "00"}, W, "AT+CCLK=\"06/12/31,23:10:00\""},
        {{"06", "03", "15", "02", "00", "00"}, S, "AT+CCLK=\"06/03/15,00:00:00\""},
        {{"06", "03", "15", "13", "45", "00"}, S, "AT+CCLK=\"06/03/15,11:45:00\""},
        {{"00", "03", "01", "00", "10", "00"}, W, "AT+CCLK=\"00/02/29,23:10:00\""},
        // Short and blank-led fields: "5" goes out as "05", " 5" keeps its blank.
        {{"6", "3", "15", "13", " 5", "5"}, S, "AT+CCLK=\"06/03/15,11: 5:05\""},
        // Month 13 needs no shift here and is sent unchanged.
        {{"06", "13", "15", "13", "00", "00"}, S, "AT+CCLK=\"06/13/15,11:00:00\""},
        {{}, W, ""}, // 00/00/00 cannot go back a day
        {{"06", "ab", "15", "13", "00", "00"}, S, ""},
        {{"06", "03", "15", "13", "00", "99999"}, S, ""},
        {{"06", "03", "15", "13", "  ", "00"}, S, ""},
        {{"06", "03", "15", "13", "-", "00"}, S, ""},
        {{"06", "02", "30", "01", "00", "00"}, S, ""},
    };
    for (const auto& [typed, offset, command] : rows) {
        const std::optional<ClockTexts> out = local_to_device(typed, offset);
        EXPECT_EQ(out ? clock_set_command(*out) : "", command) << command;
    }
}

} // namespace
} // namespace tessal::device
