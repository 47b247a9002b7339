// SPDX-License-Identifier: Apache-2.0
// tessal-devsim's option table against what its command line takes and what
// its manual page says.
#include "devsim/options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tessal::devsim {
namespace {

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// What a person reads of one option: its section, its names and value, and
// its text as a fragment (on one line, the first letter small, no full stop).
std::string entry(std::string section, std::string_view names, std::string text) {
    replace_all(text, "\n", " ");
    if (text.ends_with('.')) {
        text.pop_back();
    }
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return section + " | " + std::string(names) + " | " + text;
}

// The manual page's option entries: a heading line after each .TP (the
// option's words: "-v --verbose", "--chunk N"), its text up to the next
// request; the sub-section "Other" holds the program's own options.
std::vector<std::string> manual_entries() {
    std::ifstream file(TESSAL_SOURCE_DIR "/devsim/tessal-devsim.1");
    std::stringstream page;
    page << file.rdbuf();
    std::string text = page.str();
    for (const char* escape : {"\\fI", "\\fB", "\\fR"}) {
        replace_all(text, escape, "");
    }
    replace_all(text, "\\-", "-");
    std::istringstream lines(text.substr(text.find(".SH OPTIONS\n") + 12));
    std::vector<std::string> entries;
    std::string section, names, entry_text;
    const auto close = [&] {
        if (!names.empty()) {
            entries.push_back(entry(section, names, entry_text));
        }
        names.clear();
        entry_text.clear();
    };
    bool heading = false;
    for (std::string line; std::getline(lines, line) && !line.starts_with(".SH");) {
        if (line.starts_with(".SS ")) {
            close();
            section = line.substr(4) == "Other" ? "" : line.substr(4);
        } else if (line == ".TP") {
            close();
            heading = true;
        } else if (std::exchange(heading, false)) {
            replace_all(line, "\"", "");
            replace_all(line, ",", "");
            std::istringstream words(line.substr(line.find(' ')));
            for (std::string word; words >> word;) {
                names += (names.empty() ? "" : " ") + word;
            }
        } else {
            entry_text += (entry_text.empty() ? "" : " ") + line;
        }
    }
    close();
    return entries;
}

TEST(DevsimOptions, ManualPageDescribesEachOptionAsHelpDoes) {
    std::vector<std::string> table;
    for (const Option& option : option_table()) {
        std::string names = std::string(option.alias) + " " + std::string(option.name) + " " +
                            std::string(option.argument);
        names.erase(0, names.find_first_not_of(' '));
        names.erase(names.find_last_not_of(' ') + 1);
        table.push_back(entry(std::string(option.section), names, std::string(option.help)));
    }
    EXPECT_EQ(manual_entries(), table);
    // The long names stand on a line of their own; the last group has no title.
    const std::string help = usage("tessal-devsim");
    EXPECT_NE(help.find("\n  --instant-command TEXT\n                      the command whose"),
              std::string::npos);
    EXPECT_NE(help.find("\n\n  --descriptor FILE   answer"), std::string::npos);
}

TEST(DevsimOptions, RefusesWhatItCannotTake) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } rows[] = {
        {{"--silent"}, "no link path given"},
        {{"/tmp/com1", "/tmp/com2"}, "more than one link path: /tmp/com2"},
        {{"/tmp/com1", "--bogus"}, "unknown option --bogus"},
        {{"/tmp/com1", "-"}, "unknown option -"},
        {{"/tmp/com1", "--chunk"}, "option --chunk needs a valid value"},
        {{"/tmp/com1", "--chunk", "0"}, "option --chunk needs a valid value"},
        {{"/tmp/com1", "--delay", "-1"}, "option --delay needs a valid value"},
        {{"/tmp/com1", "--signal", "21x"}, "option --signal needs a valid value"},
        {{"/tmp/com1", "--zone", "+97"}, "option --zone needs a valid value"},
        {{"/tmp/com1", "--stray", ""}, "option --stray needs a valid value"},
        {{"/tmp/com1", "--registration", "1"}, "option --registration needs a valid value"},
        {{"/tmp/com1", "--network-code", "2200"}, "option --network-code needs a valid value"},
        {{"/tmp/com1", "--network-code", "22x01"}, "option --network-code needs a valid value"},
    };
    for (const auto& row : rows) {
        const ParsedArguments parsed = parse_arguments(row.args);
        EXPECT_FALSE(parsed.options) << row.error;
        EXPECT_FALSE(parsed.help) << row.error;
        EXPECT_EQ(parsed.error, row.error);
    }
    const ParsedArguments help = parse_arguments({"/tmp/com1", "-h", "--bogus"});
    EXPECT_TRUE(help.help);
    EXPECT_FALSE(help.options);
}

TEST(DevsimOptions, EachOptionSetsItsOwnValue) {
    // clang-format off
    const ParsedArguments parsed = parse_arguments({
        "--nak", "--chunk", "3", "--stray", "X", "/tmp/com1", "--instant-command", "", "--pin", "",
        "--signal", "0", "--zone", "+04", "--error-line", "ERROR", "-v", "--only-for", "PFTP",
        "--descriptor", "midlet.jad", "--quoted-pin-state", "--no-sim", "--registration", "roaming",
        "--network-code", "220015", "--gprs-detached"});
    // clang-format on
    ASSERT_TRUE(parsed.options) << parsed.error;
    const ProgramOptions& o = *parsed.options;
    const auto yes = [](bool b) { return b ? "yes" : "no"; };
    std::ostringstream seen; // each value as the option gave it, the rest as they were
    seen << o.link_path.string() << " nak " << yes(o.faults.nak_all) << " silent "
         << yes(o.faults.silent) << " chunk " << o.faults.chunk_size << " stray "
         << o.faults.stray_prefix << " instant [" << o.faults.instant_command << "] pin ["
         << o.pin.value_or("-") << "] signal " << o.signal.value_or(-1) << " attempts "
         << o.attempts.value_or(-1) << " zone " << o.forms.zone.value_or(-1) << " error "
         << o.forms.error_line << " quoted " << yes(o.forms.quoted_pin_state) << " gsn "
         << yes(o.forms.gsn_prefix) << " verbose " << yes(o.verbose) << " trace " << yes(o.trace)
         << " only " << o.only_for << " descriptor " << o.descriptor_file.value_or("-").string()
         << " no-sim " << yes(o.no_sim) << " no-pin " << yes(o.no_pin) << " registration "
         << o.network.registration << " code " << o.network.code << " name [" << o.network.name
         << "] attached " << yes(o.network.gprs_attached);
    EXPECT_EQ(seen.str(),
              "/tmp/com1 nak yes silent no chunk 3 stray X instant [] pin [] signal 0 attempts "
              "-1 zone 4 error ERROR quoted yes gsn no verbose yes trace no only PFTP "
              "descriptor midlet.jad no-sim yes no-pin no registration 5 code 220015 name [] "
              "attached no");
}

} // namespace
} // namespace tessal::devsim
