// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDateTime>

#include <array>
#include <optional>
#include <string>

namespace tessal::device {

// Year (last two digits), month, day, hour, minute, second, as texts.
using ClockTexts = std::array<std::string, 6>;

enum ClockField { kYear = 0, kMonth, kDay, kHour, kMinute, kSecond };

// Puts "0" in front of every text shorter than two characters.
void fill_two_digits(ClockTexts& texts);

// A time of the PC's as the clock's six texts, two digits each.
ClockTexts clock_texts(const QDateTime& time);

// The year of a two-digit one, as the clock reads it: 00 to 29 are 2000 to
// 2029, 30 to 99 are 1930 to 1999.
int full_year(int two_digit_year);

struct ShiftedDate {
    std::string month;
    std::string day;
    std::string year;
};

// Moves a date (two-digit year: 00-29 is 2000-2029, 30-99 is 1930-1999) one
// day forward or back.  Month and day are returned without leading zeros,
// the year as two digits.  Nothing when the texts do not form a valid date.
std::optional<ShiftedDate> shift_date(const std::string& month, const std::string& day,
                                      const std::string& year, bool forward);

// Season offsets: summer time is two hours ahead of the modem's clock,
// winter time one.
inline constexpr int kSummerOffset = 2;
inline constexpr int kWinterOffset = 1;

// The modem's clock in a reply to "AT+CCLK?": the six fields after "CCLK:"
// taken by their separators ("yy/MM/dd,hh:mm:ss"; quotes, a blank after the
// comma and a four-digit year may be there or not), filled to two digits.
// A zone suffix ("+04" is UTC+1 h, in quarter hours) is taken off, so the
// result is the zone-free clock that the season offset is added to.  Six
// empty texts when "CCLK:" is there but its fields cannot be read; nothing
// when the reply holds no "CCLK:".
std::optional<ClockTexts> read_device_clock(const std::string& reply);

// The device time turned into local time: the offset added to the hour, and
// the date moved on when the hour reaches 24.  Nothing when the hour is not a
// number from 0 to 23 or the date cannot be moved.
std::optional<ClockTexts> device_to_local(ClockTexts device, int offset);

// The typed local time turned into the modem's time, ready to send: every
// field must be a whole number in the signed 16-bit range; the offset is
// taken from the hour and the date moved back when the hour drops below 0.
// Nothing when a field is not a number or the date cannot be moved.
std::optional<ClockTexts> local_to_device(ClockTexts local, int offset);

// The clock's texts as one, for a person: "15.03.2026 12:45:00", the year
// in full when it is two digits.
std::string clock_text(const ClockTexts& texts);

// "AT+CCLK=" and the quoted "yy/MM/dd,hh:mm:ss".
std::string clock_set_command(const ClockTexts& device);

// Parses a whole number with optional blanks around it and an optional sign.
std::optional<long> parse_number(const std::string& text);

} // namespace tessal::device
