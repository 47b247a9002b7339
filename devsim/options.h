// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device.h"
#include "faults.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessal::devsim {

// What the tessal-devsim command line asks for.
struct ProgramOptions {
    std::filesystem::path link_path;
    Faults faults;
    std::string only_for; // non-empty: the faults hit only commands starting with this
    bool verbose = false; // print every request and reply
    bool trace = false;   // print the line's bytes as the console's trace does
    // Device set-up.
    bool no_sim = false;
    bool no_pin = false;
    std::optional<std::string> pin;
    std::optional<int> signal;
    bool echo = false;
    std::optional<int> attempts;
    Network network;
    ReplyForms forms;
    std::optional<std::filesystem::path> descriptor_file;
};

struct ParsedArguments {
    std::optional<ProgramOptions> options; // empty on an error or for --help
    bool help = false;
    std::string error;
};

// One option of the command line: what --help and the manual page show of
// it and what it sets.
struct Option {
    std::string_view name;     // "--chunk"
    std::string_view alias;    // a short name ("-v"), or empty
    std::string_view argument; // its value as --help names it ("N"); empty for a switch
    std::string_view section;  // the group it is listed in; empty for the program's own
    std::string_view help;     // --help's text, its lines apart by '\n'
    // Takes the option into `options`, with its value (empty for a switch);
    // false for a value it cannot take.  None for --help.
    bool (*set)(ProgramOptions& options, const std::string& value);
};

// Every option, in the order --help lists them.
std::span<const Option> option_table();

// Reads the arguments after the program name.
ParsedArguments parse_arguments(const std::vector<std::string>& args);

// The one-line synopsis, and the full text with every option.
std::string usage_line(std::string_view program);
std::string usage(std::string_view program);

// Applies the device set-up of `options`; `descriptor` is the descriptor
// file's content, when one was named.
void configure(Device& device, const ProgramOptions& options,
               const std::optional<std::string>& descriptor);

// Line ends made CR LF, as the descriptor needs them (files written on
// Linux have bare LF).
std::string with_crlf_lines(std::string_view text);

} // namespace tessal::devsim
