// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

namespace tessal::link {

// Hands work from one thread to another: post() runs a function on the
// courier's own thread, later, from that thread's event loop; wait_for() runs
// it there and waits until it has run.
//
// The work travels in an event that is made whole before it is posted, and
// the hand-over is marked where it happens, so that a ThreadSanitizer build
// knows that everything the work carries was passed on: Qt's event queues
// lock inside Qt's libraries, which ThreadSanitizer does not see into.  In
// every other build the marks are nothing.
class Courier final : public QObject {
  public:
    using QObject::QObject;

    void post(std::function<void()> work);
    // Called from another thread than the courier's, whose event loop runs.
    void wait_for(const std::function<void()>& work);

  protected:
    bool event(QEvent* event) override;
};

} // namespace tessal::link
