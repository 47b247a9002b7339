// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/command_line.h"
#include "cli/commands.h"
#include "settings/settings.h"

namespace tessal::cli {

// Exit status for a register that cannot be opened, read or written.
inline constexpr int kRegisterUnusable = 3;

// "station" and "register": the commissioning station, which runs until
// SIGINT or SIGTERM and prints one line per device, and its register.
Result station_commands(const Invocation& in, const settings::Settings& settings);

} // namespace tessal::cli
