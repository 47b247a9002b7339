// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessal::settings {

// The decimal number in the text (blanks and tabs around it allowed, an
// optional sign, a '.' before the fraction), rounded to the nearest integer
// with halves going to the even one: "3.4" gives 3, "2.5" gives 2, "3.5"
// gives 4.  Empty text, anything else than such a number, and a result
// outside low to high give std::nullopt.
std::optional<std::int64_t> rounded_number(std::string_view text, std::int64_t low,
                                           std::int64_t high);

} // namespace tessal::settings
