// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/outcome.h"

#include <QString>

// How the window tells the outcome of a write: each value state and each
// ending in the console's words.
namespace tessal::console {

// One value: "ftp.user: upisano i potvrdjeno (terminal -> tehnicar)".
QString value_text(const device::ValueState& value);

// A profile applied: what became of it and then each value, a line each;
// empty when the report's own messages say it (nothing was written: a
// refusal, a read that failed, No to the differences).
QString applied_text(const device::Outcome& outcome);

} // namespace tessal::console
