// SPDX-License-Identifier: Apache-2.0
// The SIM card: its identification read and sent, a password sent, the PIN.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/operations.h"
#include "device/sim_replies.h"

namespace tessal::cli {

namespace {

Result sim_id(Commands& c) {
    auto [report, value] = c.with_session(device::read_sim_id);
    return value && device::is_sim_number(*value) ? single({"sim_id", *value}) : failure(report);
}

Result sim_set_id(Commands& c) {
    const std::string& value = c.in().words[2];
    return acknowledged_result(
        c.with_session([&](device::Session& s) { return device::send_sim_id(s, value); }));
}

Result sim_password(Commands& c) {
    const std::optional<std::string> file = c.in().option("--password-file");
    const std::optional<std::string> password = file ? c.secret_from_file(*file) : std::nullopt;
    if (!password) {
        return usage_error(file ? "the password file cannot be read"
                                : "sim password needs --password-file");
    }
    return acknowledged_result(
        c.with_session([&](device::Session& s) { return device::send_password(s, *password); }));
}

Result sim_pin(Commands& c) {
    const std::optional<std::string> file = c.in().option("--pin-file");
    const std::optional<std::string> pin = file ? c.secret_from_file(*file) : std::nullopt;
    if (!pin) {
        return usage_error(file ? "the PIN file cannot be read" : "sim pin needs --pin-file");
    }
    auto [report, outcome] =
        c.with_session([&](device::Session& s) { return device::unlock_sim(s, *pin); });
    const std::string message = last_message(report);
    switch (outcome) {
    case device::PinOutcome::pin_set:
    case device::PinOutcome::not_needed:
        return single({"message", message});
    case device::PinOutcome::no_sim:
        return failure(Own::no_sim, message);
    case device::PinOutcome::wrong_pin:
        return failure(Own::wrong_pin, message);
    case device::PinOutcome::unexpected:
    case device::PinOutcome::modem_error:
        // The state question's answer, or the modem's own error line to the
        // PIN request switch: the message says it, and the reply is a secret
        // in the report.
        return failure(report.failure ? report.failure->kind
                                      : device::Failure::Kind::unexpected_reply,
                       message);
    case device::PinOutcome::failed:
        break;
    }
    return failure(report);
}

constexpr Command kRows[] = {
    {"sim id", "", "", "", Reach::device, sim_id},
    {"sim set-id", "TEXT", "", "", Reach::device, sim_set_id},
    {"sim password", "", "--password-file=", "--password-file F", Reach::device, sim_password},
    {"sim pin", "", "--pin-file=", "--pin-file F", Reach::device, sim_pin},
};

} // namespace

std::span<const Command> sim_commands() {
    return kRows;
}

} // namespace tessal::cli
