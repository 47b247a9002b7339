// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/device_text.h"

#include "device/engine.h"
#include "settings/settings.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace tessal::console {

class MessageService;

// The one transaction on the device's port, as the windows see it.  Every
// handler that talks to the device starts its operation through run();
// whether it may start is decided here and nowhere else.  The operation runs
// on the device engine's thread; this thread goes on with its events and
// receives the result later, so clicks and closes can arrive in the middle
// of a transaction: a second transaction does not start, and a close stops
// all traffic and waits for the operation to end.
class Transaction final : public device::Prompter {
  public:
    enum class State {
        idle,    // the port is free
        running, // an operation holds the port, or its messages are shown
        closing, // a close was asked: nothing more reaches the device
        closed,  // the program is ending: no transaction starts again
    };

    Transaction(device::Engine& engine, settings::Settings& settings, MessageService& messages);
    ~Transaction() override;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Starts `op(device::Session&)` with the record's port and speed, only
    // when the port is free; otherwise nothing happens and the result is
    // false.  When the operation has ended (the port is closed by then),
    // `place` gets its value, if it gives one and `context` still exists;
    // then the report's messages are shown (none once a close was asked);
    // then `after` runs.
    template <class Op, class Place = std::nullptr_t>
    bool run(QObject* context, Op op, Place place = nullptr, std::function<void()> after = {});

    // The front end's own messages, before an operation starts; none is
    // shown once a close was asked, and a question is then answered No.
    void inform(const QString& text);
    bool confirm(const QString& text);
    void show(const device::Message& message);

    // Ends what runs: the operation's wait is cut short, nothing more reaches
    // the device and the port is closed; then `done` runs, at once when the
    // port is free.  With `for_good` no transaction starts afterwards.
    void close(std::function<void()> done, bool for_good);

    // Adds a hearer of every operation's whole report (what it read, every
    // write it made, the device it was on), once the operation has ended
    // (stopped or not), before its messages.  Hearers run in the order added.
    void on_report(std::function<void(const device::Report&)> heard) {
        on_report_.push_back(std::move(heard));
    }

    State state() const { return state_; }
    bool idle() const { return state_ == State::idle; }

    // Messages and questions that come in the middle of an operation.
    void tell(const device::Message& message) override;
    bool ask(const device::Message& question) override;

  private:
    bool stopping() const { return state_ == State::closing || state_ == State::closed; }
    void begin();
    // Shows the report's messages, runs `after` and frees the port.
    void end(const device::Report& report, const std::function<void()>& after);
    void busy_cursor(bool shown);

    static constexpr int kBusyCursorDelayMs = 150;

    device::Engine& engine_;
    settings::Settings& settings_;
    MessageService& messages_;
    State state_ = State::idle;
    bool for_good_ = false;
    std::vector<std::function<void()>> after_close_;
    std::vector<std::function<void(const device::Report&)>> on_report_;
    QTimer busy_cursor_;
    bool cursor_shown_ = false;
    // Results are delivered only while the transaction exists.
    QObject alive_;
};

template <class Op, class Place>
bool Transaction::run(QObject* context, Op op, Place place, std::function<void()> after) {
    if (state_ != State::idle) {
        return false;
    }
    const bool bound = context != nullptr;
    QPointer<QObject> target(context);
    auto done = [this, bound, target, place = std::move(place), after = std::move(after)](
                    const device::Report& report, const auto&... value) mutable {
        if constexpr (!std::is_same_v<Place, std::nullptr_t>) {
            if (!bound || target) {
                place(value...);
            }
        }
        end(report, after);
    };
    if (!engine_.start(&alive_, device::PortChoice::of(settings_), std::move(op), std::move(done),
                       this)) {
        return false;
    }
    begin();
    return true;
}

// Latin-1 is the device's character set: one byte per character.
using device::from_device;
using device::to_device;

} // namespace tessal::console
