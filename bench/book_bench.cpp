// SPDX-License-Identifier: Apache-2.0
// What the service book costs.  First the station's: a device's row alone
// against the row with its book entry (opened, four values, ended), on a
// SQLite file and on a PostgreSQL server, each against the time the station
// takes for a device (given as the first argument, in ms, from
// tessal-station-bench; 2000 when not given).  Then the line's: the time of
// a version exchange with a simulated device paced at 38400 bit/s, alone
// and while the book records ten changes for every exchange, on its own
// thread.  Run by hand, the server's owner URL in TESSAL_PG_URL
// (scripts/pg-cluster start), its password in PGPASSFILE:
//   eval "$(scripts/pg-cluster start)"; build/bench/tessal-book-bench [DEVICE_MS]
#include "device/service_book.h"
#include "devsim/pty_simulator.h"
#include "link/qt_serial_port.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace tessal;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 100;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

device::Outcome profile_applied() {
    using State = device::ValueState::State;
    device::Outcome o;
    o.write = device::Outcome::Write::profile;
    o.values = {{"ftp.user", "terminal", "servis", State::confirmed, "servis", ""},
                {"ftp.for_send", "/izvestaji", "/racuni", State::confirmed, "/racuni", ""},
                {"jad.REPORT_INTERVAL", "60", "30", State::confirmed, "30", ""},
                {"clock", std::nullopt, "09.12.26 10:00", State::written, "", ""}};
    return o;
}

reg::Record device_row(int n) {
    reg::Record r;
    r.port = "/dev/ttyUSB0";
    r.speed = 38400;
    r.version = "Tessal GPRS 2.4.1";
    r.imei = QString::number(356871044600000LL + n);
    r.sim_id = "89381030000123456784";
    r.profile_file = "/srv/servis.json";
    r.apply_result = "[]";
    r.pass = true;
    reg::stamp(r, "bench");
    return r;
}

// The time per device of recording its row, and its row with its entry;
// the rows chained by their writer, or not.
void station_cost(const QString& location, const char* name, double device_ms, bool chained) {
    reg::Register book;
    QString error;
    reg::Place place{location,
                     {},
                     location.startsWith("postgresql") ? QString() : location + ".waiting",
                     "bench"};
    place.chained = chained;
    if (!book.open(place, error)) {
        std::printf("%-10s cannot open: %s\n", name, qPrintable(error));
        return;
    }
    const device::Outcome applied = profile_applied();
    double alone = 0;
    double with_entry = 0;
    for (int n = 0; n < kDevices; ++n) {
        const reg::Record r = device_row(n);
        Clock::time_point start = Clock::now();
        book.record(r);
        alone += ms_since(start);
        reg::Record again = device_row(n);
        start = Clock::now();
        book.record(again);
        device::Opening opening;
        opening.port = "/dev/ttyUSB0";
        opening.device = {"Tessal GPRS 2.4.1", again.imei.toStdString(), ""};
        opening.kind = "commissioning";
        const reg::Intervention opened = device::opening_row(opening, "bench");
        book.record(opened);
        int seq = 0;
        for (const reg::Change& c : device::change_rows(opened.id.toStdString(), seq, applied)) {
            book.record(c);
        }
        book.record(device::closing_row(opened.id.toStdString(), {{}, "", "pass"}));
        with_entry += ms_since(start);
    }
    alone /= kDevices;
    with_entry /= kDevices;
    book.checkpoint();
    std::printf("%-10s %-9s row_ms %.2f  row_and_entry_ms %.2f  added_ms %.2f  of_device %.2f%%  "
                "row_and_entry_of_device %.2f%%\n",
                name, chained ? "chained" : "unchained", alone, with_entry, with_entry - alone,
                100.0 * (with_entry - alone) / device_ms, 100.0 * with_entry / device_ms);
}

struct Spread {
    double median = 0;
    double p99 = 0;
    double worst = 0;
};

Spread spread(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100], times.back()};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double device_ms = argc > 1 ? std::atof(argv[1]) : 2000.0;
    QTemporaryDir dir;
    reg::load_drivers({qEnvironmentVariable("TESSAL_PG_URL"), {}, {}, {}});

    std::printf("station: the book's rows per device, %d devices, against %.0f ms a device\n",
                kDevices, device_ms);
    // Chained rows against rows in no chain: the writer's head kept on
    // disk for every row, and a checkpoint signed at the end.
    for (const bool chained : {false, true}) {
        station_cost(dir.filePath(chained ? "chained.sqlite" : "station.sqlite"), "sqlite",
                     device_ms, chained);
        if (const QString url = qEnvironmentVariable("TESSAL_PG_URL"); !url.isEmpty()) {
            station_cost(url, "postgresql", device_ms, chained);
        }
    }

    devsim::PtySimulator sim(dir.filePath("ttySIM").toStdString());
    devsim::Faults paced;
    paced.line_speed = 38400;
    sim.set_faults(paced);
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return 1;
    }
    link::DeviceLink line(std::make_unique<link::QtSerialPort>());
    device::PortChoice port;
    port.com_devices[0] = sim.link_path().string();

    reg::Place place;
    place.location = dir.filePath("window.sqlite");
    device::ServiceBook book(place, "bench");
    const device::Outcome applied = profile_applied();
    std::printf("line: a version exchange at 38400 bit/s, the port open\n");
    for (const bool recording : {false, true}) {
        std::atomic<bool> busy{recording};
        std::atomic<int> exchanges{0};
        std::thread writer([&] {
            int seen = 0;
            while (busy) {
                if (exchanges > seen) {
                    ++seen;
                    for (int i = 0; i < 3; ++i) { // 3 outcomes of 4 values: 12 changes
                        book.record("/dev/ttyUSB0", applied);
                    }
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        device::Session session(line, port);
        session.open();
        std::vector<double> times;
        for (int i = 0; i < 300; ++i) {
            const Clock::time_point start = Clock::now();
            session.exchange("V");
            times.push_back(ms_since(start));
            ++exchanges;
        }
        session.finish();
        busy = false;
        writer.join();
        const Spread s = spread(times);
        const device::BookState state = book.settle(std::chrono::seconds(30));
        std::printf("%-14s median_ms %.2f  p99_ms %.2f  worst_ms %.2f  book_rows %d\n",
                    recording ? "while_recording" : "alone", s.median, s.p99, s.worst,
                    state.handed);
    }
    return 0;
}
