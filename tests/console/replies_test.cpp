#include "console/replies.h"

#include <gtest/gtest.h>

namespace tessal::console {
namespace {

TEST(ImeiTest, RepliesAndTheBoxTheyFill) {
    const struct {
        const char* reply;
        const char* imei;
    } rows[] = {
        // Fixed examples: plain, echoed, one line break only.
        {"\r\n351234567890123\r\n\r\nOK\r\n", "351234567890123"},
        {"AT+GSN\r\n351234567890123\r\nOK\r\n", "351234567890123"},
        {"\r\n351234567890123", ""},
        {"351234567890123", ""},
        {"", ""},
        // modem manual, +GSN: echo on (V.250 E1, the echo ends in CR)
        {"AT+GSN\r\r\n490154203237518\r\n\r\nOK\r\n", "490154203237518"},
        // modem manual, +GSN: "+GSN: " and the IMEI in quotes
        {"\r\n+GSN: \"490154203237518\"\r\n\r\nOK\r\n", "490154203237518"},
        // modem manual example: an unsolicited "+CREG: 1" before the answer
        {"\r\n+CREG: 1\r\n\r\n490154203237518\r\n\r\nOK\r\n", "490154203237518"},
        // 27.007 / V.250 final results: refusals hold no IMEI
        {"\r\n+CME ERROR: 10\r\n", ""},
        {"\r\nERROR\r\n", ""},
        {"\r\n+CME ERROR: 351234567890123\r\n", ""},
        // no run of exactly 15 digits
        {"\r\n12\r\n", ""},
        {"\r\n4901542032375180\r\n\r\nOK\r\n", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(extract_imei(row.reply), row.imei) << row.reply;
    }
}

TEST(SignalTest, StrengthTable) {
    struct Row {
        const char* reply;
        const char* label;
        int bar;
    };
    const Row rows[] = {
        {"\r\n+CSQ: 0,99\r\n", "Nema signala", 0},
        {"+CSQ: 1,0", "Nema signala", 0},
        {"+CSQ: 2,0", "Nivo: 2", 0},
        {"+CSQ: 3,0", "Nivo: 3", 3},
        {"+CSQ: 5,99", "Nivo: 5", 10},
        {"+CSQ: 10,0", "Nivo: 10", 26},
        {"+CSQ: 17,0", "Nivo: 17", 50},
        {"+CSQ: 20,0", "Nivo: 20", 60},
        {"\r\n+CSQ: 21,99\r\n\r\nOK", "Nivo: 21", 63},
        {"+CSQ: 30,0", "Nivo: 30", 93},
        {"+CSQ: 31,99", "Nivo: 31", 96},
        {"+CSQ: 32,99", "Nema signala", 0},
        {"+CSQ: 99,99", "Nema signala", 0},
        {"+CSQ: 9", "Nivo: 9", 23},
        // echo on, and an unsolicited line before the answer
        {"AT+CSQ\r\r\n+CSQ: 14,99\r\n\r\nOK\r\n", "Nivo: 14", 40},
        {"\r\n+CREG: 1\r\n\r\n+CSQ: 31,99\r\n\r\nOK\r\n", "Nivo: 31", 96},
    };
    for (const Row& row : rows) {
        const SignalReading reading = read_signal(row.reply);
        EXPECT_EQ(reading.label, row.label) << row.reply;
        EXPECT_EQ(reading.bar, row.bar) << row.reply;
    }
}

TEST(SignalTest, UnreadableRepliesShowNoSignal) {
    for (const char* reply : {"", "OK", "+CSQ:", "+CSQ: ", "+CSQ: x1", "+csq: 21,99", "+CSQ:21"}) {
        const SignalReading reading = read_signal(reply);
        EXPECT_EQ(reading.label, "Nema signala") << reply;
        EXPECT_EQ(reading.bar, 0) << reply;
    }
}

} // namespace
} // namespace tessal::console
