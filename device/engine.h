// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/session.h"
#include "link/device_link.h"
#include "link/handover.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>

namespace tessal::device {

// Runs device operations on a thread of its own, which owns the serial port,
// its waits and the trace's recording side.  The thread that starts an
// operation never waits for the device: it posts the operation and receives
// its report and values later, as an event of its own thread.  One operation
// at a time: start() refuses while one runs.
//
// The engine itself belongs to the thread that made it; start(), cancel() and
// busy() are called there.
class Engine : public QObject {
    Q_OBJECT

  public:
    using PortMaker = std::function<std::unique_ptr<link::SerialPort>()>;

    // `make_port` runs on the device thread, which the port then belongs to.
    // `trace` (not owned, may be null) records the link's traffic.
    explicit Engine(PortMaker make_port, link::Trace* trace = nullptr,
                    link::DeviceLink::Clock clock = {});
    ~Engine() override; // stops a running operation, then the thread

    // The machine whose serial devices the port numbers reach (not owned;
    // null: none); any thread.
    void set_port_enumerator(const link::PortEnumerator* ports);
    // Reads the machine's serial devices anew, for the link and the caller.
    std::vector<link::PortInfo> refresh_ports();

    // Runs `op(Session&)` on the device thread with the port `port`, then
    // `done(report)` or `done(report, value)` on this thread, unless
    // `context` is gone by then.  The port is closed when the operation ends,
    // whatever happened.  `prompter` answers messages on the way (not
    // owned).  False, and nothing runs, while an operation runs.
    template <class Op, class Done>
    bool start(QObject* context, PortChoice port, Op op, Done done, Prompter* prompter = nullptr);

    // Stops the running operation: a wait ends at once, nothing more is sent
    // and no message is shown on the way; its report says it was cancelled.
    // No effect when nothing runs.
    void cancel();

    bool busy() const { return busy_; }

    // Runs `use` on the device thread, between operations, and waits for it:
    // for settings of the link that do not change while the program runs
    // (the reply time-out of a test) and for looking at it.
    void on_device(const std::function<void(link::DeviceLink&)>& use);

  private:
    using Delivery = std::function<void(Report)>;
    using Job = std::function<Delivery(Session&)>;

    bool post(QObject* context, PortChoice port, Prompter* prompter, Job job);
    // Runs `work` on the device thread and waits for it.
    void on_device_thread(const std::function<void()>& work);
    // Shows a message (or asks a question) through `prompter` on the
    // engine's thread and waits until it is closed, or until the operation
    // is cancelled; gives the answer to a question (No when cancelled).
    bool relay(Prompter* prompter, const Message& message, bool question);

    class Relay;

    QThread thread_;
    link::Courier* worker_ = nullptr;        // lives on the device thread
    link::Courier inbox_;                    // lives on the engine's thread
    std::unique_ptr<link::DeviceLink> link_; // made and used on the device thread
    bool busy_ = false;

    std::mutex ask_mutex_;
    std::condition_variable answered_;
    std::uint64_t asked_ = 0;
    std::uint64_t answers_ = 0;
    bool last_answer_ = false;
};

template <class Op, class Done>
bool Engine::start(QObject* context, PortChoice port, Op op, Done done, Prompter* prompter) {
    using Value = std::invoke_result_t<Op&, Session&>;
    return post(context, std::move(port), prompter,
                [op = std::move(op), done = std::move(done)](Session& session) mutable -> Delivery {
                    if constexpr (std::is_void_v<Value>) {
                        op(session);
                        return [done](Report report) mutable { done(report); };
                    } else {
                        auto value = std::make_shared<Value>(op(session));
                        return [done, value](Report report) mutable { done(report, *value); };
                    }
                });
}

} // namespace tessal::device
