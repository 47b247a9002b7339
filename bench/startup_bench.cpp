// SPDX-License-Identifier: Apache-2.0
// Start-up benchmark, by hand, on an X display (a virtual one will do):
// the time from starting a program to its first window being mapped, for the
// console and for a bare Qt window of the same size, alternating.
//   Xvfb :99 &
//   DISPLAY=:99 build/bench/tessal-startup-bench build/app/tessal
//       build/bench/tessal-bare-window [RUNS]
// The console runs in a folder of its own (its settings file is written
// there when it ends); each program is ended with SIGTERM once its window is
// up.  Prints the medians in ms and their ratio.
#include <X11/Xlib.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Starts `program` in `folder` and gives the time until a top-level window
// is mapped; -1 when none came within ten seconds.
double time_to_window(Display* display, const std::string& program,
                      const std::filesystem::path& folder) {
    while (XPending(display) > 0) {
        XEvent stale;
        XNextEvent(display, &stale);
    }
    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    const int fd = ConnectionNumber(display);
    while (Clock::now() - start < std::chrono::seconds(10)) {
        if (XPending(display) == 0) {
            fd_set wait_for;
            FD_ZERO(&wait_for);
            FD_SET(fd, &wait_for);
            timeval tick{0, 1000};
            select(fd + 1, &wait_for, nullptr, nullptr, &tick);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CONSOLE BARE_WINDOW [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string console = std::filesystem::absolute(argv[1]).string();
    const std::string bare = std::filesystem::absolute(argv[2]).string();
    const int runs = argc > 3 ? std::atoi(argv[3]) : 30;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    // A program folder for the console, with a settings file of its own.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tessal-startup-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "rvt_ini.txt", std::ios::binary)
        << "[kalmo]\r\nNE DIRAJ=REGISTER\r\n[PORT]\r\nBROJ=1\r\nBOUD=38400\r\n";

    std::vector<double> console_ms;
    std::vector<double> bare_ms;
    for (int i = 0; i < runs + 2; ++i) {
        const double c = time_to_window(display, console, folder);
        const double b = time_to_window(display, bare, folder);
        if (c < 0 || b < 0) {
            std::fprintf(stderr, "a window did not come up\n");
            return 1;
        }
        if (i >= 2) { // two warm-up rounds: caches, fonts
            console_ms.push_back(c);
            bare_ms.push_back(b);
        }
    }
    std::filesystem::remove_all(folder);
    const double c = median(console_ms);
    const double b = median(bare_ms);
    std::printf("runs %d\n", runs);
    std::printf("console_first_window_ms %.1f\n", c);
    std::printf("bare_window_ms %.1f\n", b);
    std::printf("ratio %.2f\n", c / b);
    XCloseDisplay(display);
    return 0;
}
