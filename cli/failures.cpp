// SPDX-License-Identifier: Apache-2.0
#include "failures.h"

#include <cstdlib>

namespace tessal::cli {

namespace {

using Device = device::Failure::Kind;
using Register = reg::Failure::Kind;

// The one list of exit statuses and JSON codes.  A new status is a row; a
// new failure is a line in its status's row.
const ExitStatus kStatuses[] = {
    {0, "success", {}},
    {1,
     "values differ (profile diff, apply --dry-run)",
     {
         {Own::differs, "differs"},
     }},
    {2,
     "usage, bad value or not confirmed",
     {
         {Own::usage, "usage"},
         {Own::not_confirmed, "not_confirmed"},
         {Own::bad_value, "bad_value"},
         {Device::bad_value, "bad_value", Told::quoting},
         {Register::file_unwritable, "bad_value"},
     }},
    {3,
     "port cannot be opened or register unusable",
     {
         {Device::port_unavailable, "port_unavailable", Told::with_cause},
         {Register::register_unusable, "register_unusable"},
     }},
    {4,
     "no reply",
     {
         {Device::no_reply, "no_reply", Told::quoting},
     }},
    {5,
     "device refused or broken reply",
     {
         {Device::refused, "refused", Told::quoting},
         {Device::bad_checksum, "bad_checksum", Told::quoting},
         {Device::port_failed, "port_failed", Told::quoting},
         // Stopped traffic ends an exchange as a broken line does.
         {Device::interrupted, "port_failed", Told::quoting},
         {Device::modem_error, "modem_error", Told::with_reply},
         {Device::unexpected_reply, "unexpected_reply", Told::with_reply},
         {Device::value_missing, "not_found", Told::with_reply},
         {Own::no_sim, "no_sim"},
         {Own::wrong_pin, "wrong_pin"},
     }},
    {6,
     "read-back differs",
     {
         {Device::read_back_differs, "mismatch", Told::quoting},
     }},
    {7,
     "partly written",
     {
         {Device::partly_written, "partial", Told::quoting},
     }},
    {8,
     "a stage of the check failed",
     {
         // The detail is the verdict's own code (sim_pin_required, ...).
         {Own::check_failed, "check_failed", Told::quoting},
     }},
    {9,
     "register does not verify",
     {
         {Own::not_whole, "not_whole"},
     }},
    {10,
     "service entry not open, open already or not in the register",
     {
         {Own::no_entry, "no_entry"},
         {Own::entry_open, "entry_open"},
         {Register::not_in_book, "not_in_book"},
     }},
    {130,
     "SIGINT",
     {
         {Own::sigint, "interrupted"},
     }},
    {143,
     "SIGTERM",
     {
         {Own::sigterm, "interrupted"},
     }},
};

} // namespace

std::span<const ExitStatus> exit_statuses() {
    return kStatuses;
}

Coded coded(const FailureKind& kind) {
    for (const ExitStatus& status : kStatuses) {
        for (const FailureCode& failure : status.failures) {
            if (failure.kind == kind) {
                return {status, failure};
            }
        }
    }
    std::abort(); // every kind has its row: the command line's tests hold them to it
}

std::string status_list() {
    std::string list;
    for (const ExitStatus& status : kStatuses) {
        list += (list.empty() ? "" : ", ") + std::to_string(status.exit) + " " + status.meaning;
    }
    return list;
}

} // namespace tessal::cli
