// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace tessal::devsim {

namespace {

bool read_number(const std::string& text, int minimum, int& out) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || value < minimum) {
        return false;
    }
    out = value;
    return true;
}

struct Flag {
    const char* name;
    bool Faults::*member;
};
constexpr Flag kFlags[] = {
    {"--silent", &Faults::silent},
    {"--nak", &Faults::nak_all},
    {"--bad-checksum", &Faults::corrupt_checksum},
    {"--trailing-byte", &Faults::trailing_byte},
    {"--ack-first", &Faults::ack_before_frame},
    {"--hang-up", &Faults::hang_up_mid_reply},
    {"--vanish", &Faults::vanish_on_request},
    {"--instant", &Faults::instant},
};

struct Count {
    const char* name;
    int Faults::*member;
    int minimum;
};
constexpr Count kCounts[] = {
    {"--chunk", &Faults::chunk_size, 1},
    {"--pause", &Faults::chunk_pause_ms, 0},
    {"--delay", &Faults::reply_delay_ms, 0},
    {"--line-speed", &Faults::line_speed, 1},
};

} // namespace

std::string usage_line(std::string_view program) {
    return "usage: " + std::string(program) + " <link-path> [options]\n";
}

std::string usage(std::string_view program) {
    return usage_line(program) +
           "Imitates the communicator on a pseudo-terminal linked at <link-path>.\n"
           "\n"
           "Faults:\n"
           "  --silent            read requests, answer nothing\n"
           "  --nak               answer every request with NAK\n"
           "  --bad-checksum      send reply frames with a wrong checksum\n"
           "  --chunk N           send replies in chunks of N bytes\n"
           "  --pause MS          pause MS milliseconds between chunks\n"
           "  --trailing-byte     send a line feed after each reply frame\n"
           "  --stray TEXT        send TEXT before each reply frame\n"
           "  --ack-first         send a lone ACK before each reply frame\n"
           "  --delay MS          answer after MS milliseconds\n"
           "  --hang-up           hang up the line in the middle of a reply\n"
           "  --vanish            hang up the line on a request, without answering\n"
           "  --instant           answer as soon as a request starts, before the\n"
           "                      rest of it is read\n"
           "  --instant-command TEXT\n"
           "                      the command whose reply --instant sends (default V)\n"
           "  --line-speed BPS    pace the line at BPS bit/s both ways\n"
           "  --only-for PREFIX   apply the faults only to commands starting with PREFIX\n"
           "\n"
           "Device:\n"
           "  --no-sim            no SIM card in the modem\n"
           "  --no-pin            the SIM's PIN request is off\n"
           "  --pin PIN           the SIM's PIN (default 1234)\n"
           "  --signal N          signal strength reported by AT+CSQ (default 21)\n"
           "  --attempts N        PIN attempts left on the SIM (default 3)\n"
           "\n"
           "Modem reply forms:\n"
           "  --echo              the modem echoes AT commands\n"
           "  --zone QQ           AT+CCLK? reports local time with the zone suffix QQ,\n"
           "                      in quarter hours from UTC (+04 is UTC+1 h, -96 to 96)\n"
           "  --gsn-prefix        AT+GSN answers +GSN: and the IMEI in quotes\n"
           "  --quoted-pin-state  AT+CPIN? answers +CPIN: \"SIM PIN\"\n"
           "  --unsolicited LINE  send LINE (such as \"+CREG: 1\") before every answer\n"
           "  --error-for CMD     refuse AT commands starting with CMD (such as AT^SCID)\n"
           "  --error-line TEXT   the refusal's line (default \"+CME ERROR: 10\")\n"
           "\n"
           "  --descriptor FILE   answer \"J\" with the content of FILE\n"
           "  -v, --verbose       print every request and reply\n"
           "  --trace             print every byte on the line, one record a line, as\n"
           "                      the console's trace does (> from the console, < to it)\n"
           "  -h, --help          show this text\n";
}

ParsedArguments parse_arguments(const std::vector<std::string>& args) {
    ParsedArguments result;
    ProgramOptions options;
    bool have_link = false;
    const auto fail = [&](std::string error) {
        result.error = std::move(error);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        const auto number = [&](int minimum, int& out) {
            std::string text;
            return value(text) && read_number(text, minimum, out);
        };

        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                       [&](const Flag& entry) { return arg == entry.name; });
        const auto count = std::find_if(std::begin(kCounts), std::end(kCounts),
                                        [&](const Count& entry) { return arg == entry.name; });

        bool good = true;
        if (arg == "-h" || arg == "--help") {
            result.help = true;
            return result;
        } else if (flag != std::end(kFlags)) {
            options.faults.*flag->member = true;
        } else if (count != std::end(kCounts)) {
            good = number(count->minimum, options.faults.*count->member);
        } else if (arg == "--stray") {
            good = value(options.faults.stray_prefix) && !options.faults.stray_prefix.empty();
        } else if (arg == "--instant-command") {
            good = value(options.faults.instant_command);
        } else if (arg == "--only-for") {
            good = value(options.only_for) && !options.only_for.empty();
        } else if (arg == "--no-sim") {
            options.no_sim = true;
        } else if (arg == "--no-pin") {
            options.no_pin = true;
        } else if (arg == "--pin") {
            good = value(options.pin.emplace());
        } else if (arg == "--signal") {
            good = number(0, options.signal.emplace());
        } else if (arg == "--attempts") {
            good = number(0, options.attempts.emplace());
        } else if (arg == "--echo") {
            options.echo = true;
        } else if (arg == "--zone") {
            std::string text;
            int quarters = 0;
            good = value(text) &&
                   read_number(text.starts_with("+") ? text.substr(1) : text, -96, quarters) &&
                   quarters <= 96;
            options.forms.zone = quarters;
        } else if (arg == "--gsn-prefix") {
            options.forms.gsn_prefix = true;
        } else if (arg == "--quoted-pin-state") {
            options.forms.quoted_pin_state = true;
        } else if (arg == "--unsolicited") {
            good = value(options.forms.unsolicited) && !options.forms.unsolicited.empty();
        } else if (arg == "--error-for") {
            good = value(options.forms.error_for) && !options.forms.error_for.empty();
        } else if (arg == "--error-line") {
            good = value(options.forms.error_line) && !options.forms.error_line.empty();
        } else if (arg == "--descriptor") {
            std::string file;
            good = value(file) && !file.empty();
            options.descriptor_file = file;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg.starts_with("-")) {
            return fail("unknown option " + arg);
        } else if (have_link) {
            return fail("more than one link path: " + arg);
        } else {
            options.link_path = arg;
            have_link = true;
        }
        if (!good) {
            return fail("option " + arg + " needs a valid value");
        }
    }
    if (!have_link) {
        return fail("no link path given");
    }
    result.options = std::move(options);
    return result;
}

void configure(Device& device, const ProgramOptions& options,
               const std::optional<std::string>& descriptor) {
    Modem& modem = device.modem();
    modem.sim().present = !options.no_sim;
    modem.sim().pin_required = !options.no_pin;
    if (options.pin) {
        modem.sim().pin = *options.pin;
    }
    if (options.signal) {
        modem.set_signal(*options.signal);
    }
    if (options.attempts) {
        modem.sim().attempts_left = *options.attempts;
    }
    modem.set_echo(options.echo);
    modem.forms() = options.forms;
    if (descriptor) {
        device.set_descriptor(with_crlf_lines(*descriptor));
    }
}

std::string with_crlf_lines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(text[i]);
    }
    return out;
}

} // namespace tessal::devsim
