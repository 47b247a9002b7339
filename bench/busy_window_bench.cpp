// SPDX-License-Identifier: Apache-2.0
// The window's thread kept busy for three seconds while the device answers:
// the console must still acknowledge a reply at once and reach a silent
// device's time-out on time, since the serial line is served by the device
// engine's thread.  Three runs against the simulated device answering after
// one second (or not at all):
//   menu     the window's context menu open for 3 s (a modal loop)
//   blocked  a slot on the window's thread that blocks for 3 s
//   silent   the device silent, the window's thread blocked for 3 s
// Prints the figures, then both sides' line traces with their timestamps.
// Run by hand:
//   build/bench/tessal-busy-window-bench
#include "console/main_window.h"
#include "console/message_service.h"
#include "device/engine.h"
#include "devsim/pty_simulator.h"
#include "link/qt_serial_port.h"
#include "link/trace.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tessal;
using SteadyClock = std::chrono::steady_clock;

namespace {

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

class CountedMessages : public console::MessageService {
  public:
    void inform(const QString& text) override { shown << text; }
    void inform_with_details(const QString& text, const QString&) override { shown << text; }
    void plain(const QString& text) override { shown << text; }
    bool confirm(const QString&) override { return true; }
    QStringList shown;
};

// What the simulated device saw, as its own trace shows it.
struct DeviceSide {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::atomic<std::int64_t> ack_ns{0};
};

int fail(const char* what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    devsim::PtySimulator sim(dir.path().toStdString() + "/ttyBUSY");
    DeviceSide device;
    sim.set_wire_trace([&device](const std::string& line) {
        // The console's acknowledgement as the device receives it.
        if (line.find("> 06  <ACK>") != std::string::npos) {
            device.ack_ns = now_ns();
        }
        const std::lock_guard lock(device.mutex);
        device.lines.push_back(line);
    });
    if (!sim.start()) {
        return fail(sim.error().c_str());
    }

    CountedMessages messages;
    settings::Settings settings;
    settings::SettingsStore store(dir.path().toStdString());
    link::Trace trace;
    device::Engine engine([] { return std::make_unique<link::QtSerialPort>(); }, &trace);
    console::MainWindow window(settings, store, engine, messages);
    window.Form_Load();
    settings.com_devices[0] = sim.link_path().string();
    settings.port_number = 1;
    window.show();
    QCoreApplication::processEvents();

    const auto settle = [&] {
        while (!window.transaction().idle()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    };
    const auto busy_for_3s = [&](bool menu) {
        if (menu) {
            QMenu context(&window);
            context.addAction(QStringLiteral("Trag komunikacije"));
            QTimer::singleShot(3000, Qt::PreciseTimer, &context, &QMenu::close);
            context.exec(window.mapToGlobal(QPoint(40, 40)));
        } else {
            std::this_thread::sleep_for(std::chrono::seconds(3));
        }
    };

    // Reply after one second, window busy for three: the ACK's delay after
    // the reply's last byte.
    devsim::Faults slow;
    slow.reply_delay_ms = 1000;
    double ack_ms[2] = {0, 0};
    for (int run = 0; run < 2; ++run) {
        sim.set_faults(slow);
        device.ack_ns = 0;
        window.ReadVersion->click();
        const std::int64_t busy_from = now_ns();
        busy_for_3s(run == 0);
        const std::int64_t busy_until = now_ns();
        settle();
        const std::int64_t reply = sim.last_reply_byte_ns();
        if (device.ack_ns == 0 || reply < busy_from || reply > busy_until ||
            window.SoftVersion->text().isEmpty()) {
            return fail("the reply did not come while the window was busy");
        }
        ack_ms[run] = static_cast<double>(device.ack_ns - reply) / 1e6;
    }

    // A silent device, window blocked for three seconds: the time-out comes
    // at 5 s after the request, and its message once the window is free.
    devsim::Faults silent;
    silent.silent = true;
    sim.set_faults(silent);
    std::uint64_t from = trace.end();
    window.ReadVersion->click();
    busy_for_3s(false);
    settle();
    std::vector<link::TraceRecord> records = trace.records_since(from);
    double timeout_s = 0;
    std::chrono::system_clock::time_point sent{};
    for (const link::TraceRecord& record : records) {
        if (record.kind == link::TraceRecord::Kind::ToDevice && record.data.size() > 1) {
            sent = record.time;
        }
        if (record.event == link::TraceRecord::Event::TimedOut) {
            timeout_s = std::chrono::duration<double>(record.time - sent).count();
        }
    }

    std::printf("ack_after_reply_ms_menu_open %.3f\n", ack_ms[0]);
    std::printf("ack_after_reply_ms_window_blocked %.3f\n", ack_ms[1]);
    std::printf("timeout_reached_s_window_blocked %.3f\n", timeout_s);
    std::printf("messages %s\n", messages.shown.join(QStringLiteral(" | ")).toStdString().c_str());

    std::printf("\n-- console trace\n");
    from = 0;
    for (const link::TraceRecord& record : trace.records_since(from)) {
        std::printf("%s\n", link::format_record(record).c_str());
    }
    std::printf("\n-- simulated device, line as it saw it\n");
    const std::lock_guard lock(device.mutex);
    for (const std::string& line : device.lines) {
        std::printf("%s\n", line.c_str());
    }
    return timeout_s > 0 ? 0 : fail("no time-out");
}
