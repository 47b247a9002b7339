// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/engine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace tessal::testing {

// Runs this thread's events until `done` holds; false when `ms` passed first.
inline bool wait_until(const std::function<bool()>& done, int ms = 10000) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs this thread's events until the engine has delivered the result of the
// operation that runs, with whatever that delivery showed; true when it did.
inline bool settle(device::Engine& engine, int ms = 10000) {
    const bool ended = wait_until([&] { return !engine.busy(); }, ms);
    QCoreApplication::processEvents();
    return ended;
}

} // namespace tessal::testing
