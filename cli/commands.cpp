// SPDX-License-Identifier: Apache-2.0
#include "commands.h"

#include "cli/output.h"

#include "device/device_text.h"
#include "settings/text_file.h"

#include <algorithm>
#include <fstream>

namespace tessal::cli {

namespace {

// The first line of a file, without its line end.
std::optional<std::string> first_line(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace

Result refused(int exit, const char* code, const std::string& message, const std::string& detail) {
    Result r;
    r.exit = exit;
    r.error = Result::Error{code, message, detail};
    return r;
}

Result usage_error(const std::string& message, const std::string& detail) {
    return refused(kUsage, "usage", message, detail);
}

Result bad_value(const std::string& message, const std::string& detail) {
    return refused(kUsage, "bad_value", message, detail);
}

const FailureCode& failure_code(device::Failure::Kind kind) {
    using Kind = device::Failure::Kind;
    static constexpr FailureCode kTable[] = {
        {Kind::no_reply, "no_reply", kNoReply, false},
        {Kind::refused, "refused", kDeviceError, false},
        {Kind::bad_checksum, "bad_checksum", kDeviceError, false},
        {Kind::port_failed, "port_failed", kDeviceError, false},
        {Kind::port_unavailable, "port_unavailable", kPortFailed, true},
        {Kind::modem_error, "modem_error", kDeviceError, true},
        {Kind::unexpected_reply, "unexpected_reply", kDeviceError, true},
        {Kind::value_missing, "not_found", kDeviceError, true},
        {Kind::bad_value, "bad_value", kUsage, false},
        // Stopped traffic ends an exchange as a broken line does.
        {Kind::interrupted, "port_failed", kDeviceError, false},
        {Kind::read_back_differs, "mismatch", kMismatch, false},
        {Kind::partly_written, "partial", kPartial, false},
    };
    return *std::find_if(std::begin(kTable), std::end(kTable),
                         [kind](const FailureCode& row) { return row.kind == kind; });
}

Result failure(device::Failure::Kind kind, const std::string& message, const std::string& detail) {
    const FailureCode& row = failure_code(kind);
    Result r = refused(row.exit, row.code, message, detail);
    // Only a port that cannot be opened is told in the program's own lines.
    r.error->quotes_device = kind != device::Failure::Kind::port_unavailable;
    return r;
}

Result failure(const device::Report& report) {
    // An operation that ended early without a failure of its own refused
    // what it was given.
    const device::Failure failed = report.failure.value_or(
        device::Failure{device::Failure::Kind::bad_value, last_message(report), {}});
    const bool with_reply = failure_code(failed.kind).reply_as_detail;
    return failure(failed.kind, failed.text, with_reply ? failed.reply : std::string());
}

std::string last_message(const device::Report& report) {
    return report.messages.empty() ? std::string() : report.messages.back().text;
}

Result message_result(const device::Report& report) {
    return single({"message", last_message(report)});
}

Result acknowledged_result(const std::pair<device::Report, bool>& done) {
    return done.second ? message_result(done.first) : failure(done.first);
}

void as_partial(Result& r) {
    const std::string inner =
        r.error->code + (r.error->detail.empty() ? "" : ": ") + r.error->detail;
    const bool quotes_device = r.error->quotes_device;
    const Result partial = failure(device::Failure::Kind::partly_written, r.error->message, inner);
    r.exit = partial.exit;
    r.error = partial.error;
    r.error->quotes_device = quotes_device;
}

void mismatch(Result& r, const std::string& fields) {
    const Result differs = failure(device::Failure::Kind::read_back_differs, {}, fields);
    r.exit = differs.exit;
    r.error = differs.error;
}

std::optional<std::string> Commands::secret_from_file(const std::string& path) {
    std::optional<std::string> secret = first_line(path);
    if (secret && settings::others_may_write(path)) {
        warnings_.push_back("warning: other users may write " + path +
                            "; the secret in it may not be the one meant");
    }
    return secret;
}

Result Commands::with_notes(Result result) const {
    if (!notes_.isEmpty()) {
        result.notes = notes_;
    }
    result.warnings = warnings_;
    return result;
}

void Commands::tell(const device::Message& message) {
    notes_ << device::from_device(message.text);
}

} // namespace tessal::cli
