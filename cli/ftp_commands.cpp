// SPDX-License-Identifier: Apache-2.0
// The six FTP upload parameters: read, and sent with an optional read-back.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/device_text.h"
#include "device/ftp_parameters.h"
#include "device/ftp_replies.h"
#include "device/ftp_verify.h"
#include "device/operations.h"
#include "device/profile.h"

#include <QJsonArray>

#include <algorithm>

namespace tessal::cli {

namespace {

using device::FtpParameter;

std::size_t at(FtpParameter parameter) {
    return static_cast<std::size_t>(parameter);
}

const char* field_of(FtpParameter parameter) {
    return device::ftp_parameter(parameter).field;
}

Result ftp_get(Commands& c) {
    const settings::Settings& settings = c.settings();
    auto [report, read] =
        c.with_session([&](device::Session& s) { return device::read_ftp(s, settings); });
    if (read.rows_read < device::kFtpParameterTable.size()) {
        return failure(report);
    }
    const std::vector<Field> fields{
        {field_of(FtpParameter::address), device::joined_address(read.address)},
        {field_of(FtpParameter::user), read.texts[0]},
        {field_of(FtpParameter::password), device::kHidden},
        {field_of(FtpParameter::for_send), read.texts[2]},
        {field_of(FtpParameter::command), read.texts[3]},
        {field_of(FtpParameter::gprs), read.gprs},
        read.operator_index
            ? Field{"operator", settings.operator_names[*read.operator_index].value_or("")}
            : Field{"operator", {}, Field::State::missing}};
    return grouped("ftp", fields, field_lines(fields));
}

// The row of the operator of that name among those in use, or -1.
int operator_named(const settings::Settings& settings, const std::string& name) {
    for (std::size_t i = 0; i < settings::operators_in_use(settings); ++i) {
        if (settings.operator_names[i].value_or("") == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The GPRS row from --operator or --gprs; false, with `refusal` set, when
// they cannot be used.
bool gprs_row(Commands& c, device::FtpRows& rows, Result& refusal) {
    const Invocation& in = c.in();
    if (in.has("--operator") && in.has("--gprs")) {
        refusal = usage_error("--operator and --gprs exclude each other");
        return false;
    }
    if (const std::optional<std::string> name = in.option("--operator")) {
        rows.operator_index = operator_named(c.settings(), *name);
        if (rows.operator_index < 0) {
            refusal = bad_value("no operator of that name in the settings file", *name);
            return false;
        }
        rows.ticked[at(FtpParameter::gprs)] = true;
    } else if (const std::optional<std::string> gprs = in.option("--gprs")) {
        rows.gprs = *gprs;
        rows.ticked[at(FtpParameter::gprs)] = true;
    }
    return true;
}

// The rows the options give: each given option ticks its row, the rest are
// not sent.  Nothing, with `refusal` set, for an option that cannot be used.
std::optional<device::FtpRows> rows_given(Commands& c, Result& refusal) {
    device::FtpRows rows;
    if (const std::optional<std::string> address = c.in().option("--address")) {
        const std::optional<std::array<std::string, 4>> octets = device::four_octets(*address);
        if (!octets) {
            refusal = usage_error("--address takes A.B.C.D");
            return std::nullopt;
        }
        rows.ticked[at(FtpParameter::address)] = true;
        rows.address = *octets;
    }
    // The text rows in the order FtpRows holds them.
    constexpr std::array<std::pair<const char*, FtpParameter>, 4> kTextOptions{
        {{"--user", FtpParameter::user},
         {"--password-file", FtpParameter::password},
         {"--for-send", FtpParameter::for_send},
         {"--command", FtpParameter::command}}};
    for (std::size_t i = 0; i < kTextOptions.size(); ++i) {
        const auto [option, parameter] = kTextOptions[i];
        std::optional<std::string> value = c.in().option(option);
        if (value && parameter == FtpParameter::password) {
            value = c.secret_from_file(*value);
            if (!value) {
                refusal = usage_error("the password file cannot be read");
                return std::nullopt;
            }
        }
        if (value) {
            rows.ticked[at(parameter)] = true;
            rows.texts[i] = *value;
        }
    }
    if (!gprs_row(c, rows, refusal)) {
        return std::nullopt;
    }
    return rows;
}

// The ticked rows' fields by what became of them.
struct Outcome {
    QJsonArray written, not_written, unknown;
};

Outcome outcome(const device::FtpRows& rows, const device::FtpSent& sent,
                std::optional<FtpParameter> lost, std::optional<bool> lost_taken) {
    Outcome o;
    for (std::size_t row = 0; row < rows.ticked.size(); ++row) {
        if (!rows.ticked[row]) {
            continue;
        }
        const bool is_lost = lost && at(*lost) == row;
        const bool done = device::ftp_acknowledged(sent, device::ftp_parameter_at(row)) ||
                          (is_lost && lost_taken == true);
        const char* field = device::kFtpParameterTable[row].field;
        (done ? o.written : is_lost && !lost_taken ? o.unknown : o.not_written).append(field);
    }
    return o;
}

// The result of a send that did not end with every acknowledgement.
Result unfinished(const device::Report& report, const Outcome& o, bool every_value_taken) {
    if (every_value_taken) {
        // Every value reached the device; only an acknowledgement was lost.
        Result r = single({"message", device::kMsgChanged});
        r.values["written"] = o.written;
        return r;
    }
    Result r = failure(report);
    r.values["written"] = o.written;
    r.values["not_written"] = o.not_written;
    if (!o.unknown.isEmpty()) {
        r.values["unknown"] = o.unknown;
    }
    if (!o.written.isEmpty()) {
        as_partial(r);
    }
    return r;
}

// --verify: every parameter sent must read as it was sent.
Result verified(Commands& c, const device::FtpRows& rows, Result r) {
    auto [check, differing] = c.with_session(
        [&](device::Session& s) { return device::verify_ftp(s, rows, c.settings()); });
    if (!differing) {
        return failure(check);
    }
    if (!differing->empty()) {
        QJsonArray mismatched;
        std::string names;
        for (const FtpParameter parameter : *differing) {
            mismatched.append(field_of(parameter));
            names += (names.empty() ? "" : ", ") + std::string(field_of(parameter));
        }
        mismatch(r, names);
        r.values["mismatched"] = mismatched;
    }
    return r;
}

Result ftp_set(Commands& c) {
    Result refusal;
    const std::optional<device::FtpRows> rows = rows_given(c, refusal);
    if (!rows) {
        return refusal;
    }
    if (std::none_of(rows->ticked.begin(), rows->ticked.end(), [](bool t) { return t; })) {
        return usage_error("ftp set needs at least one parameter to send");
    }
    // Every value is checked as the window checks it before anything is sent.
    if (const std::optional<device::FtpRefusal> refused =
            device::ftp_rows_refusal(*rows, c.settings())) {
        const device::FtpParameterRow& row = device::ftp_parameter(refused->row);
        return bad_value(row.refusal, std::string(row.field) + ": " + refused->why);
    }
    auto [report, sent] = c.with_session(
        [&](device::Session& s) { return device::send_ftp(s, *rows, c.settings()); });
    // A row whose acknowledgement was lost: a read decides where one is possible.
    const std::optional<FtpParameter> lost = device::ftp_lost_row(*rows, sent, report);
    std::optional<bool> lost_taken;
    if (lost) {
        lost_taken = c.with_session([&](device::Session& s) {
                          return device::ftp_lost_row_taken(s, *rows, *lost, c.settings());
                      }).second;
    }
    const Outcome o = outcome(*rows, sent, lost, lost_taken);
    if (!sent.complete) {
        return unfinished(report, o, lost && lost_taken == true && o.not_written.isEmpty());
    }
    Result r = message_result(report);
    r.values["written"] = o.written;
    return c.in().has("--verify") ? verified(c, *rows, r) : r;
}

constexpr Command kRows[] = {
    {"ftp get", "", "", "", Reach::device, ftp_get},
    {"ftp set", "",
     "--address= --user= --password-file= --for-send= --command= --operator= --gprs= --verify",
     "[--address A.B.C.D] [--user U] [--password-file F] [--for-send PATH] [--command PATH] "
     "[--operator NAME | --gprs TEXT] [--verify]",
     Reach::device, ftp_set},
};

} // namespace

std::span<const Command> ftp_commands() {
    return kRows;
}

} // namespace tessal::cli
