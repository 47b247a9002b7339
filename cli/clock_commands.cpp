// SPDX-License-Identifier: Apache-2.0
// The modem's clock: read, and set from the PC's clock or typed values.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/clock.h"
#include "device/operations.h"

#include <QDateTime>

#include <algorithm>
#include <cctype>

namespace tessal::cli {

namespace {

// Four-digit year of a two-digit one, as the clock reads it.
std::string full_year(const std::string& yy) {
    const bool digits = yy.size() == 2 && std::isdigit(static_cast<unsigned char>(yy[0])) &&
                        std::isdigit(static_cast<unsigned char>(yy[1]));
    return digits ? std::to_string(device::full_year(std::stoi(yy))) : yy;
}

// The digit groups of `value` of the widths given with `separator` between
// them, or nothing when it is not written so.
std::vector<std::string> digit_groups(const std::string& value, char separator,
                                      std::initializer_list<std::size_t> widths) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t width : widths) {
        const std::string part = value.substr(from, width);
        if (part.size() != width || !std::all_of(part.begin(), part.end(), [](unsigned char ch) {
                return std::isdigit(ch) != 0;
            })) {
            return {};
        }
        parts.push_back(part);
        from += width;
        if (parts.size() < widths.size()) {
            if (from >= value.size() || value[from] != separator) {
                return {};
            }
            ++from;
        }
    }
    return from == value.size() ? parts : std::vector<std::string>{};
}

// "DD.MM.YYYY" and "HH:MM:SS" as the clock's six texts, or nothing.
std::optional<device::ClockTexts> typed_time(const std::string& date, const std::string& time) {
    const std::vector<std::string> d = digit_groups(date, '.', {2, 2, 4});
    const std::vector<std::string> t = digit_groups(time, ':', {2, 2, 2});
    if (d.empty() || t.empty()) {
        return std::nullopt;
    }
    return device::ClockTexts{d[2].substr(2), d[1], d[0], t[0], t[1], t[2]};
}

std::optional<int> season_offset(const std::optional<std::string>& season) {
    if (season == "summer") {
        return device::kSummerOffset;
    }
    if (season == "winter") {
        return device::kWinterOffset;
    }
    return std::nullopt;
}

Result clock(Commands& c) {
    const std::optional<std::string> season = c.in().option("--season");
    const std::optional<int> offset = season_offset(season);
    if (season && !offset) {
        return usage_error("--season takes summer or winter");
    }
    auto [report, value] = c.with_session([&](device::Session& s) {
        return offset ? device::read_clock(s, *offset) : device::read_modem_clock(s);
    });
    if (!value || (*value)[device::kHour].empty()) {
        return failure(report); // a reply without the clock, or one not read
    }
    const device::ClockTexts& t = *value;
    const std::string date =
        t[device::kDay] + "." + t[device::kMonth] + "." + full_year(t[device::kYear]);
    const std::string time = t[device::kHour] + ":" + t[device::kMinute] + ":" + t[device::kSecond];
    return grouped("clock", {{"date", date}, {"time", time}, maybe("season", season)},
                   printable(date + " " + time));
}

// The local time to set: the PC's, or the one typed; or why there is none.
std::optional<device::ClockTexts> time_to_set(const Invocation& in, Result& refusal) {
    if (in.has("--from-pc")) {
        if (in.has("--date") || in.has("--time")) {
            refusal = usage_error("--from-pc goes without --date and --time");
            return std::nullopt;
        }
        return device::clock_texts(QDateTime::currentDateTime());
    }
    const std::optional<std::string> date = in.option("--date");
    const std::optional<std::string> time = in.option("--time");
    if (!date || !time) {
        refusal = usage_error("clock set needs --from-pc, or --date and --time");
        return std::nullopt;
    }
    std::optional<device::ClockTexts> typed = typed_time(*date, *time);
    if (!typed) {
        refusal = usage_error(device::kMsgBadDate, "--date DD.MM.YYYY --time HH:MM:SS");
    }
    return typed;
}

Result clock_set(Commands& c) {
    const std::optional<int> offset = season_offset(c.in().option("--season"));
    if (!offset) {
        return usage_error("clock set needs --season summer or --season winter");
    }
    Result refusal;
    const std::optional<device::ClockTexts> local = time_to_set(c.in(), refusal);
    if (!local) {
        return refusal;
    }
    return acknowledged_result(
        c.with_session([&](device::Session& s) { return device::set_clock(s, *local, *offset); }));
}

constexpr Command kRows[] = {
    {"clock", "", "--season=", "[--season summer|winter]", Reach::device, clock},
    {"clock set", "", "--from-pc --date= --time= --season=",
     "(--from-pc | --date DD.MM.YYYY --time HH:MM:SS) --season summer|winter", Reach::device,
     clock_set},
};

} // namespace

std::span<const Command> clock_commands() {
    return kRows;
}

} // namespace tessal::cli
