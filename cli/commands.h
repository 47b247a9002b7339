// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/command_line.h"
#include "device/session.h"
#include "link/device_link.h"
#include "link/port_map.h"
#include "settings/settings.h"

#include <QJsonObject>
#include <QStringList>

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace tessal::cli {

// Exit statuses.
enum Exit : int {
    kSuccess = 0,
    kDiffers = 1,     // profile diff, profile apply --dry-run: the device holds other values
    kUsage = 2,       // usage, a bad value or a refused confirmation
    kPortFailed = 3,  // the port cannot be opened
    kNoReply = 4,     // time-out
    kDeviceError = 5, // refused, broken reply, port failure during the exchange, modem error
    kMismatch = 6,    // a value read back differs from the one written
    kPartial = 7,     // some parameters written and some not
    kCheckFailed = 8, // check: a stage failed; the verdict's code is the error's
};

// What the command line says for each kind of device failure: its JSON
// code, its exit status, and whether the error's detail is the reply the
// operation failed on (the port's cause for a port that cannot be opened).
struct FailureCode {
    device::Failure::Kind kind;
    const char* code;
    int exit;
    bool reply_as_detail;
};
const FailureCode& failure_code(device::Failure::Kind kind);

// What a command gives: the values for the JSON object, the text for a
// person, or why it failed.
struct Result {
    int exit = kSuccess;
    QJsonObject values;
    // Printed on standard output; a line end follows unless `raw`.
    std::string text;
    bool raw = false;
    struct Error {
        std::string code;
        std::string message; // the console's own text where it has one
        std::string detail;
    };
    std::optional<Error> error;
    // Messages the device's operation gave on the way.
    QStringList notes;
    // Warnings for the person at the terminal (a password file others may
    // write): standard error only, never in the JSON object.
    std::vector<std::string> warnings;
};

// What one command runs with: what was asked, the settings, the machine's
// ports and, for a command that talks to the device, the line and the
// chosen port.  It hears the device operations' messages.
class Commands final : public device::Prompter {
  public:
    Commands(const Invocation& invocation, const settings::Settings& settings,
             const link::PortEnumerator& machine, link::DeviceLink* link = nullptr,
             device::PortChoice port = {})
        : in_(invocation), settings_(settings), machine_(machine), link_(link),
          port_(std::move(port)) {}

    const Invocation& in() const { return in_; }
    const settings::Settings& settings() const { return settings_; }
    const link::PortEnumerator& machine() const { return machine_; }

    // Runs an operation over a session of its own: the session's report,
    // and the operation's value when it gives one.
    template <class Op> auto with_session(Op op) {
        device::Session session(*link_, port_, this);
        if constexpr (std::is_void_v<decltype(op(session))>) {
            op(session);
            return session.finish();
        } else {
            auto value = op(session);
            return std::pair(session.finish(), std::move(value));
        }
    }

    // The first line of a file, without its line end: a password or a PIN.
    // A file that others may write is used with a warning.
    std::optional<std::string> secret_from_file(const std::string& path);

    // The command's result with the messages and warnings gathered on the way.
    Result with_notes(Result result) const;

    void tell(const device::Message& message) override;
    // The command line asked for what it runs: every question is Yes.
    bool ask(const device::Message&) override { return true; }

  private:
    const Invocation& in_;
    const settings::Settings& settings_;
    const link::PortEnumerator& machine_;
    link::DeviceLink* link_;
    device::PortChoice port_;
    QStringList notes_;
    std::vector<std::string> warnings_;
};

// The result of a failed operation, from the failure its report holds.
Result failure(const device::Report& report);
// The result for a failure of that kind with its message and detail.
Result failure(device::Failure::Kind kind, const std::string& message,
               const std::string& detail = {});
Result usage_error(const std::string& message, const std::string& detail = {});
// A value refused before anything is sent: a usage error with its own code.
Result bad_value(const std::string& message, const std::string& detail);
// A result that failed in its own way: exit status, code, message, detail.
Result refused(int exit, const char* code, const std::string& message,
               const std::string& detail = {});

// The device's last message in a report, or nothing.
std::string last_message(const device::Report& report);
// A command that ended well: the console's message for it.
Result message_result(const device::Report& report);
// A command that expects only an acknowledgement: its report and whether
// the device acknowledged.
Result acknowledged_result(const std::pair<device::Report, bool>& done);
// A failure after some values were written: the failure's own code goes
// into the detail.
void as_partial(Result& r);
// Values read back that differ from the ones written, named in `fields`.
void mismatch(Result& r, const std::string& fields);

} // namespace tessal::cli
