// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/command_line.h"
#include "cli/failures.h"
#include "cli/recorder.h"
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

// What a command gives: the values for the JSON object, the text for a
// person, or why it failed.
struct Result {
    int exit = 0;
    // The JSON object's members, as the output layer (cli/output.h) puts
    // them; commands never write them themselves.
    QJsonObject values;
    // Printed on standard output, in UTF-8; a line end follows unless
    // `as_it_came`.  Shown on success only, unless `shown_on_failure`.
    std::string text;
    bool shown_on_failure = false;
    // The text is the device's bytes as they came (a reply, the
    // descriptor): written unchanged on every platform, whatever the
    // outcome.
    bool as_it_came = false;
    // A list whose rows went out as they came (cli/output.h): with --json,
    // the object is begun and this member's array is open.
    std::string streamed;
    struct Error {
        std::string code;
        std::string message; // the console's own text where it has one
        std::string detail;
        // The message or the detail may quote the device (a reply, a value
        // read back): the text for a person shows them as visible
        // characters.  Otherwise they are the program's own lines.
        bool quotes_device = false;
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
             device::PortChoice port = {}, Recorder* recorder = nullptr)
        : in_(invocation), settings_(settings), machine_(machine), link_(link),
          port_(std::move(port)), recorder_(recorder) {}

    const Invocation& in() const { return in_; }
    const settings::Settings& settings() const { return settings_; }
    const link::PortEnumerator& machine() const { return machine_; }
    // The service book's side of the run, for a command that talks to the
    // device.
    Recorder& recorder() { return *recorder_; }
    // The device the chosen port reaches, as a session opens it.
    std::string port_device() const;

    // Runs an operation over a session of its own: the session's report,
    // and the operation's value when it gives one.  The report goes to the
    // service book: whatever the operation wrote is recorded.
    template <class Op> auto with_session(Op op) {
        device::Session session(*link_, port_, this);
        if constexpr (std::is_void_v<decltype(op(session))>) {
            op(session);
            return heard(session.finish());
        } else {
            auto value = op(session);
            return std::pair(heard(session.finish()), std::move(value));
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
    device::Report heard(device::Report report);

    const Invocation& in_;
    const settings::Settings& settings_;
    const link::PortEnumerator& machine_;
    link::DeviceLink* link_;
    device::PortChoice port_;
    Recorder* recorder_;
    QStringList notes_;
    std::vector<std::string> warnings_;
};

// The result of a failed operation, from the failure its report holds.
Result failure(const device::Report& report);
// The result for a failure of that kind with its message and detail: its
// code and exit status from the failure table (cli/failures.h).
Result failure(const FailureKind& kind, const std::string& message, const std::string& detail = {});
// The same failure for a result that keeps its values and text.
void fail(Result& r, const FailureKind& kind, const std::string& message,
          const std::string& detail = {});
Result usage_error(const std::string& message, const std::string& detail = {});
// A value refused before anything is sent.
Result bad_value(const std::string& message, const std::string& detail);

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
