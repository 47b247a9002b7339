// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/session.h"
#include "register/register.h"

#include <initializer_list>
#include <span>
#include <string>
#include <variant>

// How tessal-cli ends: every exit status, and the JSON code of every
// failure that ends with it, in one table.  The usage text lists the
// statuses from it; the manual page and the README are checked against it.
namespace tessal::cli {

// The command line's own failures, beside the device's and the register's.
enum class Own {
    usage,         // the command line cannot be used as given
    not_confirmed, // a command that asks first was not confirmed (--yes)
    bad_value,     // a value refused before anything is sent
    differs,       // the device holds other values than the profile
    no_sim,        // the modem reports no SIM card
    wrong_pin,     // the SIM refused the PIN
    check_failed,  // a stage of the device check failed
    no_entry,      // no entry of the service book is open on the port
    entry_open,    // an entry is open on the port already
    not_whole,     // the register does not verify
    sigint,        // stopped by SIGINT
    sigterm,       // stopped by SIGTERM
};

using FailureKind = std::variant<device::Failure::Kind, reg::Failure::Kind, Own>;

// How a failure's error is told to a person.
enum class Told {
    own_lines,  // the message and the detail are the program's own lines
    quoting,    // either may quote the device: shown as visible characters
    with_reply, // quoting, and the detail is the reply the operation failed on
    with_cause, // the detail is the port's cause, in the program's own lines
};

// One kind of failure: its JSON code, and how its error is told.
struct FailureCode {
    FailureKind kind;
    const char* code;
    Told told = Told::own_lines;
};

// An exit status, what it means, and the failures that end with it.
struct ExitStatus {
    int exit;
    const char* meaning; // as the usage text and the README name it
    std::initializer_list<FailureCode> failures;
};

// Every exit status, in the order of their numbers.
std::span<const ExitStatus> exit_statuses();

// A kind of failure's row and the status it ends with.
struct Coded {
    const ExitStatus& status;
    const FailureCode& failure;
};
Coded coded(const FailureKind& kind);

// The statuses as the usage text and the README list them:
// "0 success, 1 values differ (profile diff, apply --dry-run), ...".
std::string status_list();

} // namespace tessal::cli
