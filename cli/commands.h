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

// Runs one device command (every command but those answered from the
// settings and the machine alone) over `link` with the chosen port.
class Commands final : public device::Prompter {
  public:
    Commands(const Invocation& invocation, const settings::Settings& settings,
             link::DeviceLink& link, device::PortChoice port)
        : in_(invocation), settings_(settings), link_(link), port_(std::move(port)) {}

    Result run();

    void tell(const device::Message& message) override;
    // The command line asked for what it runs: every question is Yes.
    bool ask(const device::Message&) override { return true; }

  private:
    Result version(bool last_command);
    Result acknowledged(const std::string& what);
    Result imei();
    Result signal();
    Result clock();
    Result clock_set();
    Result ftp_get();
    Result ftp_set();
    Result jad_get();
    Result jad_set();
    Result sim(const std::string& what);
    Result at();
    Result profile_export();
    Result profile_diff();
    Result profile_apply();
    // The first line of a file, without its line end: a password or a PIN.
    // A file that others may write is used with a warning.
    std::optional<std::string> secret_from_file(const std::string& path);

    const Invocation& in_;
    const settings::Settings& settings_;
    link::DeviceLink& link_;
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

// What each port number reaches, as the console's port list tells it.
Result list_ports(const settings::Settings& settings, const std::vector<link::PortInfo>& found);
Result list_operators(const settings::Settings& settings);

} // namespace tessal::cli
