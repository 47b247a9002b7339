// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/commands.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

// tessal-cli's commands in one table: parsing, the usage text, the refusal
// of an option a command does not take and the list the completion and the
// manual page are checked against all come from it.
namespace tessal::cli {

// What a command needs before it runs.
enum class Reach {
    machine, // the settings and the machine's ports alone
    device,  // the line to the device, opened for it
    station, // the commissioning station or its register
    page,    // the register, and a page drawn: fonts, with no display needed
};

struct Command {
    const char* words;     // "ftp set"
    const char* arguments; // its plain arguments: "NAME VALUE"; "[NAME]" may be left out
    // The options it takes, blank between them; one that takes a value ends
    // in '=' ("--season= --verify").
    const char* options;
    const char* usage; // what the usage text shows after the words and arguments
    Reach reach;
    Result (*run)(Commands&);
};

// Each family's rows, in the order the usage text lists them.
std::span<const Command> device_commands();
std::span<const Command> clock_commands();
std::span<const Command> ftp_commands();
std::span<const Command> jad_commands();
std::span<const Command> sim_commands();
std::span<const Command> profile_commands();
std::span<const Command> check_commands();
std::span<const Command> service_commands();
#ifdef TESSAL_WITH_STATION
std::span<const Command> station_commands();
std::span<const Command> chain_commands();
std::span<const Command> book_commands();
#endif

// Every command, family after family.
const std::vector<Command>& command_table();

// The words of a text, split at its blanks.
std::vector<std::string> split_words(std::string_view text);

// Whether some command takes that option, and whether it takes a value.
bool known_option(const std::string& option);
bool option_takes_value(const std::string& option);

// The row for the words given ("jad get NAME"), or nullptr when no command
// has those words with that many arguments.
const Command* find_command(const std::vector<std::string>& words);
// Whether the command takes that option with a value.
bool takes_value(const Command& command, const std::string& option);
// An option given that the command does not take, or nothing.
std::optional<std::string> foreign_option(const Command& command, const Invocation& in);

// The text of --help, and one line per command with its words and options
// for --commands.
std::string usage_text();
std::string command_list();

} // namespace tessal::cli
