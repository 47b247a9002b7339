// SPDX-License-Identifier: Apache-2.0
// The device check: every stage as a line, the verdict last.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/check.h"
#include "device/profile_file.h"

#include <algorithm>

namespace tessal::cli {

namespace {

// A stage, as the JSON object gives it (the text shows the check's own
// lines instead).
constexpr Column<device::StageResult> kStageColumns[] = {
    {"stage",
     [](const device::StageResult& s) { return own_text(device::check_stage(s.stage).name); }},
    {"outcome",
     [](const device::StageResult& s) { return own_text(device::check_outcome(s.outcome).name); }},
    {"reading", [](const device::StageResult& s) { return device_text(s.reading); }},
    {"reason",
     [](const device::StageResult& s) {
         return s.reason ? own_text(device::check_reason(*s.reason).code) : maybe({}, std::nullopt);
     }},
    {"text",
     [](const device::StageResult& s) {
         return s.reason ? own_text(device::check_reason(*s.reason).text) : maybe({}, std::nullopt);
     }},
};

Result check(Commands& c) {
    device::CheckInput input;
    input.settings = c.settings();
    if (const std::optional<std::string> file = c.in().option("--profile")) {
        device::LoadedProfile loaded = device::load_profile(*file);
        if (!loaded.profile) {
            return bad_value(loaded.message, loaded.problem);
        }
        input.profile = std::move(loaded.profile);
    }
    auto [report, result] =
        c.with_session([&input](device::Session& s) { return device::check_device(s, input); });

    // The check's own lines for a person: the stages, the warnings, the
    // verdict; device text in them as visible characters.
    Result r;
    const std::string text = device::check_text(result);
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        r.text += printable(text.substr(from, end - from)) + (end < text.size() ? "\n" : "");
        from = end + 1;
    }
    Result stages;
    add_list(stages, "stages", result.stages, kStageColumns);
    std::vector<std::string> warnings;
    for (const device::StageResult* warning : result.warnings()) {
        warnings.push_back(device::check_reason(*warning->reason).code);
    }
    add_names(stages, "warnings", warnings);
    const device::CheckReasonRow& verdict = device::check_reason(result.verdict());
    std::vector<Field> fields{members(stages.values), own_text(verdict.code),
                              own_text(device::verdict_text(result))};
    fields[1].name = "verdict";
    fields[2].name = "verdict_text";
    add_group(r, "check", fields);
    r.shown_on_failure = true; // the stages are shown whatever the verdict
    if (!result.passed()) {
        // A port that cannot be opened fails as for every command.
        if (result.verdict() == device::CheckReason::port_unavailable) {
            const Result failed = failure(report);
            r.exit = failed.exit;
            r.error = failed.error;
        } else {
            fail(r, Own::check_failed, device::verdict_text(result), verdict.code);
        }
    }
    return r;
}

constexpr Command kRows[] = {
    {"check", "", "--profile=", "[--profile FILE]", Reach::device, check},
};

} // namespace

std::span<const Command> check_commands() {
    return kRows;
}

} // namespace tessal::cli
