// SPDX-License-Identifier: Apache-2.0
#ifdef _WIN32
#include <winsock2.h> // before anything brings windows.h
#endif

#include "server_cut.h"

#include <QLibrary>
#include <QSqlDriver>
#include <QVariant>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tessal::reg {

namespace {

// The client library's PQsocket, taken from the library the SQL driver
// already loaded; nothing when it cannot be found (then no cut is possible
// and the server's own time-outs and the keepalives are all there is).
using SocketOf = int (*)(const void*);

SocketOf socket_of() {
    static const SocketOf found = [] {
#ifdef Q_OS_WIN
        QLibrary library(QStringLiteral("libpq"));
#else
        QLibrary library(QStringLiteral("pq"), 5);
#endif
        return reinterpret_cast<SocketOf>(library.resolve("PQsocket"));
    }();
    return found;
}

// The connection's socket as the driver holds it, -1 when there is none.
int driver_socket(const QSqlDatabase& db) {
    const QVariant handle = db.driver() != nullptr ? db.driver()->handle() : QVariant();
    // The driver names the type by the library's structure or its alias.
    const bool connection_handle =
        handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0);
    if (!connection_handle || socket_of() == nullptr) {
        return -1;
    }
    const void* connection = *static_cast<void* const*>(handle.constData());
    return connection != nullptr ? socket_of()(connection) : -1;
}

void release(std::intptr_t socket) {
#ifdef Q_OS_WIN
    (void)socket; // the driver's own handle: it closes it
#else
    if (socket >= 0) {
        ::close(static_cast<int>(socket));
    }
#endif
}

} // namespace

ServerCut::~ServerCut() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
        changed_.notify_all();
    }
    if (watcher_.joinable()) {
        watcher_.join();
    }
    release(socket_);
}

void ServerCut::attach(const QSqlDatabase& db) {
    const int socket = driver_socket(db);
    const std::lock_guard lock(mutex_);
    release(socket_);
#ifdef Q_OS_WIN
    socket_ = socket;
#else
    socket_ = socket >= 0 ? ::fcntl(socket, F_DUPFD_CLOEXEC, 0) : -1;
#endif
    shut_ = false;
    timed_out_ = false;
    armed_ = false;
}

void ServerCut::detach() {
    const std::lock_guard lock(mutex_);
    release(socket_);
    socket_ = -1;
    armed_ = false;
}

bool ServerCut::arm(std::chrono::milliseconds limit) {
    const std::lock_guard lock(mutex_);
    if (off_) {
        return false;
    }
    if (!watcher_.joinable()) {
        watcher_ = std::thread([this] { watch(); });
    }
    armed_ = true;
    deadline_ = (std::chrono::steady_clock::now() + limit).time_since_epoch().count();
    changed_.notify_all();
    return true;
}

void ServerCut::disarm() {
    const std::lock_guard lock(mutex_);
    armed_ = false;
}

void ServerCut::cut_off() {
    const std::lock_guard lock(mutex_);
    off_ = true;
    if (armed_) {
        shut();
    }
    changed_.notify_all();
}

bool ServerCut::is_cut_off() const {
    const std::lock_guard lock(mutex_);
    return off_;
}

bool ServerCut::timed_out() const {
    const std::lock_guard lock(mutex_);
    return timed_out_;
}

void ServerCut::shut() {
    if (shut_ || socket_ < 0) {
        return;
    }
    shut_ = true;
#ifdef Q_OS_WIN
    ::shutdown(static_cast<SOCKET>(socket_.load()), SD_BOTH);
#else
    ::shutdown(static_cast<int>(socket_.load()), SHUT_RDWR);
#endif
}

void ServerCut::watch() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (!armed_ || shut_) {
            changed_.wait(lock);
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        const std::chrono::steady_clock::time_point deadline{
            std::chrono::steady_clock::duration(deadline_.load())};
        if (now < deadline) {
            // Waited on the system clock for as long as the deadline is away
            // (a wait on it is one that thread checkers follow); the loop
            // looks at the steady deadline again, whatever woke it.
            changed_.wait_until(lock, std::chrono::system_clock::now() + (deadline - now));
            continue;
        }
        // Past it: cut, and nothing more to watch until armed again.
        timed_out_ = socket_ >= 0;
        shut();
        armed_ = false;
    }
}

} // namespace tessal::reg
