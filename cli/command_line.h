// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessal::cli {

// What the command line asked for.  Global options may stand before or
// after the command; everything else belongs to the command.
struct Invocation {
    std::optional<std::string> port;     // --port N|PATH
    std::optional<std::string> speed;    // --speed BPS
    std::optional<std::string> settings; // --settings FILE
    std::optional<std::string> timeout;  // --timeout MS
    std::optional<std::string> trace;    // --trace FILE
    // Who does the work, for the service book: --technician NAME
    // --authorization NUMBER.
    std::optional<std::string> technician;
    std::optional<std::string> authorization;
    bool json = false;
    bool help = false;
    bool version = false;
    bool commands = false; // --commands: each command's words and options

    // The command's words ("clock", "set") and its plain arguments, in order.
    std::vector<std::string> words;
    // The command's own options: "--season" -> "summer", "--yes" -> "".
    std::map<std::string, std::string> options;

    bool has(const std::string& option) const { return options.count(option) > 0; }
    std::optional<std::string> option(const std::string& name) const;
};

// Reads the arguments (without the program's name).  Nothing, with `error`
// saying why, for an unknown option, a missing value or an option given
// twice.
std::optional<Invocation> parse_command_line(const std::vector<std::string>& arguments,
                                             std::string& error);

} // namespace tessal::cli
