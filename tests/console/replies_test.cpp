#include "console/replies.h"

#include <gtest/gtest.h>

namespace tessal::console {
namespace {

TEST(ImeiTest, FifteenCharactersAfterTheFirstLineBreak) {
    EXPECT_EQ(extract_imei("\r\n351234567890123\r\n\r\nOK\r\n"), "351234567890123");
    EXPECT_EQ(extract_imei("AT+GSN\r\n351234567890123\r\nOK\r\n"), "351234567890123");
    EXPECT_EQ(extract_imei("\r\n351234567890123"), "");
    EXPECT_EQ(extract_imei("351234567890123"), "");
    EXPECT_EQ(extract_imei("\r\n12\r\n"), "12\r\n");
    EXPECT_EQ(extract_imei("\r\n\r\n"), "\r\n");
    EXPECT_EQ(extract_imei(""), "");
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
