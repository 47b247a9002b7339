// SPDX-License-Identifier: Apache-2.0
// Device check benchmark against the simulated device on a pseudo-terminal
// paced at 38400 bit/s: the check's time, from the port's opening to its
// closing, against the wire time of every byte the simulator saw both ways.
// The check adds no wait of its own: the ratio stays near 1 (at most 1.2).
// Run by hand:
//   build/bench/tessal-check-bench [RUNS]
#include "device/check.h"
#include "devsim/pty_simulator.h"
#include "link/qt_serial_port.h"
#include "wire_bytes.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace tessal;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLineSpeed = 38400;
constexpr const char* kProfile =
    R"({"schema": 1, "ftp": {"user": "terminal", "for_send": "/izvestaji"},)"
    R"( "jad": {"MIDlet-Version": "2.4.1"}})";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir dir;
    devsim::PtySimulator sim(dir.filePath("ttySIM").toStdString());
    sim.with_device([](devsim::Device& d) { d.modem().sim().pin_required = false; });
    devsim::Faults paced;
    paced.line_speed = kLineSpeed;
    sim.set_faults(paced);
    std::atomic<std::size_t> bytes{0};
    sim.set_wire_trace(
        [&bytes](const std::string& record) { bytes += bench::record_bytes(record); });
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return 1;
    }
    link::DeviceLink line(std::make_unique<link::QtSerialPort>());
    device::PortChoice port;
    port.com_devices[0] = sim.link_path().string();
    device::CheckInput input;
    input.settings.operator_names[0] = "Mreza A";
    input.settings.gprs_strings[0] = "internet,gprs,gprs";
    input.settings.network_codes[0] = "22001";
    input.settings.last_used_index = 0;

    std::printf("%-12s %6s %10s %8s %10s %7s %s\n", "check", "runs", "check_ms", "bytes", "wire_ms",
                "ratio", "verdict");
    for (const bool with_profile : {false, true}) {
        std::string problem;
        input.profile = with_profile ? device::parse_profile(kProfile, problem)
                                     : std::optional<device::Profile>();
        double elapsed_ms = 0;
        std::size_t all_bytes = 0;
        std::string verdict;
        for (int run = 0; run < runs; ++run) {
            bytes = 0;
            const Clock::time_point start = Clock::now();
            device::Session session(line, port);
            const device::CheckResult result = device::check_device(session, input);
            session.finish();
            elapsed_ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            // The simulator's last record is written before the console reads
            // its byte: by now it is counted.
            all_bytes += bytes;
            verdict = device::check_reason(result.verdict()).code;
        }
        const double wire_ms = static_cast<double>(all_bytes) * 10.0 * 1000.0 / kLineSpeed;
        std::printf("%-12s %6d %10.1f %8zu %10.1f %7.3f %s\n",
                    with_profile ? "with_profile" : "plain", runs, elapsed_ms / runs,
                    all_bytes / static_cast<std::size_t>(runs), wire_ms / runs,
                    elapsed_ms / wire_ms, verdict.c_str());
    }
    return 0;
}
