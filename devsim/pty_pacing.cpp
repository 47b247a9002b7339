// SPDX-License-Identifier: Apache-2.0
// A reply on its way out: after its delay, in the writes its faults ask
// for, at the line's pace, given up when the console starts a new request.
#include "pty_simulator.h"

#include "link/frame.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace tessal::devsim {

namespace {

using namespace std::chrono;

constexpr int kWriteStallMs = 1000; // longest wait for room on the line
constexpr int kHangUpLingerMs = 50; // time the console gets to read a cut reply

// Ten bits per byte: start bit, eight data bits, stop bit.
steady_clock::duration byte_time(int line_speed) {
    return duration_cast<steady_clock::duration>(nanoseconds(10'000'000'000LL / line_speed));
}

std::string describe(const Reply& reply) {
    switch (reply.kind) {
    case Reply::Kind::Ack:
        return "ACK";
    case Reply::Kind::Nak:
        return "NAK";
    case Reply::Kind::Frame:
        return "frame \"" + printable(reply.payload) + "\"";
    case Reply::Kind::None:
        break;
    }
    return "nothing";
}

} // namespace

steady_clock::time_point PtySimulator::request_crossed(std::size_t wire_bytes,
                                                       int line_speed) const {
    if (line_speed <= 0) {
        return steady_clock::now();
    }
    // The request has crossed the line when its last byte's time is up.
    return request_started_ + static_cast<long>(wire_bytes) * byte_time(line_speed);
}

void PtySimulator::answer(const Reply& reply, const Faults& faults,
                          steady_clock::time_point not_before) {
    const ReplyPlan plan = plan_reply(reply, faults);
    if (plan.writes.empty() && !plan.hang_up_after) {
        return;
    }
    // Whatever of the reply is still to go when the console starts a new
    // request is dropped: the console has given up on it.
    const auto given_up = [this] {
        wire(link::TraceRecord::Kind::Event, "odgovor odbacen");
        trace(stopping_ ? "reply not sent: stopping" : "reply dropped: a new request came");
    };
    steady_clock::time_point line_free = not_before + milliseconds(faults.reply_delay_ms);
    if (!pause_until(line_free, true)) {
        given_up();
        return;
    }
    for (std::size_t i = 0; i < plan.writes.size(); ++i) {
        const LineWrite& write = plan.writes[i];
        if (write.pause_before_ms > 0) {
            if (!pause_until(steady_clock::now() + milliseconds(write.pause_before_ms), true)) {
                given_up();
                return;
            }
            line_free = std::max(line_free, steady_clock::now());
        }
        if (!write_paced(write.bytes, faults.line_speed, line_free, i + 1 == plan.writes.size())) {
            given_up();
            return;
        }
    }
    trace("-> " + describe(reply) + (plan.hang_up_after ? " (cut off)" : ""));
    if (plan.hang_up_after && pause_until(steady_clock::now() + milliseconds(kHangUpLingerMs))) {
        hang_up();
    }
}

bool PtySimulator::pause_until(steady_clock::time_point deadline, bool watch_line) {
    for (;;) {
        if (stopping_ || (watch_line && pending_.find(link::kFrameStart) != std::string::npos)) {
            return false;
        }
        const steady_clock::duration left = deadline - steady_clock::now();
        if (left <= steady_clock::duration::zero()) {
            return true;
        }
        const auto whole = duration_cast<seconds>(left);
        const timespec timeout{static_cast<time_t>(whole.count()),
                               static_cast<long>(duration_cast<nanoseconds>(left - whole).count())};
        pollfd fds[2] = {{wake_read_, POLLIN, 0}, {watch_line ? master_ : -1, POLLIN, 0}};
        ::ppoll(fds, 2, &timeout, nullptr);
        if ((fds[1].revents & POLLIN) != 0) {
            std::array<char, 4096> buffer;
            const ssize_t got = ::read(master_, buffer.data(), buffer.size());
            if (got > 0) {
                wire(link::TraceRecord::Kind::ToDevice,
                     std::string_view(buffer.data(), static_cast<std::size_t>(got)));
                if (pending_.empty()) {
                    pending_arrived_ = steady_clock::now();
                }
                pending_.append(buffer.data(), static_cast<std::size_t>(got));
            }
        }
    }
}

bool PtySimulator::write_paced(std::string_view bytes, int line_speed,
                               steady_clock::time_point& line_free, bool last) {
    if (line_speed <= 0) {
        return write_all(bytes, last);
    }
    const steady_clock::duration per_byte = byte_time(line_speed);
    while (!bytes.empty()) {
        // A byte is handed over once its wire time is up; whatever is due by
        // then goes out in the same write.
        if (!pause_until(line_free + per_byte, true)) {
            return false;
        }
        const auto due = static_cast<std::size_t>((steady_clock::now() - line_free) / per_byte);
        const std::size_t count = std::min(bytes.size(), std::max<std::size_t>(due, 1));
        if (!write_all(bytes.substr(0, count), last && count == bytes.size())) {
            return false;
        }
        bytes.remove_prefix(count);
        line_free += static_cast<long>(count) * per_byte;
    }
    return true;
}

bool PtySimulator::write_all(std::string_view bytes, bool last) {
    while (!bytes.empty()) {
        if (last) {
            // Stamped before the write, so whoever reads the reply finds the
            // stamp already there.
            last_reply_byte_ns_ =
                duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
        }
        const ssize_t written = ::write(master_, bytes.data(), bytes.size());
        if (written > 0) {
            wire(link::TraceRecord::Kind::FromDevice,
                 bytes.substr(0, static_cast<std::size_t>(written)));
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN) {
            // The console is not reading; wait for room, but not for ever.
            pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_read_, POLLIN, 0}};
            if (::poll(fds, 2, kWriteStallMs) <= 0 || fds[1].revents != 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

} // namespace tessal::devsim
