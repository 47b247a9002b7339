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

#include <algorithm>
#include <array>
#include <string_view>

namespace tessal::cli {

namespace {

using device::FtpParameter;
using device::FtpParameterRow;
using device::FtpValueKind;
using device::kFtpParameterTable;

const char* field_of(FtpParameter parameter) {
    return device::ftp_parameter(parameter).field;
}

Result ftp_get(Commands& c) {
    const settings::Settings& settings = c.settings();
    auto [report, read] =
        c.with_session([&](device::Session& s) { return device::read_ftp(s, settings); });
    if (read.rows_read < kFtpParameterTable.size()) {
        return failure(report);
    }
    std::vector<Field> fields;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        fields.push_back({row.field, row.secret ? device::kHidden : read.values[row.parameter]});
    }
    fields.push_back(
        read.operator_index
            ? Field{"operator", settings.operator_names[*read.operator_index].value_or("")}
            : Field{"operator", {}, Field::State::missing});
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

// The operator list's option, which stands in for the GPRS parameter
// string's.
constexpr const char* kOperatorOption = "--operator";

// The row's value from its option, the row ticked when the option is given:
// a secret read from the file the option names, an address of four octets,
// or for the GPRS parameter string an operator named by --operator.  False,
// with `refusal` set, when the option cannot be used.
bool option_value(Commands& c, const FtpParameterRow& row, device::FtpRows& rows, Result& refusal) {
    const Invocation& in = c.in();
    std::optional<std::string> value = in.option(row.option);
    const std::optional<std::string> name = in.option(kOperatorOption);
    if (row.kind == FtpValueKind::gprs && name) {
        if (value) {
            refusal = usage_error(std::string(kOperatorOption) + " and " + row.option +
                                  " exclude each other");
            return false;
        }
        rows.operator_index = operator_named(c.settings(), *name);
        if (*rows.operator_index < 0) {
            refusal = bad_value("no operator of that name in the settings file", *name);
            return false;
        }
        rows.ticked[row.parameter] = true;
        return true;
    }
    if (value && row.secret) {
        value = c.secret_from_file(*value);
        if (!value) {
            refusal = usage_error("the password file cannot be read");
            return false;
        }
    }
    if (value && row.kind == FtpValueKind::address && !device::four_octets(*value)) {
        refusal = usage_error(std::string(row.option) + " takes " + row.option_value);
        return false;
    }
    if (value) {
        rows.ticked[row.parameter] = true;
        rows.values[row.parameter] = *value;
    }
    return true;
}

// The rows the options give: each given option ticks its row, the rest are
// not sent.  Nothing, with `refusal` set, for an option that cannot be used.
std::optional<device::FtpRows> rows_given(Commands& c, Result& refusal) {
    device::FtpRows rows;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (!option_value(c, row, rows, refusal)) {
            return std::nullopt;
        }
    }
    return rows;
}

// The ticked rows' fields by what became of them.
struct Outcome {
    std::vector<std::string> written, not_written, unknown;
};

Outcome outcome(const device::FtpRows& rows, const device::FtpSent& sent,
                std::optional<FtpParameter> lost, std::optional<bool> lost_taken) {
    Outcome o;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (!rows.ticked[row.parameter]) {
            continue;
        }
        const bool is_lost = lost == row.parameter;
        const bool done =
            device::ftp_acknowledged(sent, row.parameter) || (is_lost && lost_taken == true);
        (done                     ? o.written
         : is_lost && !lost_taken ? o.unknown
                                  : o.not_written)
            .push_back(row.field);
    }
    return o;
}

// The result of a send that did not end with every acknowledgement.
Result unfinished(const device::Report& report, const Outcome& o, bool every_value_taken) {
    if (every_value_taken) {
        // Every value reached the device; only an acknowledgement was lost.
        Result r = single({"message", device::kMsgChanged});
        add_names(r, "written", o.written);
        return r;
    }
    Result r = failure(report);
    add_names(r, "written", o.written);
    add_names(r, "not_written", o.not_written);
    if (!o.unknown.empty()) {
        add_names(r, "unknown", o.unknown);
    }
    if (!o.written.empty()) {
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
        std::vector<std::string> mismatched;
        std::string names;
        for (const FtpParameter parameter : *differing) {
            mismatched.push_back(field_of(parameter));
            names += (names.empty() ? "" : ", ") + mismatched.back();
        }
        mismatch(r, names);
        add_names(r, "mismatched", mismatched);
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
        return unfinished(report, o, lost && lost_taken == true && o.not_written.empty());
    }
    Result r = message_result(report);
    add_names(r, "written", o.written);
    return c.in().has("--verify") ? verified(c, *rows, r) : r;
}

// The pieces a builder hands to `put`, joined into one text when the program
// is compiled.
template <auto Build> constexpr auto joined_text() {
    constexpr std::size_t kSize = [] {
        std::size_t size = 1; // the closing nul
        Build([&size](std::string_view piece) { size += piece.size(); });
        return size;
    }();
    std::array<char, kSize> text{};
    std::size_t at = 0;
    Build([&](std::string_view piece) {
        for (const char ch : piece) {
            text[at++] = ch;
        }
    });
    return text;
}

// "ftp set"'s options and its usage, each parameter's option in the table's
// order, the operator list's beside the GPRS string's.
constexpr auto kSetOptions = joined_text<[](auto put) {
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (row.kind == FtpValueKind::gprs) {
            put(kOperatorOption);
            put("= ");
        }
        put(row.option);
        put("= ");
    }
    put("--verify");
}>();
constexpr auto kSetUsage = joined_text<[](auto put) {
    for (const FtpParameterRow& row : kFtpParameterTable) {
        put("[");
        if (row.kind == FtpValueKind::gprs) {
            put(kOperatorOption);
            put(" NAME | ");
        }
        put(row.option);
        put(" ");
        put(row.option_value);
        put("] ");
    }
    put("[--verify]");
}>();

constexpr Command kRows[] = {
    {"ftp get", "", "", "", Reach::device, ftp_get},
    {"ftp set", "", kSetOptions.data(), kSetUsage.data(), Reach::device, ftp_set},
};

} // namespace

std::span<const Command> ftp_commands() {
    return kRows;
}

} // namespace tessal::cli
