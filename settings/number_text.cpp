// SPDX-License-Identifier: Apache-2.0
#include "settings/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tessal::settings {

std::optional<std::int64_t> rounded_number(std::string_view text, std::int64_t low,
                                           std::int64_t high) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Only digits and one decimal point: no exponent, no "inf" or "nan".
    int digits = 0;
    int points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && points == 0) {
            ++points;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    double magnitude = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] =
        std::from_chars(text.data(), end, magnitude, std::chars_format::fixed);
    if (error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    const double value = negative ? -magnitude : magnitude;
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) {
        rounded += 1;
    }
    if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(rounded);
}

} // namespace tessal::settings
