// SPDX-License-Identifier: Apache-2.0
#include "clock.h"

#include "replies.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace tessal::device {

namespace {

bool leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int month, int year) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && leap_year(year)) {
        return 29;
    }
    return kDays[static_cast<std::size_t>(month - 1)];
}

std::string two_digit_year(int year) {
    const int yy = year % 100;
    return std::string(1, static_cast<char>('0' + yy / 10)) +
           std::string(1, static_cast<char>('0' + yy % 10));
}

} // namespace

std::optional<long> parse_number(const std::string& text) {
    const std::string trimmed = trim_blanks(text);
    std::size_t at = 0;
    bool negative = false;
    if (at < trimmed.size() && (trimmed[at] == '+' || trimmed[at] == '-')) {
        negative = trimmed[at] == '-';
        ++at;
    }
    if (at == trimmed.size()) {
        return std::nullopt;
    }
    long value = 0;
    for (; at < trimmed.size(); ++at) {
        const char ch = trimmed[at];
        if (!std::isdigit(static_cast<unsigned char>(ch))) {
            return std::nullopt;
        }
        value = value * 10 + (ch - '0');
        if (value > 1'000'000) {
            return std::nullopt; // far beyond every range a clock field needs
        }
    }
    return negative ? -value : value;
}

void fill_two_digits(ClockTexts& texts) {
    for (std::string& text : texts) {
        while (text.size() < 2) {
            text.insert(text.begin(), '0');
        }
    }
}

ClockTexts clock_texts(const QDateTime& time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    ClockTexts texts{std::to_string(date.year() % 100), std::to_string(date.month()),
                     std::to_string(date.day()),        std::to_string(clock.hour()),
                     std::to_string(clock.minute()),    std::to_string(clock.second())};
    fill_two_digits(texts);
    return texts;
}

int full_year(int two_digit_year) {
    return two_digit_year < 30 ? 2000 + two_digit_year : 1900 + two_digit_year;
}

std::optional<ShiftedDate> shift_date(const std::string& month, const std::string& day,
                                      const std::string& year, bool forward) {
    const std::optional<long> m = parse_number(month);
    const std::optional<long> d = parse_number(day);
    const std::optional<long> y = parse_number(year);
    if (!m || !d || !y || *y < 0 || *y > 99 || *m < 1 || *m > 12) {
        return std::nullopt;
    }
    int yyyy = full_year(static_cast<int>(*y));
    int mm = static_cast<int>(*m);
    if (*d < 1 || *d > days_in_month(mm, yyyy)) {
        return std::nullopt;
    }
    int dd = static_cast<int>(*d);
    if (forward) {
        if (++dd > days_in_month(mm, yyyy)) {
            dd = 1;
            if (++mm > 12) {
                mm = 1;
                ++yyyy;
            }
        }
    } else if (--dd < 1) {
        if (--mm < 1) {
            mm = 12;
            --yyyy;
        }
        dd = days_in_month(mm, yyyy);
    }
    return ShiftedDate{std::to_string(mm), std::to_string(dd), two_digit_year(yyyy)};
}

namespace {

// Walks the text after "CCLK:" one field at a time.
class ClockFields {
  public:
    ClockFields(const std::string& text, std::size_t from) : text_(text), at_(from) {}

    bool skip(char ch) {
        if (at_ < text_.size() && text_[at_] == ch) {
            ++at_;
            return true;
        }
        return false;
    }
    void skip_blanks() {
        while (skip(' ')) {
        }
    }
    // The digits at the current place, when there are `least` to `most` of them.
    std::optional<std::string> digits(std::size_t least, std::size_t most) {
        std::size_t end = at_;
        while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end]))) {
            ++end;
        }
        if (end - at_ < least || end - at_ > most) {
            return std::nullopt;
        }
        std::string run = text_.substr(at_, end - at_);
        at_ = end;
        return run;
    }
    // A field of one or two digits followed by `separator`.
    std::optional<std::string> field(char separator) {
        std::optional<std::string> run = digits(1, 2);
        return run && skip(separator) ? run : std::nullopt;
    }

  private:
    const std::string& text_;
    std::size_t at_;
};

// Moves the date a day on, or back; false when it is no date.
bool move_date(ClockTexts& texts, bool forward) {
    const std::optional<ShiftedDate> moved =
        shift_date(texts[kMonth], texts[kDay], texts[kYear], forward);
    if (!moved) {
        return false;
    }
    texts[kMonth] = moved->month;
    texts[kDay] = moved->day;
    texts[kYear] = moved->year;
    return true;
}

// Takes `quarters` quarter hours from the time, moving the date back or on
// when the time leaves the day.
bool subtract_zone(ClockTexts& texts, long quarters) {
    const std::optional<long> hour = parse_number(texts[kHour]);
    const std::optional<long> minute = parse_number(texts[kMinute]);
    if (!hour || !minute || *hour > 23 || *minute > 59) {
        return false;
    }
    long minutes = *hour * 60 + *minute - quarters * 15;
    if (minutes < 0 || minutes >= 24 * 60) {
        const bool forward = minutes >= 0;
        if (!move_date(texts, forward)) {
            return false;
        }
        minutes += forward ? -24 * 60 : 24 * 60;
    }
    texts[kHour] = std::to_string(minutes / 60);
    texts[kMinute] = std::to_string(minutes % 60);
    return true;
}

} // namespace

std::optional<ClockTexts> read_device_clock(const std::string& reply) {
    const std::size_t at = reply.find("CCLK:");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    ClockFields in(reply, at + 5);
    in.skip_blanks();
    in.skip('"');
    ClockTexts texts;
    // A four-digit year keeps its last two digits.
    std::optional<std::string> year = in.digits(1, 4);
    if (!year || year->size() == 3 || !in.skip('/')) {
        return ClockTexts{};
    }
    texts[kYear] = year->substr(year->size() == 4 ? 2 : 0);
    const std::optional<std::string> month = in.field('/');
    const std::optional<std::string> day = in.field(',');
    in.skip_blanks();
    const std::optional<std::string> hour = in.field(':');
    const std::optional<std::string> minute = in.field(':');
    const std::optional<std::string> second = in.digits(1, 2);
    if (!month || !day || !hour || !minute || !second) {
        return ClockTexts{};
    }
    texts[kMonth] = *month;
    texts[kDay] = *day;
    texts[kHour] = *hour;
    texts[kMinute] = *minute;
    texts[kSecond] = *second;
    // A zone suffix counts quarter hours from UTC; the season offset counts
    // from the zone-free clock, so the zone comes off first.
    const bool east = in.skip('+');
    if (east || in.skip('-')) {
        const std::optional<std::string> zone = in.digits(1, 2);
        if (!zone) {
            return ClockTexts{};
        }
        const long quarters = *parse_number(*zone);
        if (quarters > 96 ||
            (quarters != 0 && !subtract_zone(texts, east ? quarters : -quarters))) {
            return ClockTexts{};
        }
    }
    fill_two_digits(texts);
    return texts;
}

std::optional<ClockTexts> device_to_local(ClockTexts device, int offset) {
    // The modem's clock runs from 00 to 23; any other hour is no time at all.
    const std::optional<long> hour = parse_number(device[kHour]);
    if (!hour || *hour < 0 || *hour > 23) {
        return std::nullopt;
    }
    long local_hour = *hour + offset;
    // Every hour from 24 on belongs to the next day, 24:00:00 included.
    if (local_hour >= 24) {
        local_hour -= 24;
        if (!move_date(device, true)) {
            return std::nullopt;
        }
    }
    device[kHour] = std::to_string(local_hour);
    fill_two_digits(device);
    return device;
}

std::optional<ClockTexts> local_to_device(ClockTexts local, int offset) {
    fill_two_digits(local);
    for (const std::string& text : local) {
        const std::optional<long> value = parse_number(text);
        if (!value || *value < std::numeric_limits<std::int16_t>::min() ||
            *value > std::numeric_limits<std::int16_t>::max()) {
            return std::nullopt;
        }
    }
    long hour = *parse_number(local[kHour]) - offset;
    if (hour < 0) {
        hour += 24;
        if (!move_date(local, false)) {
            return std::nullopt;
        }
    }
    local[kHour] = std::to_string(hour);
    fill_two_digits(local);
    return local;
}

std::string clock_text(const ClockTexts& texts) {
    const std::string& yy = texts[kYear];
    const bool two_digits = yy.size() == 2 && std::isdigit(static_cast<unsigned char>(yy[0])) &&
                            std::isdigit(static_cast<unsigned char>(yy[1]));
    const std::string year = two_digits ? std::to_string(full_year(std::stoi(yy))) : yy;
    return texts[kDay] + "." + texts[kMonth] + "." + year + " " + texts[kHour] + ":" +
           texts[kMinute] + ":" + texts[kSecond];
}

std::string clock_set_command(const ClockTexts& device) {
    return "AT+CCLK=\"" + device[kYear] + "/" + device[kMonth] + "/" + device[kDay] + "," +
           device[kHour] + ":" + device[kMinute] + ":" + device[kSecond] + "\"";
}

} // namespace tessal::device
