// SPDX-License-Identifier: Apache-2.0
#include "frame.h"

#include <cstdint>

namespace tessal::link {

int checksum(std::string_view body) {
    std::uint32_t sum = 0;
    for (char ch : body) {
        sum += static_cast<unsigned char>(ch);
    }
    return 255 - static_cast<int>(sum % 256);
}

char checksum_low(int c) {
    return static_cast<char>(0x30 + (c & 0x0F));
}

char checksum_high(int c) {
    return static_cast<char>(0x30 + ((c >> 4) & 0x0F));
}

std::string build_frame(std::string_view body, char start, char end) {
    const int c = checksum(body);
    std::string frame;
    frame.reserve(body.size() + 4);
    frame.push_back(start);
    frame.append(body);
    frame.push_back(checksum_low(c));
    frame.push_back(checksum_high(c));
    frame.push_back(end);
    return frame;
}

} // namespace tessal::link
