// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <algorithm>
#include <charconv>

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

// What an option sets, reached from the options through `path`: a member,
// or a member of one (`kFaults, &Faults::silent`).
template <auto member, auto... rest> auto& field(auto& options) {
    if constexpr (sizeof...(rest) == 0) {
        return options.*member;
    } else {
        return field<rest...>(options.*member);
    }
}

// A switch: the field is turned on.
template <auto... path> bool turn_on(ProgramOptions& options, const std::string&) {
    field<path...>(options) = true;
    return true;
}

// A whole number of at least `minimum`.
template <int minimum, auto... path> bool number(ProgramOptions& options, const std::string& text) {
    int value = 0;
    if (!read_number(text, minimum, value)) {
        return false;
    }
    field<path...>(options) = value;
    return true;
}

// A text that may not be empty.
template <auto... path> bool text(ProgramOptions& options, const std::string& value) {
    field<path...>(options) = value;
    return !value.empty();
}

// Any text, the empty one too.
template <auto... path> bool any_text(ProgramOptions& options, const std::string& value) {
    field<path...>(options) = value;
    return true;
}

// A zone in quarter hours from UTC, with or without its plus sign.
bool zone(ProgramOptions& options, const std::string& value) {
    int quarters = 0;
    if (!read_number(value.starts_with("+") ? value.substr(1) : value, -96, quarters) ||
        quarters > 96) {
        return false;
    }
    options.forms.zone = quarters;
    return true;
}

// A registration state by its word, as AT+CREG? numbers it.
bool registration(ProgramOptions& options, const std::string& value) {
    static constexpr std::pair<std::string_view, int> kStates[] = {
        {"none", 0}, {"home", 1}, {"searching", 2}, {"denied", 3}, {"roaming", 5}};
    for (const auto& [word, state] : kStates) {
        if (value == word) {
            options.network.registration = state;
            return true;
        }
    }
    return false;
}

// A network code: the country's three digits and the network's two or three.
bool network_code(ProgramOptions& options, const std::string& value) {
    options.network.code = value;
    return (value.size() == 5 || value.size() == 6) &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A switch that turns the field off.
template <auto... path> bool turn_off(ProgramOptions& options, const std::string&) {
    field<path...>(options) = false;
    return true;
}

constexpr auto kFaults = &ProgramOptions::faults;
constexpr auto kNetwork = &ProgramOptions::network;
constexpr auto kForms = &ProgramOptions::forms;

constexpr std::string_view kFaultSection = "Faults";
constexpr std::string_view kDeviceSection = "Device";
constexpr std::string_view kFormSection = "Modem reply forms";
constexpr std::string_view kOwnSection = "";

constexpr Option kOptions[] = {
    {"--silent", "", "", kFaultSection, "read requests, answer nothing",
     turn_on<kFaults, &Faults::silent>},
    {"--nak", "", "", kFaultSection, "answer every request with NAK",
     turn_on<kFaults, &Faults::nak_all>},
    {"--bad-checksum", "", "", kFaultSection, "send reply frames with a wrong checksum",
     turn_on<kFaults, &Faults::corrupt_checksum>},
    {"--chunk", "", "N", kFaultSection, "send replies in chunks of N bytes",
     number<1, kFaults, &Faults::chunk_size>},
    {"--pause", "", "MS", kFaultSection, "pause MS milliseconds between chunks",
     number<0, kFaults, &Faults::chunk_pause_ms>},
    {"--trailing-byte", "", "", kFaultSection, "send a line feed after each reply frame",
     turn_on<kFaults, &Faults::trailing_byte>},
    {"--stray", "", "TEXT", kFaultSection, "send TEXT before each reply frame",
     text<kFaults, &Faults::stray_prefix>},
    {"--ack-first", "", "", kFaultSection, "send a lone ACK before each reply frame",
     turn_on<kFaults, &Faults::ack_before_frame>},
    {"--delay", "", "MS", kFaultSection, "answer after MS milliseconds",
     number<0, kFaults, &Faults::reply_delay_ms>},
    {"--hang-up", "", "", kFaultSection, "hang up the line in the middle of a reply",
     turn_on<kFaults, &Faults::hang_up_mid_reply>},
    {"--vanish", "", "", kFaultSection, "hang up the line on a request, without answering",
     turn_on<kFaults, &Faults::vanish_on_request>},
    {"--instant", "", "", kFaultSection,
     "answer as soon as a request starts, before the\nrest of it is read",
     turn_on<kFaults, &Faults::instant>},
    {"--instant-command", "", "TEXT", kFaultSection,
     "the command whose reply --instant sends (default V)",
     any_text<kFaults, &Faults::instant_command>},
    {"--line-speed", "", "BPS", kFaultSection, "pace the line at BPS bit/s both ways",
     number<1, kFaults, &Faults::line_speed>},
    {"--only-for", "", "PREFIX", kFaultSection,
     "apply the faults only to commands starting with PREFIX", text<&ProgramOptions::only_for>},

    {"--no-sim", "", "", kDeviceSection, "no SIM card in the modem",
     turn_on<&ProgramOptions::no_sim>},
    {"--no-pin", "", "", kDeviceSection, "the SIM's PIN request is off",
     turn_on<&ProgramOptions::no_pin>},
    {"--pin", "", "PIN", kDeviceSection, "the SIM's PIN (default 1234)",
     any_text<&ProgramOptions::pin>},
    {"--signal", "", "N", kDeviceSection, "signal strength reported by AT+CSQ (default 21)",
     number<0, &ProgramOptions::signal>},
    {"--attempts", "", "N", kDeviceSection,
     "PIN attempts left on the SIM (default 3; 0: the SIM\nwaits for its PUK)",
     number<0, &ProgramOptions::attempts>},
    {"--registration", "", "STATE", kDeviceSection,
     "what AT+CREG? reports once the SIM is ready: home\n(default), roaming, searching, denied or "
     "none",
     registration},
    {"--network", "", "NAME", kDeviceSection,
     "AT+COPS? names the network by NAME instead of its\ncode", text<kNetwork, &Network::name>},
    {"--network-code", "", "CODE", kDeviceSection,
     "the network's code AT+COPS? reports (default 22001)", network_code},
    {"--gprs-detached", "", "", kDeviceSection, "AT+CGATT? reports the modem detached from GPRS",
     turn_off<kNetwork, &Network::gprs_attached>},

    {"--echo", "", "", kFormSection, "the modem echoes AT commands",
     turn_on<&ProgramOptions::echo>},
    {"--zone", "", "QQ", kFormSection,
     "AT+CCLK? reports local time with the zone suffix QQ,\nin quarter hours from UTC (+04 is "
     "UTC+1 h, -96 to 96)",
     zone},
    {"--gsn-prefix", "", "", kFormSection, "AT+GSN answers +GSN: and the IMEI in quotes",
     turn_on<kForms, &ReplyForms::gsn_prefix>},
    {"--quoted-pin-state", "", "", kFormSection, "AT+CPIN? answers +CPIN: \"SIM PIN\"",
     turn_on<kForms, &ReplyForms::quoted_pin_state>},
    {"--unsolicited", "", "LINE", kFormSection,
     "send LINE (such as \"+CREG: 1\") before every answer",
     text<kForms, &ReplyForms::unsolicited>},
    {"--error-for", "", "CMD", kFormSection,
     "refuse AT commands starting with CMD (such as AT^SCID)",
     text<kForms, &ReplyForms::error_for>},
    {"--error-line", "", "TEXT", kFormSection, "the refusal's line (default \"+CME ERROR: 10\")",
     text<kForms, &ReplyForms::error_line>},

    {"--descriptor", "", "FILE", kOwnSection, "answer \"J\" with the content of FILE",
     text<&ProgramOptions::descriptor_file>},
    {"--verbose", "-v", "", kOwnSection, "print every request and reply",
     turn_on<&ProgramOptions::verbose>},
    {"--trace", "", "", kOwnSection,
     "print every byte on the line, one record a line, as\nthe console's trace does (> from "
     "the console, < to it)",
     turn_on<&ProgramOptions::trace>},
    {"--help", "-h", "", kOwnSection, "show the options and exit", nullptr},
};

const Option* find_option(std::string_view arg) {
    for (const Option& option : kOptions) {
        if (arg == option.name || (!option.alias.empty() && arg == option.alias)) {
            return &option;
        }
    }
    return nullptr;
}

// --help's lines of one option: its names and value, then its text from
// the column kHelpColumn, on a line of its own when the names reach it.
constexpr std::size_t kHelpColumn = 22;

std::string help_lines(const Option& option) {
    std::string names = "  ";
    if (!option.alias.empty()) {
        names += std::string(option.alias) + ", ";
    }
    names += option.name;
    if (!option.argument.empty()) {
        names += " " + std::string(option.argument);
    }
    std::string out = names;
    if (names.size() + 2 > kHelpColumn) {
        out += '\n';
        names.clear();
    }
    std::string_view help = option.help;
    for (std::size_t line = 0; !help.empty(); ++line) {
        const std::size_t stop = std::min(help.find('\n'), help.size());
        out += std::string(kHelpColumn - (line == 0 ? names.size() : 0), ' ');
        out += help.substr(0, stop);
        out += '\n';
        help.remove_prefix(std::min(stop + 1, help.size()));
    }
    return out;
}

} // namespace

std::span<const Option> option_table() {
    return kOptions;
}

std::string usage_line(std::string_view program) {
    return "usage: " + std::string(program) + " <link-path> [options]\n";
}

std::string usage(std::string_view program) {
    std::string out = usage_line(program) +
                      "Imitates the communicator on a pseudo-terminal linked at <link-path>.\n";
    std::optional<std::string_view> section;
    for (const Option& option : kOptions) {
        if (option.section != section) {
            section = option.section;
            out += '\n';
            if (!section->empty()) {
                out += std::string(*section) + ":\n";
            }
        }
        out += help_lines(option);
    }
    return out;
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
        const Option* option = find_option(arg);
        if (option == nullptr) {
            if (arg.starts_with("-")) {
                return fail("unknown option " + arg);
            }
            if (have_link) {
                return fail("more than one link path: " + arg);
            }
            options.link_path = arg;
            have_link = true;
            continue;
        }
        if (option->set == nullptr) {
            result.help = true;
            return result;
        }
        const bool takes_value = !option->argument.empty();
        if ((takes_value && i + 1 >= args.size()) ||
            !option->set(options, takes_value ? args[++i] : std::string())) {
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
    modem.network() = options.network;
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
