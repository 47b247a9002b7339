// SPDX-License-Identifier: Apache-2.0
#include "signal_handover.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#endif

#include <csignal>

namespace tessal::link {

namespace {

volatile sig_atomic_t caught = 0;
std::function<void()> handed_to;

#ifdef Q_OS_UNIX
int wake_pipe[2] = {-1, -1};

void on_signal(int number) {
    caught = number;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_pipe[1], &byte, 1);
}
#else
void on_signal(int number) {
    caught = number;
    if (handed_to) {
        handed_to();
    }
}
#endif

} // namespace

void hand_over_signals(QObject& owner, std::initializer_list<int> numbers,
                       std::function<void()> call) {
    handed_to = std::move(call);
#ifdef Q_OS_UNIX
    if (wake_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake_pipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(wake_pipe[0], QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_pipe[0], &byte, 1);
        if (handed_to) {
            handed_to();
        }
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : numbers) {
        sigaction(number, &action, nullptr);
    }
#else
    (void)owner;
    for (const int number : numbers) {
        std::signal(number, on_signal);
    }
#endif
}

void stop_handing_over() {
    handed_to = {};
}

int last_signal() {
    return caught;
}

} // namespace tessal::link
