#include "dialogs/jad_descriptor.h"

#include <gtest/gtest.h>

#include <random>

namespace tessal::dialogs {
namespace {

std::vector<std::pair<std::string, std::string>> entries(const JadParameterTable& table) {
    std::vector<std::pair<std::string, std::string>> out;
    for (int k = 0; k < table.count; ++k) {
        out.emplace_back(table.names[static_cast<std::size_t>(k)],
                         table.values[static_cast<std::size_t>(k)]);
    }
    return out;
}

std::string lines(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "P" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
    }
    return text;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(JadDescriptorTest, LinesBecomeEntriesInDescriptorOrder) {
    JadParameterTable table;
    ASSERT_TRUE(parse_descriptor("MIDlet-Name: Tessal\r\n"
                                 "FTP_URL: ftp://10.0.0.1:21/izvestaji\r\n"
                                 "TIMEOUT:30\r\n"
                                 "comment line\r\nCASH_TYPE: 7\r\n"
                                 "EMPTY: \r\n"
                                 "PAD:   x  \r\n",
                                 table));
    EXPECT_EQ(entries(table), (Entries{
                                  {"MIDlet-Name:", "Tessal"},
                                  // A value with colons runs to the line break.
                                  {"FTP_URL:", "ftp://10.0.0.1:21/izvestaji"},
                                  // Without a blank after the colon the first character is lost.
                                  {"TIMEOUT:", "0"},
                                  // Colon-free text is folded into the next name.
                                  {"comment line\r\nCASH_TYPE:", "7"},
                                  {"EMPTY:", ""},
                                  // Only the one character after the colon is skipped.
                                  {"PAD:", "  x  "},
                              }));
}

TEST(JadDescriptorTest, TextWithoutColonsGivesAnEmptyTable) {
    JadParameterTable table;
    ASSERT_TRUE(parse_descriptor("P1: a\r\n", table));
    EXPECT_TRUE(parse_descriptor("OK", table));
    EXPECT_EQ(table.count, 0); // a new parse starts from an empty table
    EXPECT_TRUE(parse_descriptor("", table));
    EXPECT_EQ(table.count, 0);
    // Text after the last line break that holds no colon is not an entry.
    EXPECT_TRUE(parse_descriptor("P1: a\r\ntrailing", table));
    EXPECT_EQ(entries(table), (Entries{{"P1:", "a"}}));
}

TEST(JadDescriptorTest, LastLineWithoutLineBreakIsTheLastEntry) {
    JadParameterTable table;
    ASSERT_TRUE(parse_descriptor("P1: a\r\nLAST: b", table));
    EXPECT_EQ(entries(table), (Entries{{"P1:", "a"}, {"LAST:", "b"}}));
    ASSERT_TRUE(parse_descriptor("P1: a\r\nLAST: url:x\r", table));
    EXPECT_EQ(entries(table), (Entries{{"P1:", "a"}, {"LAST:", "url:x\r"}}));
    // A colon at the very end, or one character after it, leaves no value.
    ASSERT_TRUE(parse_descriptor("LAST:", table));
    EXPECT_EQ(entries(table), (Entries{{"LAST:", ""}}));
    ASSERT_TRUE(parse_descriptor("LAST:x", table));
    EXPECT_EQ(entries(table), (Entries{{"LAST:", ""}}));
}

TEST(JadDescriptorTest, HoldsOneHundredAndOneEntriesAndFailsOnTheNext) {
    JadParameterTable table;
    ASSERT_TRUE(parse_descriptor(lines(101), table));
    EXPECT_EQ(table.count, 101);
    EXPECT_EQ(table.names[100], "P100:");
    EXPECT_EQ(table.values[100], "100");

    EXPECT_FALSE(parse_descriptor(lines(102), table));
    EXPECT_EQ(table.count, 101);
    // Also when the 102nd entry is an unterminated last line.
    EXPECT_FALSE(parse_descriptor(lines(101) + "X: y", table));
    EXPECT_EQ(table.count, 101);
}

TEST(JadDescriptorTest, LineBreakRightAfterAColonFailsKeepingEarlierEntries) {
    JadParameterTable table;
    EXPECT_FALSE(parse_descriptor("P1: a\r\nBROKEN:\r\nP3: c\r\n", table));
    EXPECT_EQ(entries(table), (Entries{{"P1:", "a"}}));
}

TEST(JadDescriptorTest, PositionsPastThe16BitRangeFail) {
    JadParameterTable table;
    // The value of a colon at position 32765 starts at 32767: still in range.
    EXPECT_TRUE(parse_descriptor(std::string(32764, 'x') + ":", table));
    EXPECT_EQ(table.count, 1);
    EXPECT_FALSE(parse_descriptor(std::string(32765, 'x') + ":", table));
    EXPECT_EQ(table.count, 0);

    // A line break at position 32765: the next entry would start at 32767.
    const auto line = [](std::size_t value_length) {
        return "A:" + std::string(value_length, 'y') + "\r\n";
    };
    EXPECT_TRUE(parse_descriptor(line(32762), table));
    EXPECT_EQ(table.count, 1);
    // At 32766 the entry is stored, but the next start is out of range.
    EXPECT_FALSE(parse_descriptor(line(32763), table));
    EXPECT_EQ(table.count, 1);
    // At 32768 the line break itself is out of range.
    EXPECT_FALSE(parse_descriptor(line(32765), table));
    EXPECT_EQ(table.count, 0);

    // Long text is fine as long as no colon lies beyond the range.
    EXPECT_TRUE(parse_descriptor(std::string(100000, 'x'), table));
    EXPECT_TRUE(parse_descriptor("A: " + std::string(100000, 'v'), table));
    EXPECT_EQ(table.values[0].size(), 100000U);
}

TEST(JadDescriptorTest, ArbitraryTextKeepsTheTableConsistent) {
    std::mt19937 random(6);
    const std::string alphabet = "ab:: \r\n\r\n";
    JadParameterTable table;
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 600, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        parse_descriptor(text, table);
        ASSERT_GE(table.count, 0);
        ASSERT_LE(table.count, JadParameterTable::kCapacity);
        std::size_t covered = 0;
        for (int k = 0; k < table.count; ++k) {
            const std::string& name = table.names[static_cast<std::size_t>(k)];
            const std::string& value = table.values[static_cast<std::size_t>(k)];
            ASSERT_FALSE(name.empty());
            ASSERT_EQ(name.back(), ':');
            ASSERT_EQ(name.find(':'), name.size() - 1);
            // Name, the skipped character and the value lie in the text, in order.
            ASSERT_EQ(text.compare(covered, name.size(), name), 0) << text;
            covered += name.size() + 1;
            if (!value.empty()) {
                ASSERT_EQ(text.compare(covered, value.size(), value), 0) << text;
            }
            covered += value.size() + 2;
        }
    }
}

} // namespace
} // namespace tessal::dialogs
