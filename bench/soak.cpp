// SPDX-License-Identifier: Apache-2.0
// Soak run, by hand: 10,000 transactions of the main window against the
// simulated device with a mix of faults, then 1,000 settings saves in a row.
// Prints transactions, failures_unexpected, fd_growth, rss_growth_kb and the
// save figures.
//   build/bench/tessal-soak
#include "console/main_window.h"
#include "console/message_service.h"
#include "device/engine.h"
#include "devsim/pty_simulator.h"
#include "link/qt_serial_port.h"
#include "settings/settings_store.h"
#include "support/files.h"
#include "support/settle.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace tessal;

namespace {

// Counts messages instead of showing them.
class LastMessage : public console::MessageService {
  public:
    void inform(const QString& text) override { shown.push_back(text); }
    void inform_with_details(const QString& text, const QString&) override {
        shown.push_back(text);
    }
    void plain(const QString& text) override { shown.push_back(text); }
    bool confirm(const QString&) override { return true; }
    QStringList shown;
};

long resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

enum class Fault { none, nak, bad_checksum, ack_first, stray, silent, hang_up };

devsim::Faults faults_for(Fault fault) {
    devsim::Faults f;
    switch (fault) {
    case Fault::none:
        break;
    case Fault::nak:
        f.nak_all = true;
        break;
    case Fault::bad_checksum:
        f.corrupt_checksum = true;
        break;
    case Fault::ack_first:
        f.ack_before_frame = true;
        break;
    case Fault::stray:
        f.stray_prefix = "\r\n";
        break;
    case Fault::silent:
        f.silent = true;
        break;
    case Fault::hang_up:
        f.hang_up_mid_reply = true;
        break;
    }
    return f;
}

// One cycle of twenty transactions: mostly clean, one of each fault.
constexpr Fault kCycle[20] = {
    Fault::none, Fault::none,         Fault::nak,  Fault::none,    Fault::none,
    Fault::none, Fault::bad_checksum, Fault::none, Fault::none,    Fault::ack_first,
    Fault::none, Fault::none,         Fault::none, Fault::stray,   Fault::none,
    Fault::none, Fault::silent,       Fault::none, Fault::hang_up, Fault::none,
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    devsim::PtySimulator sim(dir.path().toStdString() + "/ttySOAK");
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return 1;
    }
    const std::string version = sim.with_device([](auto& d) { return d.version(); });

    LastMessage messages;
    settings::Settings settings;
    settings::SettingsStore store(dir.path().toStdString());
    device::Engine engine([] { return std::make_unique<link::QtSerialPort>(); });
    console::MainWindow window(settings, store, engine, messages);
    window.Form_Load();
    settings.com_devices[0] = sim.link_path().string();

    const int total = 10000;
    long fd_start = 0;
    long rss_start = 0;
    int unexpected = 0;
    for (int i = 0; i < total; ++i) {
        if (i == 200) { // after warm-up: caches, fonts and buffers are in place
            fd_start = testing::open_files();
            rss_start = resident_kb();
        }
        const Fault fault = kCycle[i % 20];
        const bool data = i % 3 != 0; // two version reads to one restart
        sim.set_faults(faults_for(fault));
        // Short waits where silence is the point; room for the line elsewhere.
        engine.on_device([fault](link::DeviceLink& link) {
            link.constants().reply_timeout_ms = fault == Fault::silent ? 50 : 2000;
        });
        messages.shown.clear();
        (data ? window.ReadVersion : window.ComStop)->click();
        const bool ended = testing::settle(engine);
        bool closed = false;
        engine.on_device([&closed](link::DeviceLink& link) { closed = !link.is_open(); });

        QStringList expected;
        switch (fault) {
        case Fault::none:
            expected = data ? QStringList{} : QStringList{"OK!"};
            break;
        case Fault::nak:
            expected = {"Not OK!"};
            break;
        case Fault::bad_checksum:
        case Fault::stray:
            expected = data ? QStringList{"Checksum nije dobar!"}
                            : QStringList{"OK!"}; // a lone ACK carries no checksum
            break;
        case Fault::ack_first:
            expected = data ? QStringList{} : QStringList{"OK!"};
            break;
        case Fault::silent:
            expected = data ? QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"}
                            : QStringList{"Uredjaj ne odgovara !"};
            break;
        case Fault::hang_up:
            expected = {"Greska!"};
            break;
        }
        bool good = ended && messages.shown == expected && closed;
        if (good && data && expected.isEmpty()) {
            const QString want = fault == Fault::ack_first ? "OK" : QString::fromStdString(version);
            good = window.SoftVersion->text() == want;
        }
        if (!good) {
            ++unexpected;
            std::fprintf(stderr, "transaction %d (fault %d, %s): %s\n", i, static_cast<int>(fault),
                         data ? "V" : "E", messages.shown.join(" | ").toStdString().c_str());
        }
        if (fault == Fault::ack_first || fault == Fault::hang_up) {
            // Let the frame behind the ACK land, or the fresh line come up,
            // before the next transaction.
            std::this_thread::sleep_for(std::chrono::milliseconds(70));
        }
    }
    std::printf("transactions %d\n", total);
    std::printf("failures_unexpected %d\n", unexpected);
    std::printf("fd_growth %ld\n", testing::open_files() - fd_start);
    std::printf("rss_growth_kb %ld\n", resident_kb() - rss_start);

    // 1,000 saves in a row: the file stays whole and byte-identical.
    settings.operator_names[0] = "Mreza A";
    settings.gprs_strings[0] = "\"internet\",\"\",\"\"";
    store.save_settings(settings);
    const std::string first = file_bytes(store.settings_path());
    int changed = 0;
    for (int i = 0; i < 1000; ++i) {
        if (!store.save_settings(settings) || file_bytes(store.settings_path()) != first) {
            ++changed;
        }
    }
    settings::Settings reloaded;
    const bool loads =
        store.load_settings(reloaded) && reloaded.gprs_strings[0] == settings.gprs_strings[0];
    std::printf("saves 1000\n");
    std::printf("saves_changed %d\n", changed);
    std::printf("saved_file_loads %d\n", loads ? 1 : 0);
    return unexpected == 0 && changed == 0 && loads ? 0 : 1;
}
