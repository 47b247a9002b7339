#include "dialogs/jad_descriptor.h"

#include <gtest/gtest.h>

#include <random>

namespace tessal::dialogs {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries parsed(const std::string& text, bool expect_success = true) {
    JadParameterTable table;
    EXPECT_EQ(parse_descriptor(text, table), expect_success) << text.substr(0, 80);
    Entries out;
    for (std::size_t k = 0; k < static_cast<std::size_t>(table.count); ++k) {
        out.emplace_back(table.names[k], table.values[k]);
    }
    return out;
}

std::string lines(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "P" + std::to_string(i) + ": v\r\n";
    }
    return text;
}

TEST(JadDescriptorTest, LinesBecomeEntriesInDescriptorOrder) {
    EXPECT_EQ(parsed("MIDlet-Name: Tessal\r\n"
                     "FTP_URL: ftp://10.0.0.1:21/izvestaji\r\n"
                     "TIMEOUT:30\r\n"
                     "comment line\r\nCASH_TYPE: 7\r\n"
                     "PAD:   x  \r\n"
                     "LAST: b"),
              (Entries{
                  {"MIDlet-Name:", "Tessal"},
                  // A value with colons runs to the line break.
                  {"FTP_URL:", "ftp://10.0.0.1:21/izvestaji"},
                  // Without a blank after the colon the first character is lost.
                  {"TIMEOUT:", "0"},
                  // Colon-free text is folded into the next name.
                  {"comment line\r\nCASH_TYPE:", "7"},
                  // Only the one character after the colon is skipped.
                  {"PAD:", "  x  "},
                  // A last line without a line break is kept.
                  {"LAST:", "b"},
              }));
    EXPECT_EQ(parsed("OK"), Entries{});
    EXPECT_EQ(parsed("A: 1\r\ntrailing"), (Entries{{"A:", "1"}}));
    EXPECT_EQ(parsed("LAST:"), (Entries{{"LAST:", ""}}));
}

TEST(JadDescriptorTest, FailuresKeepTheEntriesStoredBefore) {
    EXPECT_EQ(parsed(lines(101)).size(), 101U);
    EXPECT_EQ(parsed(lines(102), false).size(), 101U);
    EXPECT_EQ(parsed(lines(101) + "X: y", false).size(), 101U);
    // A line break right after a colon.
    EXPECT_EQ(parsed("P1: a\r\nBROKEN:\r\nP3: c\r\n", false), (Entries{{"P1:", "a"}}));
}

TEST(JadDescriptorTest, PositionsPastThe16BitRangeFail) {
    // The value of a colon at position 32765 starts at 32767: still in range.
    EXPECT_EQ(parsed(std::string(32764, 'x') + ":").size(), 1U);
    EXPECT_EQ(parsed(std::string(32765, 'x') + ":", false).size(), 0U);

    const auto line = [](std::size_t value_length) {
        return "A:" + std::string(value_length, 'y') + "\r\n";
    };
    // Line break at 32765: the next entry would start at 32767.
    EXPECT_EQ(parsed(line(32762)).size(), 1U);
    // At 32766 the entry is stored, but the next start is out of range.
    EXPECT_EQ(parsed(line(32763), false).size(), 1U);
    // At 32768 the line break itself is out of range.
    EXPECT_EQ(parsed(line(32765), false).size(), 0U);

    // Long text is fine as long as no colon lies beyond the range.
    EXPECT_EQ(parsed(std::string(100000, 'x')).size(), 0U);
    EXPECT_EQ(parsed("A: " + std::string(100000, 'v'))[0].second.size(), 100000U);
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
        // Names end at their only colon; name, the skipped character and the
        // value lie in the text in order.
        std::size_t at = 0;
        for (std::size_t k = 0; k < static_cast<std::size_t>(table.count); ++k) {
            const std::string& name = table.names[k];
            const std::string& value = table.values[k];
            ASSERT_EQ(name.find(':'), name.size() - 1) << text;
            ASSERT_EQ(text.compare(at, name.size(), name), 0) << text;
            at += name.size() + 1;
            ASSERT_TRUE(value.empty() || text.compare(at, value.size(), value) == 0) << text;
            at += value.size() + 2;
        }
    }
}

} // namespace
} // namespace tessal::dialogs
