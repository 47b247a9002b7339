// SPDX-License-Identifier: Apache-2.0
// The device check: every stage as a line, the verdict last.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/check.h"
#include "device/profile_file.h"

#include <QJsonArray>

#include <algorithm>

namespace tessal::cli {

namespace {

// One stage as the JSON object gives it.
QJsonObject stage_object(const device::StageResult& stage) {
    std::vector<Field> fields{{"stage", device::check_stage(stage.stage).name},
                              {"outcome", device::check_outcome(stage.outcome).name},
                              {"reading", stage.reading}};
    const std::optional<device::CheckReason> reason = stage.reason;
    fields.push_back(
        maybe("reason", reason ? std::optional<std::string>(device::check_reason(*reason).code)
                               : std::nullopt));
    fields.push_back(
        maybe("text", reason ? std::optional<std::string>(device::check_reason(*reason).text)
                             : std::nullopt));
    QJsonObject object;
    add_fields(object, fields);
    return object;
}

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

    Result r;
    QJsonArray stages;
    for (const device::StageResult& stage : result.stages) {
        stages.append(stage_object(stage));
    }
    QJsonArray warnings;
    for (const device::StageResult* warning : result.warnings()) {
        warnings.append(device::check_reason(*warning->reason).code);
    }
    const device::CheckReasonRow& verdict = device::check_reason(result.verdict());
    QJsonObject object;
    object["stages"] = stages;
    object["warnings"] = warnings;
    add_fields(object, {{"verdict", verdict.code}, {"verdict_text", device::verdict_text(result)}});
    r.values["check"] = object;
    // Device text, made visible by the check, and each line once more for
    // the terminal.
    const std::string text = device::check_text(result);
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        r.text += printable(text.substr(from, end - from)) + "\n";
        from = end + 1;
    }
    r.raw = true; // the stages are shown whatever the verdict
    if (!result.passed()) {
        // A port that cannot be opened fails as for every command.
        const bool no_port = result.verdict() == device::CheckReason::port_unavailable;
        const Result failed =
            no_port ? failure(report)
                    : refused(kCheckFailed, verdict.code, device::verdict_text(result));
        r.exit = failed.exit;
        r.error = failed.error;
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
