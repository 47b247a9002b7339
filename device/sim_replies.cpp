// SPDX-License-Identifier: Apache-2.0
#include "sim_replies.h"

#include <algorithm>
#include <string>

namespace tessal::device {

namespace {

// The line of the text that holds `at`, without its line end.
std::string_view line_at(std::string_view text, std::size_t at) {
    const std::size_t begin = text.find_last_of("\r\n", at);
    const std::size_t from = begin == std::string_view::npos ? 0 : begin + 1;
    const std::size_t end = text.find_first_of("\r\n", at);
    return text.substr(from, (end == std::string_view::npos ? text.size() : end) - from);
}

// A card number is padded to full bytes with one "F".
std::string without_filler(std::string number) {
    if (!number.empty() && (number.back() == 'F' || number.back() == 'f')) {
        number.pop_back();
    }
    return number;
}

// Where the word first stands in the text, whatever the letter case.
std::size_t find_word(std::string_view text, std::string_view word) {
    const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    const auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                   [&](char a, char b) { return upper(a) == upper(b); });
    return found == text.end() && !word.empty() ? std::string_view::npos
                                                : static_cast<std::size_t>(found - text.begin());
}

} // namespace

std::string sim_identification(std::string_view reply) {
    if (trim_blanks(reply).empty()) {
        return {};
    }
    // The answer line itself, even behind an unsolicited line.
    const std::size_t answer = reply.find("^SCID:");
    if (answer != std::string_view::npos) {
        const std::size_t from = answer + 6;
        const std::size_t line_break = reply.find("\r\n", from);
        if (line_break == std::string_view::npos) {
            return "??";
        }
        return without_filler(trim_blanks(reply.substr(from, line_break - from)));
    }
    // A refusal is shown as the modem worded it, never as a number.
    const std::size_t error = find_word(reply, "ERROR");
    if (error != std::string_view::npos) {
        return trim_blanks(line_at(reply, error));
    }
    const std::size_t colon = reply.find(':');
    if (colon == std::string_view::npos) {
        return "???";
    }
    const std::size_t line_break = reply.find("\r\n", colon + 1);
    if (line_break == std::string_view::npos) {
        return "??";
    }
    // The number starts two characters after the colon; a line break right
    // after the colon leaves nothing to show.
    if (line_break < colon + 2) {
        return {};
    }
    return without_filler(std::string(reply.substr(colon + 2, line_break - colon - 2)));
}

bool contains_word(std::string_view text, std::string_view word) {
    return find_word(text, word) != std::string_view::npos;
}

PinState pin_state(std::string_view reply) {
    // Some modems quote the state: "+CPIN: \"SIM PIN\"" is "+CPIN: SIM PIN".
    std::string unquoted(reply);
    std::erase(unquoted, '"');
    if (modem_error(unquoted)) {
        return PinState::no_sim;
    }
    if (contains_word(unquoted, "READY")) {
        return PinState::ready;
    }
    if (contains_word(unquoted, "+CPIN: SIM PIN")) {
        return PinState::pin_wanted;
    }
    return PinState::unexpected;
}

bool modem_error(std::string_view reply) {
    return contains_word(reply, "ERROR");
}

bool is_sim_number(std::string_view shown) {
    return !shown.empty() && shown.front() != '?' && !modem_error(shown);
}

std::string attempts_message(std::string_view reply) {
    // The counter's own line when there is one, so that an unsolicited line
    // before it is not read as the count.
    const std::size_t answer = reply.find("^SPIC:");
    const std::size_t colon = answer != std::string_view::npos ? answer + 5 : reply.find(':');
    std::string_view attempts = reply.substr(0, 2);
    if (colon != std::string_view::npos) {
        const std::size_t end = reply.find_first_of("\r\n", colon + 1);
        attempts = reply.substr(colon + 1, end == std::string_view::npos ? end : end - colon - 1);
    }
    return "Pogresan PIN kod, imate jos " + std::string(attempts) + " pokusaj(a)!";
}

} // namespace tessal::device
