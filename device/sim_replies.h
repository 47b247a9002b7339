// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/replies.h"

#include <string>
#include <string_view>

namespace tessal::device {

// AT commands of the SIM dialog, sent behind the pass-through code "A".
inline constexpr const char* kCmdSimIdentification = "AAT^SCID";
inline constexpr const char* kCmdPinState = "AAT+CPIN?";
inline constexpr const char* kCmdPinEntry = "AAT+CPIN =";
inline constexpr const char* kCmdPinAttempts = "AAT^SPIC";
inline constexpr const char* kCmdPinRequestOff = "AAT+CLCK = \"SC\",0,";
// Device commands for the password and the SIM identification.
inline constexpr const char* kCmdPassword = "p";
inline constexpr const char* kCmdSimParameter = "PSIM:";

// What the SIM identification box shows for a reply to "AT^SCID": the
// number between "^SCID:" and the next CR LF, blanks and a trailing filler
// "F" dropped.  Without "^SCID:", an error reply shows its error line; any
// other reply shows the text between the first colon plus the character
// after it and the next CR LF.  "???" when there is no colon, "??" when no
// CR LF follows it, and empty for a reply of blanks only or a CR LF right
// after the colon.
std::string sim_identification(std::string_view reply);

// True when what the identification box shows is a card's number: not
// empty, not "?", "??" or "???", not the modem's error line.
bool is_sim_number(std::string_view shown);

// True when the text holds the word, whatever the letter case.
bool contains_word(std::string_view text, std::string_view word);

// The modem's answer to the PIN state query "AT+CPIN?", tested in this order.
enum class PinState {
    no_sim,     // "ERROR"
    ready,      // "READY": no PIN needed
    pin_wanted, // "+CPIN: SIM PIN", quoted or not
    unexpected, // anything else
};
PinState pin_state(std::string_view reply);

// A modem reply that reports an error: "ERROR" in any letter case.
bool modem_error(std::string_view reply);

// "Pogresan PIN kod, imate jos N pokusaj(a)!" where N is everything from
// the colon of "^SPIC:" (or the reply's first colon) to the end of its line,
// or the first two characters of a reply without a colon, inserted as it
// stands.
std::string attempts_message(std::string_view reply);

} // namespace tessal::device
