// SPDX-License-Identifier: Apache-2.0
// Commissioning station benchmark against simulated devices on
// pseudo-terminals paced at 38400 bit/s: for each device the time from its
// port's appearance to its line, against the wire time of every byte the
// simulator saw both ways; then twenty devices in a row, every fifth one
// refusing a value, with their rows, the ports left closed and the process's
// descriptors counted before and after.  Run by hand:
//   build/bench/tessal-station-bench
#include "devsim/pty_simulator.h"
#include "station/station.h"
#include "support/files.h"
#include "wire_bytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace tessal;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLineSpeed = 38400;
constexpr const char* kProfile =
    R"({"schema": 1, "ftp": {"user": "servis", "for_send": "/racuni"},)"
    R"( "jad": {"REPORT_INTERVAL": "30"}})";

using testing::open_files;

struct Device {
    Clock::time_point appeared;
    Clock::time_point first_byte; // the first byte on the line
    Clock::time_point last_byte;
    Clock::time_point told;
    std::size_t bytes = 0;
    int leftover = -1; // descriptors on the device besides the simulator's own
    reg::Record row;
};

// Runs `count` devices one after another through one station; device i
// refuses the FTP user name when `faulty(i)`.
std::vector<Device> run(const QString& folder, int count, bool (*faulty)(int), int& files_leaked,
                        std::vector<reg::Record>& register_rows) {
    QDir(folder).mkpath("ports");
    const int files_before = open_files();
    std::vector<Device> devices(static_cast<std::size_t>(count));
    {
        reg::Register book;
        QString error;
        if (!book.open(folder + "/reg/register.sqlite", error)) {
            std::fprintf(stderr, "register: %s\n", error.toUtf8().constData());
            std::exit(1);
        }
        station::Options options;
        std::string problem;
        options.profile = *device::parse_profile(kProfile, problem);
        options.profile_file = "bench.json";
        options.ports_glob = folder + "/ports/dev*";
        options.traces_folder = book.traces_folder();
        station::Station station(book, options);

        std::mutex mutex;
        std::condition_variable told;
        std::size_t done = 0;
        std::thread driver([&] {
            for (int i = 0; i < count; ++i) {
                Device& d = devices[static_cast<std::size_t>(i)];
                std::atomic<std::size_t> bytes{0}; // outlive the simulator's thread
                std::atomic<Clock::rep> first{0};
                std::atomic<Clock::rep> last{0};
                devsim::PtySimulator sim(
                    QString("%1/ports/dev%2").arg(folder).arg(i).toStdString());
                sim.with_device([i](devsim::Device& device) {
                    device.modem().sim().pin_required = false; // ready: the station checks it
                    device.modem().set_imei(std::to_string(356871044600000 + i));
                });
                devsim::Faults paced;
                paced.line_speed = kLineSpeed;
                devsim::Faults refusing = paced;
                refusing.nak_all = true;
                sim.set_faults(paced);
                sim.set_command_faults({{faulty(i) ? "PFTPGovUser" : "-", refusing}});
                sim.set_wire_trace([&](const std::string& r) {
                    if (const std::size_t n = bench::record_bytes(r); n > 0) {
                        Clock::rep expected = 0;
                        first.compare_exchange_strong(expected,
                                                      Clock::now().time_since_epoch().count());
                        last = Clock::now().time_since_epoch().count();
                        bytes += n;
                    }
                });
                d.appeared = Clock::now();
                if (!sim.start()) {
                    std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
                    break;
                }
                std::unique_lock lock(mutex);
                if (!told.wait_for(lock, std::chrono::seconds(30),
                                   [&] { return done > static_cast<std::size_t>(i); })) {
                    break;
                }
                lock.unlock();
                d.leftover = open_files(sim.device_path()) - 1;
                d.bytes = bytes;
                d.first_byte = Clock::time_point(Clock::duration(first.load()));
                d.last_byte = Clock::time_point(Clock::duration(last.load()));
            }
            station.stop();
        });
        error = station.run([&](const reg::Record& row) {
            const std::lock_guard lock(mutex);
            devices[done].told = Clock::now();
            devices[done].row = row;
            ++done;
            told.notify_all();
        });
        driver.join();
        if (!error.isEmpty()) {
            std::fprintf(stderr, "station: %s\n", error.toUtf8().constData());
        }
        register_rows = book.list({}, error).value_or(std::vector<reg::Record>{});
    }
    files_leaked = open_files() - files_before;
    return devices;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    std::printf("== One device at a time, %d bit/s\n", kLineSpeed);
    std::printf("%-7s %10s %8s %10s %7s %9s %8s  %s\n", "device", "elapsed_ms", "bytes", "wire_ms",
                "ratio", "found_ms", "after_ms", "line");
    int leaked = 0;
    std::vector<reg::Record> rows;
    const std::vector<Device> single = run(
        dir.path() + "/single", 5, [](int) { return false; }, leaked, rows);
    double worst = 0;
    for (std::size_t i = 0; i < single.size(); ++i) {
        const Device& d = single[i];
        const double wire = static_cast<double>(d.bytes) * 10.0 * 1000.0 / kLineSpeed;
        const double elapsed = ms(d.told - d.appeared);
        worst = std::max(worst, elapsed / wire);
        // found: from the port's appearance to the first byte on the line;
        // after: from the last byte to the line.
        std::printf("%-7zu %10.1f %8zu %10.1f %7.3f %9.1f %8.1f  %s\n", i + 1, elapsed, d.bytes,
                    wire, elapsed / wire, ms(d.first_byte - d.appeared), ms(d.told - d.last_byte),
                    station::outcome_line(d.row).toUtf8().constData());
    }
    std::printf("worst_ratio %.3f (probe time-outs: none, the first speed answers)\n", worst);

    std::printf("\n== Twenty devices in a row, every fifth refusing a value\n");
    const auto start = Clock::now();
    const std::vector<Device> row = run(
        dir.path() + "/row", 20, [](int i) { return i % 5 == 4; }, leaked, rows);
    int right = 0;
    int leftover = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        right += i < rows.size() && rows[i].pass == (i % 5 != 4) &&
                 rows[i].imei == QString::number(356871044600000 + i);
        leftover += row[i].leftover != 0;
    }
    std::printf("total_s %.2f\nregister_rows %zu\nright_pass_fail %d\nports_left_open %d\n"
                "descriptors_gained %d\n",
                ms(Clock::now() - start) / 1000.0, rows.size(), right, leftover, leaked);
    for (const Device& d : row) {
        std::printf("  %s\n", station::outcome_line(d.row).toUtf8().constData());
    }
    return rows.size() == 20 && right == 20 && leftover == 0 && leaked == 0 ? 0 : 1;
}
