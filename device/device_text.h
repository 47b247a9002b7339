// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace tessal::device {

// The device's character set is Latin-1: one byte per character.
QString from_device(const std::string& bytes);
// A character the device has not becomes "?".
std::string to_device(const QString& text);
// The device's bytes of a text; nothing when it holds a character the
// device's character set has not.
std::optional<std::string> device_bytes(const QString& text);

// A character the device shows and a value may hold: 0x20 to 0x7E and 0xA0
// to 0xFF.
inline bool is_device_char(char16_t code) {
    return (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF);
}
// True when every byte is such a character.
bool is_device_text(const std::string& bytes);

// A text as a line for a person shows it: one line of visible characters,
// so that no text from a device, a file or a register can break a line,
// forge one, or move, clear or retitle the terminal.  A character a
// terminal would act on is escaped: CR, LF and tab as \r, \n and \t, every
// other C0 control, DEL and C1 control as \xNN (two upper-case hex digits),
// and beyond the device's character set a format or separator character
// (U+202E, U+2028) or a lone surrogate as \uNNNN (\UNNNNNNNN beyond
// U+FFFF).  A backslash is shown doubled, so that every backslash shown
// begins an escape and the text can be told back exactly.
QString visible(const QString& text);

// A typed value the device is sent: not blank, at most `longest`
// characters, every one a device character.  Nothing when it fits;
// otherwise why not ("empty", "longer than 32 characters", "a character the
// device cannot carry").
std::optional<std::string> typed_value_problem(std::string_view value, std::size_t longest);

} // namespace tessal::device
