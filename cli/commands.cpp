// SPDX-License-Identifier: Apache-2.0
#include "commands.h"

#include "cli/output.h"

#include "device/device_text.h"
#include "settings/text_file.h"

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

void fail(Result& r, const FailureKind& kind, const std::string& message,
          const std::string& detail) {
    const auto [status, row] = coded(kind);
    r.exit = status.exit;
    r.error = Result::Error{row.code, message, detail,
                            row.told == Told::quoting || row.told == Told::with_reply};
}

Result failure(const FailureKind& kind, const std::string& message, const std::string& detail) {
    Result r;
    fail(r, kind, message, detail);
    return r;
}

Result usage_error(const std::string& message, const std::string& detail) {
    return failure(Own::usage, message, detail);
}

Result bad_value(const std::string& message, const std::string& detail) {
    return failure(Own::bad_value, message, detail);
}

Result failure(const device::Report& report) {
    // An operation that ended early without a failure of its own refused
    // what it was given.
    const device::Failure failed = report.failure.value_or(
        device::Failure{device::Failure::Kind::bad_value, last_message(report), {}});
    const Told told = coded(failed.kind).failure.told;
    const bool with_reply = told == Told::with_reply || told == Told::with_cause;
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
    fail(r, device::Failure::Kind::partly_written, r.error->message, inner);
    r.error->quotes_device = quotes_device;
}

void mismatch(Result& r, const std::string& fields) {
    fail(r, device::Failure::Kind::read_back_differs, {}, fields);
    // What was written stands beside the values that read back otherwise.
    r.shown_on_failure = true;
}

std::optional<std::string> Commands::secret_from_file(const std::string& path) {
    std::optional<std::string> secret = first_line(path);
    if (secret && settings::others_may_write(path)) {
        warnings_.push_back("warning: other users may write " + path +
                            "; the secret in it may not be the one meant");
    }
    return secret;
}

std::string Commands::port_device() const {
    return link::port_device(port_.port_number,
                             link::map_ports(port_.com_devices, machine_.ports()));
}

device::Report Commands::heard(device::Report report) {
    if (recorder_ != nullptr) {
        recorder_->heard(report);
    }
    return report;
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
