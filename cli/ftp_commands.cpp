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

// The fields of the rows sent, by what became of them: written (confirmed
// or read back otherwise too), not written, unknown.
struct Sent {
    std::vector<std::string> written, not_written, unknown, mismatched;
    std::string mismatched_names;
};

Sent sent_fields(const device::Outcome& outcome) {
    using State = device::ValueState::State;
    Sent sent;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        const device::ValueState* v = outcome.value(device::ftp_field(row.parameter));
        if (v == nullptr) {
            continue;
        }
        (device::was_written(v->state) ? sent.written
         : v->state == State::unknown  ? sent.unknown
                                       : sent.not_written)
            .push_back(row.field);
        if (v->state == State::read_back_differs) {
            sent.mismatched.push_back(row.field);
            sent.mismatched_names +=
                (sent.mismatched_names.empty() ? "" : ", ") + std::string(row.field);
        }
    }
    return sent;
}

// The result of a send, the values read back where that was asked or needed.
Result sent_result(const device::Report& report, const device::Outcome& outcome) {
    const Sent sent = sent_fields(outcome);
    using Ending = device::Outcome::Ending;
    const Ending ending = outcome.ending();
    if (ending == Ending::done || ending == Ending::read_back_differs) {
        // Every value reached the device, though an acknowledgement may
        // have been lost on the way.
        Result r = single({"message", device::kMsgChanged});
        add_names(r, "written", sent.written);
        if (ending == Ending::read_back_differs) {
            mismatch(r, sent.mismatched_names);
            add_names(r, "mismatched", sent.mismatched);
        }
        return r;
    }
    Result r = failure(report);
    add_names(r, "written", sent.written);
    add_names(r, "not_written", sent.not_written);
    if (!sent.unknown.empty()) {
        add_names(r, "unknown", sent.unknown);
    }
    if (!sent.written.empty()) {
        as_partial(r);
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
    device::Outcome outcome = report.writes.back();
    // --verify reads every value sent back; a value whose acknowledgement was
    // lost is read back to decide it where a read is possible.
    const bool verify = c.in().has("--verify") && sent.complete;
    const bool lost = std::any_of(outcome.values.begin(), outcome.values.end(), [](const auto& v) {
        return v.state == device::ValueState::State::unknown;
    });
    if (verify || lost) {
        auto [check, read] = c.with_session([&](device::Session& s) {
            return device::read_back_sent(s, outcome, *rows, c.settings(), verify);
        });
        if (!read && verify) {
            return failure(check);
        }
        c.recorder().settled(outcome); // the record tells what was read back
    }
    return sent_result(report, outcome);
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
