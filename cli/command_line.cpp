// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

namespace tessal::cli {

namespace {

// The commands' options: those that take a value, and the flags.
const std::set<std::string> kValued{
    "--season",  "--date",     "--time",     "--address",       "--user",     "--for-send",
    "--command", "--operator", "--gprs",     "--password-file", "--pin-file", "--profile",
    "--ports",   "--speeds",   "--register", "--since",         "--csv",      "--station"};
const std::set<std::string> kFlags{"--yes", "--from-pc", "--verify", "--with-secrets", "--dry-run"};

} // namespace

std::optional<std::string> Invocation::option(const std::string& name) const {
    const auto found = options.find(name);
    return found == options.end() ? std::nullopt : std::optional(found->second);
}

std::optional<Invocation> parse_command_line(const std::vector<std::string>& arguments,
                                             std::string& error) {
    Invocation in;
    const std::map<std::string, std::optional<std::string> Invocation::*> globals{
        {"--port", &Invocation::port},
        {"--speed", &Invocation::speed},
        {"--settings", &Invocation::settings},
        {"--timeout", &Invocation::timeout},
        {"--trace", &Invocation::trace}};
    bool plain_only = false; // after "--" every word is an argument
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i];
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
        const auto value = [&]() -> std::optional<std::string> {
            if (attached) {
                return attached;
            }
            if (i + 1 >= arguments.size()) {
                error = "option " + word + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (word == "--json" || word == "-h" || word == "--help" || word == "--version") {
            if (attached) {
                error = "option " + word + " takes no value";
                return std::nullopt;
            }
            (word == "--json" ? in.json : word == "--version" ? in.version : in.help) = true;
        } else if (const auto global = globals.find(word); global != globals.end()) {
            std::optional<std::string>& field = in.*(global->second);
            if (field) {
                error = "option " + word + " given twice";
                return std::nullopt;
            }
            field = value();
            if (!field) {
                return std::nullopt;
            }
        } else if (kValued.count(word) > 0 || kFlags.count(word) > 0) {
            if (in.options.count(word) > 0) {
                error = "option " + word + " given twice";
                return std::nullopt;
            }
            if (kFlags.count(word) > 0) {
                if (attached) {
                    error = "option " + word + " takes no value";
                    return std::nullopt;
                }
                in.options[word] = "";
            } else if (const std::optional<std::string> given = value()) {
                in.options[word] = *given;
            } else {
                return std::nullopt;
            }
        } else {
            error = "unknown option " + word;
            return std::nullopt;
        }
    }
    return in;
}

} // namespace tessal::cli
