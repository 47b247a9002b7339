// Link benchmark against the simulated device on a pseudo-terminal.  Prints
// one figure per line, name then value.  Run by hand:
//   build/bench/tessal-link-bench
#include "devsim/pty_simulator.h"
#include "link/device_link.h"
#include "link/frame.h"
#include "link/qt_serial_port.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

bool open(link::DeviceLink& link, std::int32_t speed) {
    std::uint8_t number = 1;
    return link.init_port(number, speed) == link::kOk;
}

int fail(const char* what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    devsim::PtySimulator sim(dir.path().toStdString() + "/ttyBENCH");
    if (!sim.start()) {
        return fail(sim.error().c_str());
    }
    link::DeviceLink link(std::make_unique<link::QtSerialPort>());
    link::PortMap map;
    map.devices[0] = sim.link_path().string();
    link.set_port_map(map);
    const std::string version = sim.with_device([](auto& d) { return d.version(); });

    // Latency: from the device's last reply byte to get_frame's return.
    if (!open(link, 38400)) {
        return fail("open");
    }
    std::vector<double> latency_ms;
    for (int i = 0; i < 1000; ++i) {
        if (link.get_frame("V") != version) {
            return fail("version exchange");
        }
        const std::int64_t returned = now_ns();
        latency_ms.push_back(static_cast<double>(returned - sim.last_reply_byte_ns()) / 1e6);
    }
    std::sort(latency_ms.begin(), latency_ms.end());
    std::printf("latency_median_ms %.3f\n", latency_ms[latency_ms.size() / 2]);
    std::printf("latency_p99_ms %.3f\n", latency_ms[latency_ms.size() * 99 / 100]);

    // CPU spent by the console side in one full time-out.
    devsim::Faults silent;
    silent.silent = true;
    sim.set_faults(silent);
    const double cpu_before = thread_cpu_seconds();
    if (link.get_frame("V") != link::kTimeout) {
        return fail("time-out");
    }
    std::printf("timeout_cpu_s %.4f\n", thread_cpu_seconds() - cpu_before);
    sim.set_faults({});
    link.close_port();

    // Full transactions: open, exchange, close.
    const auto start = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        if (!open(link, 38400) || link.get_frame("V") != version) {
            return fail("transaction");
        }
        link.close_port();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("transactions_per_s %.0f\n", 1000.0 / seconds);

    // With the line paced at 38400 bit/s: measured exchange time over the
    // time its request and reply need on the wire.
    devsim::Faults paced;
    paced.line_speed = 38400;
    sim.set_faults(paced);
    if (!open(link, 38400)) {
        return fail("open paced");
    }
    const std::size_t wire_bytes =
        link::build_frame("V").size() + link::build_frame(version).size();
    const double wire_s = static_cast<double>(wire_bytes) * 10.0 / 38400.0;
    double measured_s = 0;
    const int paced_runs = 200;
    for (int i = 0; i < paced_runs; ++i) {
        const auto t0 = Clock::now();
        if (link.get_frame("V") != version) {
            return fail("paced exchange");
        }
        measured_s += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    link.close_port();
    std::printf("wire_ratio_38400 %.3f\n", measured_s / paced_runs / wire_s);
    return 0;
}
