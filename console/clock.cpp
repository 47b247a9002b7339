#include "clock.h"

#include "replies.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace tessal::console {

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

std::optional<ShiftedDate> shift_date(const std::string& month, const std::string& day,
                                      const std::string& year, bool forward) {
    const std::optional<long> m = parse_number(month);
    const std::optional<long> d = parse_number(day);
    const std::optional<long> y = parse_number(year);
    if (!m || !d || !y || *y < 0 || *y > 99 || *m < 1 || *m > 12) {
        return std::nullopt;
    }
    int full_year = static_cast<int>(*y < 30 ? 2000 + *y : 1900 + *y);
    int mm = static_cast<int>(*m);
    if (*d < 1 || *d > days_in_month(mm, full_year)) {
        return std::nullopt;
    }
    int dd = static_cast<int>(*d);
    if (forward) {
        if (++dd > days_in_month(mm, full_year)) {
            dd = 1;
            if (++mm > 12) {
                mm = 1;
                ++full_year;
            }
        }
    } else if (--dd < 1) {
        if (--mm < 1) {
            mm = 12;
            --full_year;
        }
        dd = days_in_month(mm, full_year);
    }
    return ShiftedDate{std::to_string(mm), std::to_string(dd), two_digit_year(full_year)};
}

std::optional<ClockTexts> read_device_clock(const std::string& reply) {
    const std::size_t at = reply.find("CCLK:");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    static constexpr std::array<std::size_t, 6> kDistance{7, 10, 13, 16, 19, 22};
    ClockTexts texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::size_t from = at + kDistance[i];
        if (from < reply.size()) {
            texts[i] = reply.substr(from, 2);
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
        const std::optional<ShiftedDate> next =
            shift_date(device[kMonth], device[kDay], device[kYear], true);
        if (!next) {
            return std::nullopt;
        }
        device[kMonth] = next->month;
        device[kDay] = next->day;
        device[kYear] = next->year;
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
        const std::optional<ShiftedDate> previous =
            shift_date(local[kMonth], local[kDay], local[kYear], false);
        if (!previous) {
            return std::nullopt;
        }
        local[kMonth] = previous->month;
        local[kDay] = previous->day;
        local[kYear] = previous->year;
    }
    local[kHour] = std::to_string(hour);
    fill_two_digits(local);
    return local;
}

std::string clock_set_command(const ClockTexts& device) {
    return "AT+CCLK=\"" + device[kYear] + "/" + device[kMonth] + "/" + device[kDay] + "," +
           device[kHour] + ":" + device[kMinute] + ":" + device[kSecond] + "\"";
}

} // namespace tessal::console
