#include "dialogs/sim_replies.h"

#include <gtest/gtest.h>

namespace tessal::dialogs {
namespace {

TEST(SimRepliesTest, SimIdentificationBox) {
    const struct {
        const char* reply;
        const char* shown;
    } rows[] = {
        // Fixed examples: no colon, no line break after it, blanks only.
        {"^SCID: 89381030000012345678\r\n\r\nOK\r\n", "89381030000012345678"},
        {"89381030000012345678\r\n", "???"},
        {"OK", "???"},
        {"^SCID: 8938", "??"},
        {"\r\n^SCID: 8938", "??"},
        {"   ", ""},
        {"^SCID:\r\n", ""},
        // modem manual, ^SCID: the answer line, echo on
        {"\r\n^SCID: 89381030000123456784\r\n\r\nOK\r\n", "89381030000123456784"},
        {"AT^SCID\r\r\n^SCID: 89381030000123456784\r\n\r\nOK\r\n", "89381030000123456784"},
        {"^SCID:89381\r\n", "89381"},
        // modem manual example: an unsolicited line before the answer
        {"\r\n+CREG: 1\r\n\r\n^SCID: 89381030000123456784\r\n\r\nOK\r\n", "89381030000123456784"},
        // bug report log: a 19-digit number padded with "F"
        {"\r\n^SCID: 8944476500008878576F\r\n\r\nOK\r\n", "8944476500008878576"},
        {"\r\n+CCID: 8944476500008878576F\r\n\r\nOK\r\n", "8944476500008878576"},
        // 27.007 / V.250 refusals are shown as the modem words them
        {"\r\n+CME ERROR: 10\r\n", "+CME ERROR: 10"},
        {"AT^SCID\r\r\n+CME ERROR: SIM not inserted\r\n", "+CME ERROR: SIM not inserted"},
        {"\r\nERROR\r\n", "ERROR"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(sim_identification(row.reply), row.shown) << row.reply;
    }
}

TEST(SimRepliesTest, PinStates) {
    const struct {
        const char* reply;
        PinState state;
    } rows[] = {
        {"\r\n+CPIN: READY\r\n\r\nOK\r\n", PinState::ready},
        {"\r\n+cpin: ready\r\n", PinState::ready},
        {"+CPIN:READY", PinState::ready}, // modem manual, no blank
        {"\r\nERROR\r\n", PinState::no_sim},
        {"+CME error: 10", PinState::no_sim},
        {"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", PinState::pin_wanted},
        {"AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", PinState::pin_wanted},
        {"\r\n+CREG: 1\r\n\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", PinState::pin_wanted},
        {"\r\n+CPIN: \"SIM PIN\"\r\n\r\nOK\r\n", PinState::pin_wanted},
        {"+CPIN: SIM PUK", PinState::unexpected},
        {"+CPIN: \"SIM PUK\"", PinState::unexpected},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(pin_state(row.reply), row.state) << row.reply;
    }
}

TEST(SimRepliesTest, AttemptsMessage) {
    const struct {
        const char* reply;
        const char* message;
    } rows[] = {
        // Fixed examples: the blank after the colon stays (two blanks after "jos").
        {"^SPIC: 2\r\n\r\nOK\r\n", "Pogresan PIN kod, imate jos  2 pokusaj(a)!"},
        {"^SPIC:3", "Pogresan PIN kod, imate jos 3 pokusaj(a)!"},
        {"10 left", "Pogresan PIN kod, imate jos 10 pokusaj(a)!"},
        {"", "Pogresan PIN kod, imate jos  pokusaj(a)!"},
        // modem manual, ^SPIC: ten PUK attempts; an unsolicited line first
        {"\r\n^SPIC: 10\r\n\r\nOK\r\n", "Pogresan PIN kod, imate jos  10 pokusaj(a)!"},
        {"\r\n+CREG: 0\r\n\r\n^SPIC: 3\r\n\r\nOK\r\n",
         "Pogresan PIN kod, imate jos  3 pokusaj(a)!"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(attempts_message(row.reply), row.message) << row.reply;
    }
}

} // namespace
} // namespace tessal::dialogs
