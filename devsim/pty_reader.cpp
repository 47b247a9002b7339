// SPDX-License-Identifier: Apache-2.0
// The answering thread: it reads the console's bytes and hands each
// request to the request handling.
#include "pty_simulator.h"

#include <array>
#include <cerrno>
#include <utility>

#include <poll.h>
#include <unistd.h>

namespace tessal::devsim {

namespace {

using namespace std::chrono;

constexpr int kIdlePollMs = 1000;       // the thread wakes at least this often
constexpr milliseconds kLineRetry{500}; // between attempts to make a terminal again

} // namespace

void PtySimulator::run() {
    std::array<char, 4096> buffer;
    while (!stopping_) {
        if (!pending_.empty()) {
            // What came while a reply was going out.
            const std::string bytes = std::exchange(pending_, {});
            consume(bytes, pending_arrived_);
            continue;
        }
        if (master_ < 0) {
            if (pause_until(steady_clock::now() + kLineRetry) && open_line()) {
                trace("listening again on " + device_path());
            }
            continue;
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
        if (::poll(fds, 2, kIdlePollMs) < 0) {
            if (errno != EINTR && !pause_until(steady_clock::now() + kLineRetry)) {
                return;
            }
            continue;
        }
        if (fds[1].revents != 0) {
            continue; // stop() woke us
        }
        if ((fds[0].revents & POLLIN) == 0) {
            if (fds[0].revents != 0) {
                hang_up();
            }
            continue;
        }

        // An instant reply goes out when the frame start is read, before the
        // rest of the request.
        bool instant = false;
        if (!reader_.in_request()) {
            std::lock_guard lock(mutex_);
            instant = faults_.instant;
        }
        const ssize_t got = ::read(master_, buffer.data(), instant ? 1 : buffer.size());
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            hang_up();
            continue;
        }
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
        wire(link::TraceRecord::Kind::ToDevice, bytes);
        consume(bytes, steady_clock::now());
    }
}

void PtySimulator::consume(std::string_view bytes, steady_clock::time_point arrived) {
    const unsigned line = line_generation_;
    for (std::size_t i = 0; i < bytes.size() && line == line_generation_ && !stopping_; ++i) {
        if (const auto event = reader_.feed(bytes[i])) {
            take(*event, arrived);
        }
    }
}

} // namespace tessal::devsim
