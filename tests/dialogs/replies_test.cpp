// The dialogs' readings of device and modem replies, without widgets.
#include "dialogs/ftp_replies.h"
#include "dialogs/jad_descriptor.h"
#include "dialogs/sim_replies.h"

#include <gtest/gtest.h>

namespace tessal::dialogs {
namespace {

using Octets = std::array<std::string, 4>;
using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(RepliesTest, FtpAddressSplitsAtFullStops) {
    const std::pair<const char*, Octets> rows[] = {
        {"192.168.1.10", {"192", "168", "1", "10"}},
        {"1.2", {"1", "", "", "2"}},
        {"10.0.0", {"10", "0", "", "0"}},
        {"1.2.3.4.5", {"1", "2", "3", "4.5"}},
        {"OK", {"", "", "", "OK"}},
        {".5.", {"", "5", "", ""}},
    };
    for (const auto& [value, boxes] : rows) {
        EXPECT_EQ(split_address(value), boxes) << value;
    }
}

TEST(RepliesTest, GprsStringMatchesExactlyAmongTheOperatorsInUse) {
    settings::Settings s;
    s.gprs_strings = {"apn0", "apn1", "apn2", "Internet,user", "apn2", "apn5", "late"};
    s.last_used_index = 5;
    EXPECT_EQ(match_gprs(s, "Internet,user"), 3U);
    EXPECT_EQ(match_gprs(s, "internet,user"), std::nullopt);
    EXPECT_EQ(match_gprs(s, "apn2"), 2U); // the first equal string wins
    EXPECT_EQ(match_gprs(s, "apn5"), 5U);
    EXPECT_EQ(match_gprs(s, "late"), std::nullopt);
    s.last_used_index = 2;
    EXPECT_EQ(match_gprs(s, "apn5"), std::nullopt);
    // An unset string reads as empty text; a bad index stays in the table.
    s.gprs_strings = {};
    s.last_used_index = 200;
    EXPECT_EQ(match_gprs(s, ""), 0U);
}

TEST(RepliesTest, SimIdentificationBox) {
    const std::pair<const char*, const char*> rows[] = {
        {"^SCID: 89381030000012345678\r\n\r\nOK\r\n", "89381030000012345678"},
        {"89381030000012345678\r\n", "???"},
        {"OK", "???"},
        {"^SCID: 8938", "??"},
        {"\r\n^SCID: 8938", "??"},
        {"x: 8938", "??"},
        {"   ", ""},
        {"x:\r\n", ""},
        {"x: 42F\r\n", "42"},
        {"AT^SCID\r\r\n^SCID: 89381030000123456784\r\n\r\nOK\r\n", "89381030000123456784"},
        {"^SCID:89381\r\n", "89381"},
        {"\r\n+CREG: 1\r\n\r\n^SCID: 89381030000123456784\r\n\r\nOK\r\n", "89381030000123456784"},
        {"\r\n^SCID: 8944476500008878576F\r\n\r\nOK\r\n", "8944476500008878576"},
        {"\r\n+CCID: 8944476500008878576f\r\n\r\nOK\r\n", "8944476500008878576"},
        {"AT^SCID\r\r\n+CME error: SIM not inserted\r\n", "+CME error: SIM not inserted"},
        {"\r\nERROR", "ERROR"},
    };
    for (const auto& [reply, shown] : rows) {
        EXPECT_EQ(sim_identification(reply), shown) << reply;
    }
}

TEST(RepliesTest, PinStates) {
    const std::pair<const char*, PinState> rows[] = {
        {"\r\n+CPIN: READY\r\n\r\nOK\r\n", PinState::ready},
        {"\r\n+cpin: ready\r\n", PinState::ready},
        {"+CPIN:READY", PinState::ready},
        {"\r\nERROR\r\n", PinState::no_sim},
        {"+CME error: 10", PinState::no_sim},
        {"+CPIN: READY ERROR", PinState::no_sim},
        {"AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", PinState::pin_wanted},
        {"\r\n+CPIN: \"SIM PIN\"\r\n\r\nOK\r\n", PinState::pin_wanted},
        {"+CPIN: SIM PUK", PinState::unexpected},
        {"+CPIN:SIM PIN", PinState::unexpected},
    };
    for (const auto& [reply, state] : rows) {
        EXPECT_EQ(pin_state(reply), state) << reply;
    }
}

TEST(RepliesTest, AttemptsMessage) {
    const std::pair<const char*, const char*> rows[] = {
        // The blank after the colon stays: two blanks after "jos".
        {"^SPIC: 2\r\n\r\nOK\r\n", "Pogresan PIN kod, imate jos  2 pokusaj(a)!"},
        {"^SPIC:3", "Pogresan PIN kod, imate jos 3 pokusaj(a)!"},
        {"10 left", "Pogresan PIN kod, imate jos 10 pokusaj(a)!"},
        {"", "Pogresan PIN kod, imate jos  pokusaj(a)!"},
        {"\r\n+CREG: 0\r\n\r\n^SPIC: 10\r\n\r\nOK\r\n",
         "Pogresan PIN kod, imate jos  10 pokusaj(a)!"},
    };
    for (const auto& [reply, message] : rows) {
        EXPECT_EQ(attempts_message(reply), message) << reply;
    }
}

// The entries parsed from a descriptor, and whether the parse succeeded.
std::pair<Entries, bool> parsed(const std::string& text) {
    JadParameterTable table;
    const bool ok = parse_descriptor(text, table);
    Entries out;
    for (std::size_t k = 0; k < static_cast<std::size_t>(table.count); ++k) {
        out.emplace_back(table.names[k], table.values[k]);
    }
    return {out, ok};
}

TEST(RepliesTest, DescriptorLinesBecomeEntriesInOrder) {
    EXPECT_EQ(parsed("MIDlet-Name: Tessal\r\n"
                     "FTP_URL: ftp://10.0.0.1:21/izvestaji\r\n"
                     "TIMEOUT:30\r\n"
                     "comment line\r\nCASH_TYPE: 7\r\n"
                     "PAD:   x  \r\n"
                     "LAST: b"),
              std::pair(Entries{{"MIDlet-Name:", "Tessal"},
                                {"FTP_URL:", "ftp://10.0.0.1:21/izvestaji"},
                                {"TIMEOUT:", "0"},
                                {"comment line\r\nCASH_TYPE:", "7"},
                                {"PAD:", "  x  "},
                                {"LAST:", "b"}},
                        true));
    EXPECT_EQ(parsed("OK"), std::pair(Entries{}, true));
    EXPECT_EQ(parsed("A: 1\r\ntrailing"), std::pair(Entries{{"A:", "1"}}, true));
    EXPECT_EQ(parsed("LAST:"), std::pair(Entries{{"LAST:", ""}}, true));
    EXPECT_EQ(parsed("P1: a\r\nBROKEN:\r\nP3: c\r\n"), std::pair(Entries{{"P1:", "a"}}, false));
}

TEST(RepliesTest, DescriptorLimits) {
    std::string lines;
    for (int i = 0; i < 101; ++i) {
        lines += "P" + std::to_string(i) + ": v\r\n";
    }
    const auto line = [](std::size_t value_length) {
        return "A:" + std::string(value_length, 'y') + "\r\n";
    };
    // Text, entries kept, success.  Positions count from 1 and stay within
    // 16 bits: a value starting at 32767 is the last that fits.
    const std::tuple<std::string, std::size_t, bool> rows[] = {
        {lines, 101, true},
        {lines + "X: y\r\n", 101, false},
        {lines + "X: y", 101, false},
        {std::string(32764, 'x') + ":", 1, true},
        {std::string(32765, 'x') + ":", 0, false},
        {line(32762), 1, true},  // line break at 32765, next start at 32767
        {line(32763), 1, false}, // the next start would be 32768
        {line(32765), 0, false}, // the line break itself lies at 32768
        {std::string(100000, 'x'), 0, true},
    };
    for (const auto& [text, entries, ok] : rows) {
        const auto [got, got_ok] = parsed(text);
        EXPECT_EQ(got.size(), entries) << text.size();
        EXPECT_EQ(got_ok, ok) << text.size();
    }
    EXPECT_EQ(parsed("A: " + std::string(100000, 'v')).first[0].second.size(), 100000U);
}

} // namespace
} // namespace tessal::dialogs
