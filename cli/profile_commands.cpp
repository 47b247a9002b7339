// SPDX-License-Identifier: Apache-2.0
// Configuration profiles: the device's values written to a file, compared
// with one and applied from one.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/device_text.h"
#include "device/profile.h"
#include "device/profile_file.h"

#include <QDateTime>
#include <QJsonObject>

#include <algorithm>
#include <iterator>

namespace tessal::cli {

namespace {

// The profile in the file, or why it cannot be used: read, parsed and its
// values checked as every front end does.
std::optional<device::Profile> profile_file(const std::string& path, Result& refused) {
    device::LoadedProfile loaded = device::load_profile(path);
    if (!loaded.profile) {
        refused = bad_value(loaded.message, loaded.problem);
    }
    return std::move(loaded.profile);
}

std::string differ_count(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " value differs" : " values differ");
}

// A value's JSON members, from the one list of its parts the register's
// text takes them from too, each without its empty members.
QJsonObject value_members(const device::ValueState& v) {
    QJsonObject members;
    for (const auto& [name, text] : device::value_parts(v)) {
        if (!text.empty()) {
            members[QLatin1String(name)] = device::from_device(text);
        }
    }
    return members;
}

// Every value of an apply: its JSON object, and a line for a person
// ("ftp.user: confirmed (terminal -> tech)").
constexpr Column<device::ValueState> kValueColumns[] = {
    {"", [](const device::ValueState& v) { return members(value_members(v)); }},
    {"", [](const device::ValueState& v) { return device_text(device::value_line(v)); }, {""}},
};

// A value that differs: "ftp.user: terminal -> tech".
constexpr Column<device::ValueState> kDifferenceColumns[] = {
    {"field", [](const device::ValueState& v) { return device_text(v.field); }, {""}},
    {"device",
     [](const device::ValueState& v) { return device_text(v.before.value_or("")); },
     {": ", "", Line::Shown::quoted}},
    {"profile",
     [](const device::ValueState& v) { return device_text(v.wanted); },
     {" -> ", "", Line::Shown::quoted}},
};

Result profile_export(Commands& c) {
    const std::string& file = c.in().words[2];
    auto [report, profile] =
        c.with_session([&](device::Session& s) { return device::read_profile(s, c.settings()); });
    if (!profile) {
        return failure(report); // no file is written
    }
    profile->source.read_at =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    std::string problem;
    // A file with the password in it is for its owner's eyes only.
    const bool with_secrets = c.in().has("--with-secrets");
    if (!device::save_profile(file, *profile, with_secrets, problem)) {
        return bad_value("the profile file cannot be written", problem);
    }
    return single({"file", file, Field::State::text});
}

Result profile_diff(Commands& c) {
    Result refused;
    const std::optional<device::Profile> wanted = profile_file(c.in().words[2], refused);
    if (!wanted) {
        return refused;
    }
    // The checks of an apply: a profile it refuses is refused here too.
    if (const std::optional<std::string> problem = device::profile_problem(*wanted)) {
        return bad_value({}, *problem);
    }
    auto [report, device] =
        c.with_session([&](device::Session& s) { return device::read_profile(s, c.settings()); });
    if (!device) {
        return failure(report);
    }
    const std::vector<device::ValueState> compared = device::compare_profile(*device, *wanted);
    if (const std::optional<std::string> problem = device::write_problem(compared)) {
        return bad_value({}, *problem);
    }
    std::vector<device::ValueState> differences;
    std::copy_if(compared.begin(), compared.end(), std::back_inserter(differences),
                 [](const device::ValueState& v) {
                     return v.state != device::ValueState::State::unchanged;
                 });
    Result r;
    add_list(r, "differences", differences, kDifferenceColumns);
    add_fields(
        r, {{"same", std::to_string(compared.size() - differences.size()), Field::State::number}});
    r.shown_on_failure = true;
    if (!differences.empty()) {
        fail(r, Own::differs, {}, differ_count(differences.size()));
    }
    return r;
}

Result profile_apply(Commands& c) {
    Result refused;
    std::optional<device::Profile> wanted = profile_file(c.in().words[2], refused);
    if (!wanted) {
        return refused;
    }
    if (const std::optional<std::string> file = c.in().option("--password-file")) {
        std::optional<std::string>& password = wanted->ftp[device::FtpParameter::password];
        password = c.secret_from_file(*file);
        if (!password) {
            return usage_error("the password file cannot be read");
        }
    }
    const bool dry_run = c.in().has("--dry-run");
    auto [report, applied] = c.with_session([&](device::Session& s) {
        return device::apply_profile(s, *wanted, c.settings(), dry_run);
    });
    const std::vector<device::ValueState>& values = applied.values;
    const auto fields_in = [&values](device::ValueState::State state) {
        std::vector<std::string> fields;
        for (const device::ValueState& v : values) {
            if (v.state == state) {
                fields.push_back(v.field);
            }
        }
        return fields;
    };
    using Ending = device::Outcome::Ending;
    Result r;
    switch (applied.ending()) {
    case Ending::refused:
        // A value the device cannot hold is refused before anything is sent.
        return bad_value({}, applied.refusal);
    case Ending::not_read:
    case Ending::incomplete:
        r = failure(report);
        if (std::any_of(values.begin(), values.end(),
                        [](const auto& v) { return device::was_written(v.state); })) {
            as_partial(r); // some values are on the device, the rest are not
        }
        break;
    case Ending::read_back_differs: {
        std::string fields;
        for (const std::string& field : fields_in(device::ValueState::State::read_back_differs)) {
            fields += (fields.empty() ? "" : ", ") + field;
        }
        mismatch(r, fields);
        break;
    }
    case Ending::held_back:
        // A dry run: these would be written.
        fail(r, Own::differs, {},
             differ_count(fields_in(device::ValueState::State::differs).size()));
        break;
    case Ending::unchanged:
    case Ending::done:
        break;
    }
    if (!values.empty()) {
        add_list(r, "values", values, kValueColumns);
        r.shown_on_failure = true; // the lines are shown whatever the outcome
    }
    if (dry_run) {
        add_fields(r, {{"dry_run", "true", Field::State::truth}});
    }
    return r;
}

constexpr Command kRows[] = {
    {"profile export", "FILE", "--with-secrets", "[--with-secrets]", Reach::device, profile_export},
    {"profile diff", "FILE", "", "", Reach::device, profile_diff},
    {"profile apply", "FILE", "--dry-run --password-file=", "[--dry-run] [--password-file F]",
     Reach::device, profile_apply},
};

} // namespace

std::span<const Command> profile_commands() {
    return kRows;
}

} // namespace tessal::cli
