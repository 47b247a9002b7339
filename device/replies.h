// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>
#include <string_view>

namespace tessal::device {

// The text without its leading and trailing blanks.
std::string trim_blanks(std::string_view text);

// The IMEI in a reply to "AT+GSN": when the reply holds two CR LF pairs, the
// first run of exactly 15 digits after the first pair.  Empty text for a
// reply with fewer pairs, an error reply, or no such run.
std::string extract_imei(const std::string& reply);

// What the signal frame shows for a reply to "AT+CSQ".
struct SignalReading {
    std::string label; // "Nivo: 21" or "Nema signala"
    int bar = 0;       // 0 to 96
    // The strength as the modem reported it, 0 to 99; -1 when none could be
    // read.
    int strength = -1;
};

// A strength the signal frame shows as a level: 2 to 31.  Below and above,
// the modem's 99 for "cannot measure" among them, it shows no signal.
bool signal_usable(int strength);

// Reads the strength right after "+CSQ:" and a blank.  A reply without a
// readable strength shows no signal.
SignalReading read_signal(const std::string& reply);

// The bar value for a strength of 2 to 31.
int signal_bar(int strength);

} // namespace tessal::device
