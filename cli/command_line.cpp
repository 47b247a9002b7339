// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

#include "command_table.h"

namespace tessal::cli {

namespace {

// The global options that take a value, and where each goes.
const std::map<std::string, std::optional<std::string> Invocation::*> kGlobals{
    {"--port", &Invocation::port},
    {"--speed", &Invocation::speed},
    {"--settings", &Invocation::settings},
    {"--timeout", &Invocation::timeout},
    {"--trace", &Invocation::trace},
    {"--technician", &Invocation::technician},
    {"--authorization", &Invocation::authorization}};

// The arguments being read, one after another.
struct Reader {
    const std::vector<std::string>& arguments;
    std::size_t at = 0;
    std::string& error;

    // The value of the option `word`: attached ("--name=value") or the next
    // argument.
    std::optional<std::string> value(const std::string& word,
                                     const std::optional<std::string>& attached) {
        if (attached) {
            return attached;
        }
        if (at + 1 >= arguments.size()) {
            error = "option " + word + " needs a value";
            return std::nullopt;
        }
        return arguments[++at];
    }
};

// Reads the option `word` into `in`; false, with the error set, when it
// cannot be.
bool take_option(Invocation& in, const std::string& word,
                 const std::optional<std::string>& attached, Reader& reader) {
    const auto refuse = [&reader, &word](const char* why) {
        reader.error = "option " + word + why;
        return false;
    };
    // After a command that writes a JSON file (--json FILE), --json with a
    // value is the command's own; anywhere else it asks for the JSON object.
    const Command* command = in.words.empty() ? nullptr : find_command(in.words);
    const bool valued = attached || (reader.at + 1 < reader.arguments.size() &&
                                     reader.arguments[reader.at + 1].rfind("--", 0) != 0);
    const bool owned = word == "--json" && command != nullptr && valued &&
                       takes_value(*command, word) && in.options.count(word) == 0;
    if (owned) {
        // read below as the command's option
    } else if (word == "--json" || word == "-h" || word == "--help" || word == "--version" ||
               word == "--commands") {
        if (attached) {
            return refuse(" takes no value");
        }
        (word == "--json"       ? in.json
         : word == "--version"  ? in.version
         : word == "--commands" ? in.commands
                                : in.help) = true;
        return true;
    }
    if (const auto global = kGlobals.find(word); global != kGlobals.end()) {
        std::optional<std::string>& field = in.*(global->second);
        if (field) {
            return refuse(" given twice");
        }
        field = reader.value(word, attached);
        return field.has_value();
    }
    if (!known_option(word)) {
        reader.error = "unknown option " + word;
        return false;
    }
    if (in.options.count(word) > 0) {
        return refuse(" given twice");
    }
    if (!option_takes_value(word)) {
        if (attached) {
            return refuse(" takes no value");
        }
        in.options[word] = "";
        return true;
    }
    const std::optional<std::string> given = reader.value(word, attached);
    if (given) {
        in.options[word] = *given;
    }
    return given.has_value();
}

} // namespace

std::optional<std::string> Invocation::option(const std::string& name) const {
    const auto found = options.find(name);
    return found == options.end() ? std::nullopt : std::optional(found->second);
}

std::optional<Invocation> parse_command_line(const std::vector<std::string>& arguments,
                                             std::string& error) {
    Invocation in;
    Reader reader{arguments, 0, error};
    bool plain_only = false; // after "--" every word is an argument
    for (; reader.at < arguments.size(); ++reader.at) {
        std::string word = arguments[reader.at];
        if (plain_only || word.size() < 2 || word[0] != '-') {
            in.words.push_back(word);
            continue;
        }
        if (word == "--") {
            plain_only = true;
            continue;
        }
        // "--name=value" stands for "--name value".
        std::optional<std::string> attached;
        if (const std::size_t equals = word.find('=');
            word.rfind("--", 0) == 0 && equals != std::string::npos) {
            attached = word.substr(equals + 1);
            word.erase(equals);
        }
        if (!take_option(in, word, attached, reader)) {
            return std::nullopt;
        }
    }
    return in;
}

} // namespace tessal::cli
