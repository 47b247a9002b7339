// SPDX-License-Identifier: Apache-2.0
// A request taken from the line: counted, logged, answered by the device
// under the faults that hold for its command.
#include "pty_simulator.h"

namespace tessal::devsim {

using std::chrono::steady_clock;

void PtySimulator::take(const RequestReader::Event& event, steady_clock::time_point arrived) {
    using Kind = RequestReader::Event::Kind;
    Faults faults;
    Reply reply;
    switch (event.kind) {
    case Kind::Ack:
    case Kind::Nak: {
        {
            std::lock_guard lock(mutex_);
            ++(event.kind == Kind::Ack ? acks_ : naks_);
        }
        trace(event.kind == Kind::Ack ? "<- ACK" : "<- NAK");
        return;
    }
    case Kind::RequestStarted: {
        request_started_ = arrived;
        answered_early_ = false;
        {
            std::lock_guard lock(mutex_);
            faults = faults_;
            if (faults.instant) {
                reply = device_.handle(faults.instant_command);
            }
        }
        if (faults.instant) {
            answered_early_ = true;
            answer(reply, faults, steady_clock::now());
        }
        return;
    }
    case Kind::BadRequest: {
        {
            std::lock_guard lock(mutex_);
            ++bad_checksums_;
            faults = faults_;
        }
        trace("<- request with a bad checksum");
        reply = Reply::nak();
        break;
    }
    case Kind::Request: {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(event.command);
            faults = faults_for(event.command);
            if (!answered_early_ && !faults.silent && !faults.vanish_on_request) {
                reply = faults.nak_all ? Reply::nak() : device_.handle(event.command);
            }
        }
        request_seen_.notify_all();
        trace("<- \"" + printable(event.command) + "\"");
        break;
    }
    }

    if (answered_early_) {
        return;
    }
    if (faults.vanish_on_request) {
        hang_up();
        return;
    }
    if (faults.silent) {
        return;
    }
    answer(reply, faults, request_crossed(event.wire_bytes, faults.line_speed));
}

const Faults& PtySimulator::faults_for(std::string_view command) const {
    for (const CommandFault& rule : command_faults_) {
        if (command.starts_with(rule.prefix)) {
            return rule.faults;
        }
    }
    return faults_;
}

} // namespace tessal::devsim
