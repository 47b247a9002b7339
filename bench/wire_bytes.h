// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

namespace tessal::bench {

// The bytes of one formatted trace record of the line ("... > 02 56 39 3A 03
// <STX>V9:<ETX>"): the hex pairs after the direction mark; none for an event.
inline std::size_t record_bytes(const std::string& record) {
    std::size_t at = record.find(" > ");
    if (at == std::string::npos) {
        at = record.find(" < ");
    }
    if (at == std::string::npos) {
        return 0;
    }
    std::size_t count = 0;
    for (at += 3;
         at + 2 <= record.size() && std::isxdigit(static_cast<unsigned char>(record[at])) &&
         std::isxdigit(static_cast<unsigned char>(record[at + 1]));
         at += 3) {
        ++count;
        if (at + 2 == record.size() || record[at + 2] != ' ' ||
            (at + 3 < record.size() && record[at + 3] == ' ')) {
            break; // two blanks: the readable text follows
        }
    }
    return count;
}

} // namespace tessal::bench
