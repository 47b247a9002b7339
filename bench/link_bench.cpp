// SPDX-License-Identifier: Apache-2.0
// Link benchmark against the simulated device on a pseudo-terminal, on the
// path the program runs: the main window shown (offscreen unless a platform
// is set), its transaction posting operations to the device engine, whose
// thread owns the real serial port and waits for replies in its own event
// loop.  Prints one figure per line, name then value.  Run by hand:
//   build/bench/tessal-link-bench
// Each port open takes the serial port's lock file in /run/lock; where that
// folder is on a disk rather than tmpfs, the open waits for the disk and the
// transactions' figure measures the disk.  Measured as a machine with tmpfs
// there runs it:
//   sudo unshare -m sh -c 'mount -t tmpfs tmpfs /run/lock && build/bench/tessal-link-bench'
#include "console/main_window.h"
#include "console/message_service.h"
#include "device/engine.h"
#include "devsim/pty_simulator.h"
#include "link/frame.h"
#include "link/qt_serial_port.h"
#include "link/trace.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

using namespace tessal;
using Clock = std::chrono::steady_clock;

namespace {

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double thread_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Messages are counted, never shown: a figure must not wait for a person.
class CountedMessages : public console::MessageService {
  public:
    void inform(const QString&) override { ++count; }
    void inform_with_details(const QString&, const QString&) override { ++count; }
    void plain(const QString&) override { ++count; }
    bool confirm(const QString&) override { return true; }
    int count = 0;
};

struct Figures {
    double latency_median_ms = 0;
    double latency_p99_ms = 0;
    double timeout_cpu_s = 0;
    double transactions_per_s = 0;
    double wire_ratio_38400 = 0;
    // One full transaction in its parts, mean in ms: posted from the window
    // to the work starting on the device thread, the port's open, the one
    // exchange, and the port's close with the result's way back.
    double handover_ms = 0;
    double open_ms = 0;
    double exchange_ms = 0;
    double close_back_ms = 0;
};

void print(const Figures& f, const char* suffix) {
    std::printf("latency_median_ms%s %.3f\n", suffix, f.latency_median_ms);
    std::printf("latency_p99_ms%s %.3f\n", suffix, f.latency_p99_ms);
    std::printf("timeout_cpu_s%s %.4f\n", suffix, f.timeout_cpu_s);
    std::printf("transactions_per_s%s %.0f\n", suffix, f.transactions_per_s);
    std::printf("wire_ratio_38400%s %.3f\n", suffix, f.wire_ratio_38400);
    std::printf("transaction_handover_ms%s %.3f\n", suffix, f.handover_ms);
    std::printf("transaction_open_ms%s %.3f\n", suffix, f.open_ms);
    std::printf("transaction_exchange_ms%s %.3f\n", suffix, f.exchange_ms);
    std::printf("transaction_close_back_ms%s %.3f\n", suffix, f.close_back_ms);
}

// The lock file QSerialPort takes at each open lives in /run/lock.
void note_lock_folder() {
    constexpr long kTmpfsMagic = 0x01021994;
    struct statfs fs {};
    if (statfs("/run/lock", &fs) == 0 && static_cast<long>(fs.f_type) != kTmpfsMagic) {
        std::fprintf(stderr, "note: /run/lock is not on tmpfs; each port open waits for its lock "
                             "file on the disk, and transactions_per_s measures that disk\n");
    }
}

int fail(const char* what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    note_lock_folder();
    QTemporaryDir dir;
    devsim::PtySimulator sim(dir.path().toStdString() + "/ttyBENCH");
    if (!sim.start()) {
        return fail(sim.error().c_str());
    }
    CountedMessages messages;
    settings::Settings settings;
    settings::SettingsStore store(dir.path().toStdString());
    device::Engine engine([] { return std::make_unique<link::QtSerialPort>(); });
    console::MainWindow window(settings, store, engine, messages);
    window.Form_Load();
    settings.com_devices[0] = sim.link_path().string();
    settings.port_number = 1;
    window.show();
    QCoreApplication::processEvents();
    console::Transaction& transaction = window.transaction();
    const std::string version = sim.with_device([](auto& d) { return d.version(); });
    link::DeviceLink* line = nullptr;
    engine.on_device([&line](link::DeviceLink& l) { line = &l; });

    // The program runs with the trace on (its file in the settings folder);
    // every figure is taken with the trace off and on in turn, exchange by
    // exchange, so that both see the same machine.  The plain names are the
    // program's path, trace on; "_trace_off" names the same without it.
    // Switched on the device thread, inside an operation.
    link::Trace trace(std::filesystem::path(dir.path().toStdString()) / "rvt_trace.txt");
    const auto traced = [&](int mode) { line->set_trace(mode == 1 ? &trace : nullptr); };

    // Runs `work` as one operation of the window's transaction, with the
    // port open, and waits in this thread's event loop for its result;
    // false when the port did not open or the work failed.
    const auto transact = [&](auto work) {
        bool ok = false;
        QEventLoop delivered;
        const bool started = transaction.run(
            &window,
            [work](device::Session& session) mutable { return session.open() && work(session); },
            [&](bool result) {
                ok = result;
                delivered.quit();
            });
        if (started) {
            delivered.exec();
        }
        return ok;
    };
    std::array<Figures, 2> figures; // [0] trace off, [1] trace on

    // Latency: from the device's last reply byte to get_frame's return, on
    // the device thread.
    std::array<std::vector<double>, 2> latency_ms;
    const bool measured = transact([&](device::Session& session) {
        for (int i = 0; i < 2000; ++i) {
            traced(i % 2);
            if (session.exchange("V") != version) {
                return false;
            }
            const std::int64_t returned = now_ns();
            latency_ms[i % 2].push_back(static_cast<double>(returned - sim.last_reply_byte_ns()) /
                                        1e6);
        }
        return true;
    });
    if (!measured) {
        return fail("version exchange");
    }
    for (int mode = 0; mode < 2; ++mode) {
        std::vector<double>& sorted = latency_ms[mode];
        std::sort(sorted.begin(), sorted.end());
        figures[mode].latency_median_ms = sorted[sorted.size() / 2];
        figures[mode].latency_p99_ms = sorted[sorted.size() * 99 / 100];
    }

    // CPU spent by the console in one full time-out: the device thread's
    // wait and the window's thread meanwhile.
    devsim::Faults silent;
    silent.silent = true;
    sim.set_faults(silent);
    for (int mode = 0; mode < 2; ++mode) {
        double device_cpu = 0;
        const double window_before = thread_cpu_seconds();
        const bool timed_out = transact([&](device::Session& session) {
            traced(mode);
            const double before = thread_cpu_seconds();
            const bool ok = session.exchange("V") == link::kTimeout;
            device_cpu = thread_cpu_seconds() - before;
            return ok;
        });
        figures[mode].timeout_cpu_s = device_cpu + (thread_cpu_seconds() - window_before);
        if (!timed_out) {
            return fail("time-out");
        }
    }
    sim.set_faults({});

    // Full transactions: posted from the window's thread, port opened, one
    // exchange, port closed, result delivered back; each timed in its parts.
    std::array<double, 2> seconds{};
    std::array<std::array<double, 4>, 2> parts{}; // handover, open, exchange, close and back
    for (int i = 0; i < 2000; ++i) {
        const int mode = i % 2;
        std::atomic<std::int64_t> started_ns{0}, opened_ns{0}, exchanged_ns{0};
        bool ok = false;
        QEventLoop delivered;
        const std::int64_t posted_ns = now_ns();
        const bool started = transaction.run(
            &window,
            [&, mode](device::Session& session) {
                started_ns = now_ns();
                if (!session.open()) {
                    return false;
                }
                opened_ns = now_ns();
                traced(mode);
                const bool same = session.exchange("V") == version;
                exchanged_ns = now_ns();
                return same;
            },
            [&](bool result) {
                ok = result;
                delivered.quit();
            });
        if (started) {
            delivered.exec();
        }
        const std::int64_t back_ns = now_ns();
        if (!ok) {
            return fail("transaction");
        }
        seconds[mode] += static_cast<double>(back_ns - posted_ns) / 1e9;
        parts[mode][0] += static_cast<double>(started_ns - posted_ns) / 1e6;
        parts[mode][1] += static_cast<double>(opened_ns - started_ns) / 1e6;
        parts[mode][2] += static_cast<double>(exchanged_ns - opened_ns) / 1e6;
        parts[mode][3] += static_cast<double>(back_ns - exchanged_ns) / 1e6;
    }
    for (int mode = 0; mode < 2; ++mode) {
        figures[mode].transactions_per_s = 1000.0 / seconds[mode];
        figures[mode].handover_ms = parts[mode][0] / 1000.0;
        figures[mode].open_ms = parts[mode][1] / 1000.0;
        figures[mode].exchange_ms = parts[mode][2] / 1000.0;
        figures[mode].close_back_ms = parts[mode][3] / 1000.0;
    }

    // With the line paced at 38400 bit/s: measured exchange time over the
    // time its request and reply need on the wire.
    devsim::Faults paced;
    paced.line_speed = 38400;
    sim.set_faults(paced);
    const std::size_t wire_bytes =
        link::build_frame("V").size() + link::build_frame(version).size();
    const double wire_s = static_cast<double>(wire_bytes) * 10.0 / 38400.0;
    std::array<double, 2> paced_s{};
    const int paced_runs = 400;
    const bool paced_ok = transact([&](device::Session& session) {
        for (int i = 0; i < paced_runs; ++i) {
            traced(i % 2);
            const auto t0 = Clock::now();
            if (session.exchange("V") != version) {
                return false;
            }
            paced_s[i % 2] += std::chrono::duration<double>(Clock::now() - t0).count();
        }
        line->set_trace(nullptr);
        return true;
    });
    if (!paced_ok) {
        return fail("paced exchange");
    }
    for (int mode = 0; mode < 2; ++mode) {
        figures[mode].wire_ratio_38400 = paced_s[mode] / (paced_runs / 2) / wire_s;
    }

    print(figures[1], "");
    print(figures[0], "_trace_off");
    return messages.count == 0 ? 0 : fail("a message was shown");
}
