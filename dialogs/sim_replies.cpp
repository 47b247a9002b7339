#include "sim_replies.h"

#include <algorithm>

namespace tessal::dialogs {

std::string sim_identification(std::string_view reply) {
    if (trim_blanks(reply).empty()) {
        return {};
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
    return std::string(reply.substr(colon + 2, line_break - colon - 2));
}

bool contains_word(std::string_view text, std::string_view word) {
    const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    const auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                   [&](char a, char b) { return upper(a) == upper(b); });
    return found != text.end() || word.empty();
}

PinState pin_state(std::string_view reply) {
    if (modem_error(reply)) {
        return PinState::no_sim;
    }
    if (contains_word(reply, "READY")) {
        return PinState::ready;
    }
    if (contains_word(reply, "+CPIN: SIM PIN")) {
        return PinState::pin_wanted;
    }
    return PinState::unexpected;
}

bool modem_error(std::string_view reply) {
    return contains_word(reply, "ERROR");
}

std::string attempts_message(std::string_view reply) {
    const std::size_t colon = reply.find(':');
    const std::string_view attempts =
        colon == std::string_view::npos ? reply.substr(0, 2) : reply.substr(colon + 1, 2);
    return "Pogresan PIN kod, imate jos " + std::string(attempts) + " pokusaj(a)!";
}

} // namespace tessal::dialogs
