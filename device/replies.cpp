// SPDX-License-Identifier: Apache-2.0
#include "replies.h"

#include <cctype>

namespace tessal::device {

namespace {

bool is_digit(char ch) {
    return std::isdigit(static_cast<unsigned char>(ch)) != 0;
}

} // namespace

std::string trim_blanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string extract_imei(const std::string& reply) {
    const std::size_t first = reply.find("\r\n");
    if (first == std::string::npos) {
        return {};
    }
    // The second pair is looked for from the character after the first CR.
    if (reply.find("\r\n", first + 1) == std::string::npos) {
        return {};
    }
    // A refusal ("ERROR", "+CME ERROR: ...") carries no IMEI.
    if (reply.find("ERROR") != std::string::npos) {
        return {};
    }
    // The first run of exactly 15 digits: a "+GSN:" prefix, quotes and
    // unsolicited lines before it are passed over.
    std::size_t at = first + 2;
    while (at < reply.size()) {
        if (!is_digit(reply[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < reply.size() && is_digit(reply[end])) {
            ++end;
        }
        if (end - at == 15) {
            return reply.substr(at, 15);
        }
        at = end;
    }
    return {};
}

int signal_bar(int strength) {
    const int scaled = (strength - 2) * 100;
    return static_cast<int>(static_cast<float>(scaled) / 30.0F);
}

bool signal_usable(int strength) {
    return strength >= 2 && strength <= 31;
}

SignalReading read_signal(const std::string& reply) {
    SignalReading none{"Nema signala", 0, -1};
    const std::size_t at = reply.find("+CSQ:");
    if (at == std::string::npos || at + 6 >= reply.size() || !is_digit(reply[at + 6])) {
        return none;
    }
    int strength = reply[at + 6] - '0';
    if (at + 7 < reply.size() && is_digit(reply[at + 7])) {
        strength = strength * 10 + (reply[at + 7] - '0');
    }
    if (!signal_usable(strength)) {
        none.strength = strength;
        return none;
    }
    return {"Nivo: " + std::to_string(strength), signal_bar(strength), strength};
}

} // namespace tessal::device
