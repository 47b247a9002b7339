// SPDX-License-Identifier: Apache-2.0
#include "modem.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

namespace tessal::devsim {

namespace {

using namespace std::chrono;

constexpr int kPinAttempts = 3;

std::string ok() {
    return "\r\nOK\r\n";
}
std::string error() {
    return "\r\nERROR\r\n";
}
std::string cme_error(std::string_view text) {
    return "\r\n+CME ERROR: " + std::string(text) + "\r\n";
}
// An information response line followed by the final "OK".
std::string info(std::string_view line) {
    return "\r\n" + std::string(line) + "\r\n\r\nOK\r\n";
}

// Blanks outside quoted strings are not part of a command line.
std::string without_blanks(std::string_view line) {
    std::string out;
    bool quoted = false;
    for (char ch : line) {
        if (ch == '"') {
            quoted = !quoted;
        }
        if (quoted || ch != ' ') {
            out.push_back(ch);
        }
    }
    return out;
}

bool same_letters(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!same_letters(text[i], prefix[i])) {
            return false;
        }
    }
    return true;
}

bool equals_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && starts_with_nocase(a, b);
}

std::string_view unquoted(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// Splits at commas outside quoted strings; quotes are removed.
std::vector<std::string_view> split_arguments(std::string_view text) {
    std::vector<std::string_view> parts;
    bool quoted = false;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == '"') {
            quoted = !quoted;
        }
        if (i == text.size() || (!quoted && text[i] == ',')) {
            parts.push_back(unquoted(text.substr(from, i - from)));
            from = i + 1;
        }
    }
    return parts;
}

bool two_digits(std::string_view text, std::size_t at, unsigned& value) {
    const auto digit = [&](std::size_t i) {
        return std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    };
    if (!digit(at) || !digit(at + 1)) {
        return false;
    }
    value = static_cast<unsigned>((text[at] - '0') * 10 + (text[at + 1] - '0'));
    return true;
}

bool time_zone_field(std::string_view text) {
    if (text.empty()) {
        return true;
    }
    if ((text[0] != '+' && text[0] != '-') || text.size() < 2 || text.size() > 3) {
        return false;
    }
    for (char ch : text.substr(1)) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) {
            return false;
        }
    }
    return true;
}

// The modem's clock runs behind local time by an hour in winter and two in
// summer, as the console sets it; the machine's own zone tells the season.
sys_seconds as_the_console_sets_it(sys_seconds utc) {
    const std::time_t t = system_clock::to_time_t(utc);
    std::tm local{};
    localtime_r(&t, &local);
    return utc + seconds{local.tm_gmtoff} - hours{local.tm_isdst > 0 ? 2 : 1};
}

} // namespace

Modem::Modem(MonotonicClock now)
    : now_(now ? std::move(now) : MonotonicClock(steady_clock::now)),
      clock_base_(as_the_console_sets_it(floor<seconds>(system_clock::now()))),
      clock_set_at_(now_()) {}

std::string Modem::answer(std::string_view command_line) {
    std::string response;
    if (echo_) {
        response.append(command_line);
        response.push_back('\r');
    }

    if (!forms_.unsolicited.empty()) {
        response += "\r\n" + forms_.unsolicited + "\r\n";
    }

    const std::string line = without_blanks(command_line);
    std::string_view rest;
    const auto command = [&](std::string_view prefix) {
        if (!starts_with_nocase(line, prefix)) {
            return false;
        }
        rest = std::string_view(line).substr(prefix.size());
        return true;
    };

    if (!forms_.error_for.empty() && starts_with_nocase(line, without_blanks(forms_.error_for))) {
        response += "\r\n" + forms_.error_line + "\r\n";
    } else if (equals_nocase(line, "AT")) {
        response += ok();
    } else if (equals_nocase(line, "AT+GSN") || equals_nocase(line, "AT+CGSN")) {
        response += info(forms_.gsn_prefix ? "+GSN: \"" + imei_ + "\"" : imei_);
    } else if (equals_nocase(line, "AT+CSQ")) {
        response += info("+CSQ: " + std::to_string(signal_) + ",99");
    } else if (equals_nocase(line, "AT+CCLK?")) {
        response += info("+CCLK: \"" + clock_reading() + "\"");
    } else if (command("AT+CCLK=")) {
        response += set_clock(unquoted(rest)) ? ok() : error();
    } else if (equals_nocase(line, "AT+CPIN?")) {
        response += read_pin_state();
    } else if (command("AT+CPIN=")) {
        response += enter_pin(rest);
    } else if (command("AT^SPIC")) {
        // Whatever follows the command name is ignored.
        response += sim_.present ? info("^SPIC: " + std::to_string(sim_.attempts_left)) : error();
    } else if (command("AT+CLCK=")) {
        response += facility_lock(rest);
    } else if (equals_nocase(line, "AT+CREG?")) {
        response += info("+CREG: 0," + std::to_string(registration()));
    } else if (equals_nocase(line, "AT+COPS?")) {
        const int state = registration();
        if (state != 1 && state != 5) {
            response += info("+COPS: 0");
        } else if (network_.name.empty()) {
            response += info("+COPS: 0,2,\"" + network_.code + "\"");
        } else {
            response += info("+COPS: 0,0,\"" + network_.name + "\"");
        }
    } else if (equals_nocase(line, "AT+CGATT?")) {
        const int state = registration();
        const bool attached = network_.gprs_attached && (state == 1 || state == 5);
        response += info(attached ? "+CGATT: 1" : "+CGATT: 0");
    } else if (equals_nocase(line, "AT^SCID")) {
        response += sim_.present ? info("^SCID: " + sim_.id) : error();
    } else {
        response += error();
    }
    return response;
}

std::string Modem::read_pin_state() const {
    if (!sim_.present) {
        return error();
    }
    if (sim_.blocked()) {
        return info("+CPIN: SIM PUK");
    }
    if (sim_.ready()) {
        return info("+CPIN: READY");
    }
    return info(forms_.quoted_pin_state ? "+CPIN: \"SIM PIN\"" : "+CPIN: SIM PIN");
}

int Modem::registration() const {
    return sim_.ready() ? network_.registration : 0;
}

std::string Modem::check_pin(std::string_view pin) {
    if (pin == sim_.pin) {
        sim_.attempts_left = kPinAttempts;
        return {};
    }
    --sim_.attempts_left;
    return cme_error("incorrect password");
}

std::string Modem::enter_pin(std::string_view argument) {
    if (!sim_.present) {
        return error();
    }
    if (sim_.blocked()) {
        return cme_error("SIM PUK required");
    }
    if (sim_.ready()) {
        return cme_error("operation not allowed");
    }
    const std::vector<std::string_view> args = split_arguments(argument);
    std::string failure = check_pin(args.front());
    if (!failure.empty()) {
        return failure;
    }
    sim_.pin_entered = true;
    return ok();
}

std::string Modem::facility_lock(std::string_view arguments) {
    const std::vector<std::string_view> args = split_arguments(arguments);
    if (args.size() < 2) {
        return cme_error("incorrect parameters");
    }
    if (!equals_nocase(args[0], "SC")) {
        return cme_error("operation not supported");
    }
    if (!sim_.present) {
        return error();
    }
    if (sim_.blocked()) {
        return cme_error("SIM PUK required");
    }
    const std::string_view mode = args[1];
    if (mode == "2") {
        return info(sim_.pin_required ? "+CLCK: 1" : "+CLCK: 0");
    }
    if ((mode != "0" && mode != "1") || args.size() < 3) {
        return cme_error("incorrect parameters");
    }
    if (!sim_.ready()) {
        return cme_error("SIM PIN required");
    }
    std::string failure = check_pin(args[2]);
    if (!failure.empty()) {
        return failure;
    }
    sim_.pin_required = mode == "1";
    return ok();
}

std::string Modem::clock_reading() const {
    if (!forms_.zone) {
        return clock_text();
    }
    // Local time of the zone, and the zone itself as a signed two-digit suffix.
    const int quarters = *forms_.zone;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%c%02d", quarters < 0 ? '-' : '+',
                  quarters < 0 ? -quarters : quarters);
    return clock_text(minutes{quarters * 15}) + suffix;
}

std::string Modem::clock_text(minutes shift) const {
    const sys_seconds t = clock_base_ + shift + duration_cast<seconds>(now_() - clock_set_at_);
    const sys_days day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss time{t - day};
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02u/%02u,%02d:%02d:%02d",
                  static_cast<int>(date.year()) % 100, static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

bool Modem::set_clock(std::string_view text) {
    constexpr std::string_view kSeparators = "//,::";
    if (text.size() < 17) {
        return false;
    }
    unsigned fields[6];
    for (std::size_t i = 0; i < 6; ++i) {
        if (!two_digits(text, i * 3, fields[i]) || (i < 5 && text[i * 3 + 2] != kSeparators[i])) {
            return false;
        }
    }
    if (!time_zone_field(text.substr(17))) {
        return false;
    }
    const year_month_day date{year{2000 + static_cast<int>(fields[0])}, month{fields[1]},
                              day{fields[2]}};
    if (!date.ok() || fields[3] > 23 || fields[4] > 59 || fields[5] > 59) {
        return false;
    }
    clock_base_ = sys_days{date} + hours{fields[3]} + minutes{fields[4]} + seconds{fields[5]};
    clock_set_at_ = now_();
    return true;
}

} // namespace tessal::devsim
