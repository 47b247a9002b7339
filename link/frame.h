// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>
#include <string_view>

namespace tessal::link {

// Control bytes of the frame format.
inline constexpr char kFrameStart = 0x02;
inline constexpr char kFrameEnd = 0x03;
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;

// Outcomes of the port operations and of an exchange.  Any other text that
// get_frame returns is the payload of a good reply frame.
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kNok = "NOK";
inline constexpr std::string_view kTimeout = "TO";
inline constexpr std::string_view kChecksumError = "CS";
inline constexpr std::string_view kPortFailure = "ERja";
inline constexpr std::string_view kPortError = "PO";

// True for the outcomes an exchange gives instead of a payload.
inline bool is_status_word(std::string_view result) {
    return result == kOk || result == kNok || result == kTimeout || result == kChecksumError ||
           result == kPortFailure;
}

// Ones' complement of the 8-bit sum of the body's bytes.
int checksum(std::string_view body);

// The two checksum characters: low nibble first, each as 0x30 + nibble.
char checksum_low(int c);
char checksum_high(int c);

// Frame start, body, low and high checksum characters, frame end.
std::string build_frame(std::string_view body, char start = kFrameStart, char end = kFrameEnd);

} // namespace tessal::link
