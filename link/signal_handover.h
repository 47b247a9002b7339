// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>

namespace tessal::link {

// Hands the signals `numbers` (SIGTERM, say) over to the event loop of
// `owner`'s thread: the handler only keeps the number and writes a byte,
// all that a handler may do, and `call` then runs on that thread.  Windows
// runs a handler on a thread of its own: there `call` runs on that thread and
// must be safe to call from it.  A later call replaces `call`.
void hand_over_signals(QObject& owner, std::initializer_list<int> numbers,
                       std::function<void()> call);

// Signals call nothing from now on (what `call` reached is gone); they are
// still kept for `last_signal`.
void stop_handing_over();

// While it lives, the signals `numbers` are kept (for `last_signal`) and
// call `call` on a thread of its own instead of on an event loop's thread:
// for a program whose thread may be busy (waiting for a server) when a
// signal comes.  `call` must be safe to call from that thread.  Signals
// handed over to an event loop before are heard here meanwhile.  Made and
// ended on one thread.
class SignalThread {
  public:
    SignalThread(std::initializer_list<int> numbers, std::function<void()> call);
    ~SignalThread();
    SignalThread(const SignalThread&) = delete;
    SignalThread& operator=(const SignalThread&) = delete;

  private:
    struct Parts;
    Parts* parts_;
};

// The last of the handed-over signals that came, 0 when none did.
int last_signal();

} // namespace tessal::link
