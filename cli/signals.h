// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>

#include <functional>

namespace tessal::cli {

// SIGINT and SIGTERM end a run cleanly: `stop` is called (from the event
// loop of `owner`'s thread, which runs during every wait for a device or a
// port; on Windows from the handler's own thread), and the signal is kept
// for the exit status.  `stop` must be safe to call from another thread.
void stop_on_signals(QObject& owner, std::function<void()> stop);

// Signals call nothing from now on (what `stop` stopped is gone); they are
// still kept for the exit status.
void stop_no_more();

// The signal that came (SIGINT or SIGTERM), 0 when none did.
int caught_signal();

} // namespace tessal::cli
