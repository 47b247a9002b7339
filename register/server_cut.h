// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QSqlDatabase>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// The register's own: nothing outside register/ includes this.
namespace tessal::reg {

// Bounds every exchange with a register server from the client's side,
// whatever the peer does.  A watcher thread shuts the connection's socket
// (both ways) once an exchange has run past its deadline, or at once when
// told to from any thread: the client library's wait then ends with a
// failure, and the connection is made again for the next row.  The server's
// own time-outs end a statement that waits for a lock; this ends one whose
// server, or whatever stands between, no longer answers.
class ServerCut {
  public:
    ServerCut() = default;
    ~ServerCut();
    ServerCut(const ServerCut&) = delete;
    ServerCut& operator=(const ServerCut&) = delete;

    // The open connection `db`: its socket is taken as a descriptor of our
    // own, so that a cut never reaches a file that took the number later.
    void attach(const QSqlDatabase& db);
    // The connection is closed (or about to be).
    void detach();

    // An exchange begins, or goes on: it is cut unless disarmed (or armed
    // again) within `limit`.  False once cut off: nothing more is begun.
    bool arm(std::chrono::milliseconds limit);
    void disarm();
    // From any thread: the exchange running now is cut, and none is begun
    // from now on.
    void cut_off();
    bool is_cut_off() const;
    // The connection was cut for its deadline since it was attached.
    bool timed_out() const;

  private:
    void watch();
    void shut(); // the mutex held

    // The state is atomic, so that the watcher reads it as it stands; the
    // mutex orders a cut against the socket's taking and letting go, and
    // carries the watcher's waits.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread watcher_;
    std::atomic<std::intptr_t> socket_{-1}; // our own descriptor of the connection's socket
    std::atomic<bool> armed_{false};
    std::atomic<bool> shut_{false};
    std::atomic<bool> timed_out_{false};
    std::atomic<bool> off_{false};
    std::atomic<bool> ending_{false};
    std::atomic<std::chrono::steady_clock::rep> deadline_{0}; // in steady clock ticks
};

} // namespace tessal::reg
