// SPDX-License-Identifier: Apache-2.0
#include "command_table.h"

#include <algorithm>

namespace tessal::cli {

namespace {

constexpr const char* kUsageHead =
    "usage: tessal-cli [--port N|PATH] [--speed BPS] [--settings FILE] [--timeout MS]\n"
    "                  [--json] [--trace FILE] [--technician NAME]\n"
    "                  [--authorization NUMBER] COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n";

// The exit statuses after the commands, a status never split, in lines of
// at most this many characters.
constexpr std::size_t kUsageWidth = 72;

std::string usage_tail() {
    std::string text = "\nexit status:";
    std::size_t line = 1; // where the line being filled begins
    const std::span<const ExitStatus> statuses = exit_statuses();
    for (const ExitStatus& status : statuses) {
        const std::string item = std::to_string(status.exit) + " " + status.meaning +
                                 (&status == &statuses.back() ? "." : ",");
        if (text.size() - line + 1 + item.size() > kUsageWidth) {
            text += '\n';
            line = text.size();
        } else {
            text += ' ';
        }
        text += item;
    }
    return text + "\nSee tessal-cli(1).\n";
}

// An option as a row lists it: its name, and whether a value follows it.
struct Listed {
    std::string name;
    bool valued;
};

std::vector<Listed> listed_options(const Command& command) {
    std::vector<Listed> options;
    for (std::string word : split_words(command.options)) {
        const bool valued = word.back() == '=';
        if (valued) {
            word.pop_back();
        }
        options.push_back({word, valued});
    }
    return options;
}

// How many plain arguments a command takes: at least, at most.
std::pair<std::size_t, std::size_t> argument_count(const Command& command) {
    const std::vector<std::string> arguments = split_words(command.arguments);
    const auto optional = static_cast<std::size_t>(std::count_if(
        arguments.begin(), arguments.end(), [](const std::string& a) { return a[0] == '['; }));
    return {arguments.size() - optional, arguments.size()};
}

const Listed* find_option(const std::string& option) {
    static const std::vector<Listed> all = [] {
        std::vector<Listed> options;
        for (const Command& command : command_table()) {
            for (const Listed& listed : listed_options(command)) {
                options.push_back(listed);
            }
        }
        return options;
    }();
    const auto found = std::find_if(all.begin(), all.end(),
                                    [&option](const Listed& l) { return l.name == option; });
    return found == all.end() ? nullptr : &*found;
}

} // namespace

const std::vector<Command>& command_table() {
    static const std::vector<Command> table = [] {
        std::vector<Command> rows;
        for (const std::span<const Command> family :
             {device_commands(), clock_commands(), ftp_commands(), jad_commands(), sim_commands(),
              profile_commands(), check_commands(), service_commands()}) {
            rows.insert(rows.end(), family.begin(), family.end());
        }
#ifdef TESSAL_WITH_STATION
        for (const std::span<const Command> family :
             {station_commands(), chain_commands(), book_commands()}) {
            rows.insert(rows.end(), family.begin(), family.end());
        }
#endif
        return rows;
    }();
    return table;
}

std::vector<std::string> split_words(std::string_view text) {
    std::vector<std::string> words;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t blank = std::min(text.find(' ', from), text.size());
        if (blank > from) {
            words.emplace_back(text.substr(from, blank - from));
        }
        from = blank + 1;
    }
    return words;
}

bool known_option(const std::string& option) {
    return find_option(option) != nullptr;
}

bool option_takes_value(const std::string& option) {
    const Listed* listed = find_option(option);
    return listed != nullptr && listed->valued;
}

const Command* find_command(const std::vector<std::string>& words) {
    const Command* best = nullptr;
    std::size_t best_length = 0;
    for (const Command& command : command_table()) {
        const std::vector<std::string> own = split_words(command.words);
        const auto [least, most] = argument_count(command);
        const bool match = own.size() <= words.size() &&
                           std::equal(own.begin(), own.end(), words.begin()) &&
                           words.size() - own.size() >= least && words.size() - own.size() <= most;
        if (match && own.size() > best_length) {
            best = &command;
            best_length = own.size();
        }
    }
    return best;
}

bool takes_value(const Command& command, const std::string& option) {
    const std::vector<Listed> own = listed_options(command);
    return std::any_of(own.begin(), own.end(),
                       [&option](const Listed& l) { return l.name == option && l.valued; });
}

std::optional<std::string> foreign_option(const Command& command, const Invocation& in) {
    const std::vector<Listed> own = listed_options(command);
    for (const auto& [option, value] : in.options) {
        if (std::none_of(own.begin(), own.end(),
                         [&option](const Listed& l) { return l.name == option; })) {
            return option;
        }
    }
    return std::nullopt;
}

std::string usage_text() {
    std::string text = kUsageHead;
    for (const Command& command : command_table()) {
        text += std::string("  ") + command.words;
        for (const char* part : {command.arguments, command.usage}) {
            if (*part != '\0') {
                text += std::string(" ") + part;
            }
        }
        text += '\n';
    }
    return text + usage_tail();
}

std::string command_list() {
    std::string text;
    for (const Command& command : command_table()) {
        text += command.words;
        for (const Listed& option : listed_options(command)) {
            text += " " + option.name;
        }
        text += '\n';
    }
    return text;
}

} // namespace tessal::cli
