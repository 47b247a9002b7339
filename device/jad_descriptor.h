// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessal::device {

// The parameters of a JAD descriptor, in descriptor order.  Entry k of the
// dialog's parameter list is entry k of this table.
struct JadParameterTable {
    // Positions 0 to 100.
    static constexpr int kCapacity = 101;

    // Parameter name as it stands in the descriptor, colon included.
    std::array<std::string, kCapacity> names;
    std::array<std::string, kCapacity> values;
    // Entries in use: positions 0 to count - 1.
    std::int16_t count = 0;
};

// Splits a descriptor of lines "name: value" ended by CR LF into the table.
// Each entry runs from the end of the previous line break through the next
// colon (so colon-free text is folded into the following name); the value
// skips the colon and the one character after it and runs to the next CR LF.
// A last line without CR LF is taken whole as the last entry.
//
// Positions (counted from 1) stay within 16 bits: the parse fails when a
// position it works with would pass 32767, on a 102nd entry, and on a line
// break right after a colon.  Entries stored before a failure stay and
// count says how many there are.  Returns true on success.
bool parse_descriptor(std::string_view text, JadParameterTable& table);

} // namespace tessal::device
