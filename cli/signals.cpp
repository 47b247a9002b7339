// SPDX-License-Identifier: Apache-2.0
#include "signals.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#endif

#include <csignal>

namespace tessal::cli {

namespace {

volatile sig_atomic_t caught = 0;
std::function<void()> stopper;

#ifdef Q_OS_UNIX
int wake_pipe[2] = {-1, -1};

// Only what a handler may do: keep the number, write a byte.
void on_signal(int number) {
    caught = number;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_pipe[1], &byte, 1);
}
#else
// Windows runs the handler on a thread of its own.
void on_signal(int number) {
    caught = number;
    if (stopper) {
        stopper();
    }
}
#endif

} // namespace

void stop_on_signals(QObject& owner, std::function<void()> stop) {
    stopper = std::move(stop);
#ifdef Q_OS_UNIX
    if (wake_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake_pipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(wake_pipe[0], QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_pipe[0], &byte, 1);
        if (stopper) {
            stopper();
        }
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    (void)owner;
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
#endif
}

void stop_no_more() {
    stopper = {};
}

int caught_signal() {
    return caught;
}

} // namespace tessal::cli
