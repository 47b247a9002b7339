// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device.h"
#include "faults.h"

#include <filesystem>
#include <optional>
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
    ReplyForms forms;
    std::optional<std::filesystem::path> descriptor_file;
};

struct ParsedArguments {
    std::optional<ProgramOptions> options; // empty on an error or for --help
    bool help = false;
    std::string error;
};

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
