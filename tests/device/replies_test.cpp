// SPDX-License-Identifier: Apache-2.0
// The dialogs' readings of device and modem replies, without widgets, and
// the device's text as a line for a person shows it.
#include "device/device_text.h"
#include "device/ftp_replies.h"
#include "device/jad_descriptor.h"
#include "device/sim_replies.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessal::device {
namespace {

using Reading = std::function<std::string(const std::string&)>;

// The four address boxes, joined by "|".
std::string address(const std::string& reply) {
    const std::array<std::string, 4> boxes = split_address(reply);
    return boxes[0] + "|" + boxes[1] + "|" + boxes[2] + "|" + boxes[3];
}
std::string state(const std::string& reply) {
    const char* names[] = {"no SIM", "ready", "PIN wanted", "unexpected"};
    return names[static_cast<int>(pin_state(reply))];
}
const Reading sim_box = sim_identification, attempts = attempts_message;

TEST(RepliesTest, ReplyReadings) {
    const std::tuple<Reading, const char*, const char*> rows[] = {
        {address, "192.168.1.10", "192|168|1|10"},
        {address, "1.2", "1|||2"},
        {address, "10.0.0", "10|0||0"},
        {address, "1.2.3.4.5", "1|2|3|4.5"},
        {address, "OK", "|||OK"},
        {address, ".5.", "|5||"},
        {sim_box, "^SCID: 89381030000012345678\r\n\r\nOK\r\n", "89381030000012345678"},
        {sim_box, "89381030000012345678\r\n", "???"},
        {sim_box, "OK", "???"},
        {sim_box, "\r\n^SCID: 8938", "??"},
        {sim_box, "x: 8938", "??"},
        {sim_box, "   ", ""},
        {sim_box, "x:\r\n", ""},
        {sim_box, "x: 42F\r\n", "42"},
        {sim_box, "^SCID:89381\r\n", "89381"},
        // modem manual: echo on, an unsolicited line first, a filler "F"
        {sim_box, "AT^SCID\r\r\n^SCID: 89381030000123456784\r\n\r\nOK\r\n", "89381030000123456784"},
        {sim_box, "\r\n+CREG: 1\r\n\r\n^SCID: 8938103000012345678F\r\n", "8938103000012345678"},
        {sim_box, "\r\n+CCID: 8944476500008878576f\r\n\r\nOK\r\n", "8944476500008878576"},
        // refusals are shown as the modem words them
        {sim_box, "AT^SCID\r\r\n+CME error: SIM not inserted\r\n", "+CME error: SIM not inserted"},
        {sim_box, "\r\nERROR", "ERROR"},
        {state, "\r\n+CPIN: READY\r\n\r\nOK\r\n", "ready"},
        {state, "\r\n+cpin: ready\r\n", "ready"},
        {state, "+CPIN:READY", "ready"},
        {state, "\r\nERROR\r\n", "no SIM"},
        {state, "+CME error: 10", "no SIM"},
        {state, "+CPIN: READY ERROR", "no SIM"},
        {state, "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", "PIN wanted"},
        {state, "\r\n+CPIN: \"SIM PIN\"\r\n\r\nOK\r\n", "PIN wanted"},
        {state, "+CPIN: SIM PUK", "unexpected"},
        {state, "+CPIN:SIM PIN", "unexpected"},
        // the blank after the colon stays: two blanks after "jos"
        {attempts, "^SPIC: 2\r\n\r\nOK\r\n", "Pogresan PIN kod, imate jos  2 pokusaj(a)!"},
        {attempts, "^SPIC:3", "Pogresan PIN kod, imate jos 3 pokusaj(a)!"},
        {attempts, "10 left", "Pogresan PIN kod, imate jos 10 pokusaj(a)!"},
        {attempts, "", "Pogresan PIN kod, imate jos  pokusaj(a)!"},
        {attempts, "\r\n+CREG: 0\r\n\r\n^SPIC: 10\r\n",
         "Pogresan PIN kod, imate jos  10 pokusaj(a)!"},
    };
    for (const auto& [reading, reply, shown] : rows) {
        EXPECT_EQ(reading(reply), shown) << reply;
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

// The entries parsed from a descriptor, "name=value" joined by "|", and
// whether the parse succeeded.
std::pair<std::string, bool> parsed(const std::string& text) {
    JadParameterTable table;
    const bool ok = parse_descriptor(text, table);
    std::string out;
    for (std::size_t k = 0; k < static_cast<std::size_t>(table.count); ++k) {
        out += (k > 0 ? "|" : "") + table.names[k] + "=" + table.values[k];
    }
    return {out, ok};
}

TEST(RepliesTest, DescriptorLinesBecomeEntriesInOrder) {
    EXPECT_EQ(parsed("MIDlet-Name: Tessal\r\nFTP_URL: ftp://10.0.0.1:21/izv\r\nTIMEOUT:30\r\n"
                     "comment\r\nCASH_TYPE: 7\r\nPAD:   x  \r\nLAST: b"),
              std::pair(std::string("MIDlet-Name:=Tessal|FTP_URL:=ftp://10.0.0.1:21/izv|TIMEOUT:=0|"
                                    "comment\r\nCASH_TYPE:=7|PAD:=  x  |LAST:=b"),
                        true));
    EXPECT_EQ(parsed("OK"), std::pair(std::string(), true));
    EXPECT_EQ(parsed("A: 1\r\ntrailing"), std::pair(std::string("A:=1"), true));
    EXPECT_EQ(parsed("LAST:"), std::pair(std::string("LAST:="), true));
    EXPECT_EQ(parsed("P1: a\r\nBROKEN:\r\nP3: c\r\n"), std::pair(std::string("P1:=a"), false));
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
        {"A: " + std::string(100000, 'v'), 1, true},
    };
    for (const auto& [text, entries, ok] : rows) {
        JadParameterTable table;
        EXPECT_EQ(parse_descriptor(text, table), ok) << text.size();
        EXPECT_EQ(table.count, static_cast<int>(entries)) << text.size();
    }
}

TEST(DeviceTextTest, ShownAsOneLineOfVisibleCharacters) {
    const struct {
        QString text;
        QString shown;
    } rows[] = {
        {"evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9",
         R"(evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9)"},
        {"\x1b[2J\x1b]0;owned\x07", R"(\x1B[2J\x1B]0;owned\x07)"},
        {"a\tb\\r", R"(a\tb\\r)"},
        {QString::fromUtf16(u"\u007f\u0085\u009b") + QChar(0) + "x", R"(\x7F\x85\x9B\x00x)"},
        // The device's own characters, and letters beyond them, as they are.
        {QString::fromUtf16(u"Kasa \u00e9\u00a0\u00ff Ni\u0161 \U0001F600"),
         QString::fromUtf16(u"Kasa \u00e9\u00a0\u00ff Ni\u0161 \U0001F600")},
        // Characters that reorder, hide or break a line beyond them.
        {QString::fromUtf16(u"a\u202eb\u2028c\u200bd\U000E0001"),
         R"(a\u202Eb\u2028c\u200Bd\U000E0001)"},
        {QString::fromUtf16(u"x") + QChar(0xD800), R"(x\uD800)"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(visible(row.text), row.shown) << row.text.toStdString();
    }
}

} // namespace
} // namespace tessal::device
