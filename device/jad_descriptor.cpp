// SPDX-License-Identifier: Apache-2.0
#include "jad_descriptor.h"

namespace tessal::device {

namespace {

// Highest descriptor position, counted from 1.
constexpr std::size_t kLastPosition = 32767;

} // namespace

bool parse_descriptor(std::string_view text, JadParameterTable& table) {
    table.count = 0;
    // Index (from 0) where the next entry's name begins.
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        if (colon == std::string_view::npos) {
            return true;
        }
        // The value starts two positions after the colon; as a position
        // counted from 1 that is colon + 3.
        if (colon + 3 > kLastPosition) {
            return false;
        }
        if (table.count >= JadParameterTable::kCapacity) {
            return false;
        }
        const auto entry = static_cast<std::size_t>(table.count);
        const std::string_view name = text.substr(start, colon - start + 1);
        const std::size_t line_break = text.find("\r\n", colon + 1);

        if (line_break == std::string_view::npos) {
            // A last line without CR LF: its value is the rest of the text.
            table.names[entry] = name;
            table.values[entry] = colon + 2 < text.size() ? text.substr(colon + 2) : "";
            ++table.count;
            return true;
        }
        // The line break's position counted from 1 is line_break + 1.
        if (line_break + 1 > kLastPosition || line_break == colon + 1) {
            return false;
        }
        table.names[entry] = name;
        table.values[entry] = text.substr(colon + 2, line_break - colon - 2);
        ++table.count;
        // The next entry would start two positions after the line break.
        if (line_break + 3 > kLastPosition) {
            return false;
        }
        start = line_break + 2;
    }
}

} // namespace tessal::device
