// SPDX-License-Identifier: Apache-2.0
// tessal-cli: the console's device commands from a shell.  One command per
// run: the port is opened for it and closed after it, as the console does.
#include "cli/command_line.h"
#include "cli/commands.h"
#ifdef TESSAL_WITH_STATION
#include "cli/station.h"
#endif
#include "device/device_text.h"
#include "device/settings_place.h"
#include "link/device_link.h"
#include "link/qt_port_enumerator.h"
#include "link/qt_serial_port.h"
#include "link/signal_handover.h"
#include "link/trace.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#ifndef TESSAL_VERSION
#define TESSAL_VERSION "0"
#endif

using namespace tessal;

namespace {

constexpr const char* kUsage =
    "usage: tessal-cli [--port N|PATH] [--speed BPS] [--settings FILE] [--timeout MS]\n"
    "                  [--json] [--trace FILE] COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  ports | version | last-command | restart | reset --yes | test | imei | signal\n"
    "  clock [--season summer|winter]\n"
    "  clock set (--from-pc | --date DD.MM.YYYY --time HH:MM:SS) --season summer|winter\n"
    "  ftp get\n"
    "  ftp set [--address A.B.C.D] [--user U] [--password-file F] [--for-send PATH]\n"
    "          [--command PATH] [--operator NAME | --gprs TEXT] [--verify]\n"
    "  operators\n"
    "  jad get [NAME] | jad set NAME VALUE [--verify]\n"
    "  sim id | sim set-id TEXT | sim password --password-file F | sim pin --pin-file F\n"
    "  at COMMAND\n"
    "  station --profile F [--ports GLOB] [--speeds LIST] [--station NAME]\n"
    "  register list [--since YYYY-MM-DD] | register export --csv F | register sync\n"
    "          (station, register: [--register FILE|URL] [--password-file F])\n"
    "  profile export FILE [--with-secrets] | profile diff FILE\n"
    "  profile apply FILE [--dry-run] [--password-file F]\n"
    "\n"
    "exit status: 0 success, 1 values differ (profile diff, apply --dry-run),\n"
    "2 usage, 3 port cannot be opened, 4 no reply,\n"
    "5 device refused or broken reply, 6 read-back differs, 7 partly written,\n"
    "130 SIGINT, 143 SIGTERM.  See tessal-cli(1).\n";

// Writes the result: one JSON object, or the text for a person with
// failures on standard error.
int finish(const cli::Result& result, bool json) {
    int exit = result.exit;
    std::optional<cli::Result::Error> error = result.error;
    if (const int caught_signal = link::last_signal(); caught_signal != 0) {
        exit = 128 + caught_signal;
        error = cli::Result::Error{"interrupted",
                                   caught_signal == SIGINT ? "interrupted (SIGINT)"
                                                           : "interrupted (SIGTERM)",
                                   {}};
    }
    if (json) {
        QJsonObject object = result.values;
        object["schema"] = 1;
        object["ok"] = exit == 0;
        if (!result.notes.isEmpty()) {
            object["messages"] = QJsonArray::fromStringList(result.notes);
        }
        if (exit != 0 && error) {
            QJsonObject e;
            e["code"] = QString::fromStdString(error->code);
            e["message"] = tessal::device::from_device(error->message);
            e["detail"] = tessal::device::from_device(error->detail);
            object["error"] = e;
        }
        std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n';
        return exit;
    }
    for (const std::string& warning : result.warnings) {
        std::cerr << warning << '\n';
    }
    for (const QString& note : result.notes) {
        std::cerr << note.toLatin1().toStdString() << '\n';
    }
    if (!result.text.empty() && (exit == 0 || result.raw || exit == cli::kMismatch)) {
        std::cout << result.text;
        if (!result.raw) {
            std::cout << '\n';
        }
    }
    if (exit != 0 && error) {
        const std::string& shown = !error->message.empty()  ? error->message
                                   : !error->detail.empty() ? error->detail
                                                            : error->code;
        std::cerr << shown << '\n';
        if (!error->message.empty() && !error->detail.empty()) {
            std::cerr << error->detail << '\n';
        }
    }
    return exit;
}

// Qt's own warnings would break the one-object promise of --json.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessal"));
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string problem;
    const std::optional<cli::Invocation> parsed = cli::parse_command_line(arguments, problem);
    const bool json =
        parsed ? parsed->json
               : std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    if (json) {
        qInstallMessageHandler(quiet);
    }
    if (!parsed) {
        return finish(cli::usage_error(problem), json);
    }
    const cli::Invocation& in = *parsed;
    if (in.help) {
        std::cout << kUsage;
        return 0;
    }
    if (in.version) {
        std::cout << "tessal-cli " << TESSAL_VERSION << '\n';
        return 0;
    }
    if (in.words.empty()) {
        return finish(cli::usage_error("no command; see tessal-cli --help"), json);
    }

    // The settings file the console itself would use, or the one given; it
    // is only read.
    std::vector<std::string> load_problems;
    const auto report = [&load_problems](const std::string& text) {
        load_problems.push_back(text);
    };
    std::unique_ptr<settings::SettingsStore> store;
    if (in.settings) {
        store = std::make_unique<settings::SettingsStore>(
            settings::SettingsStore::for_file(*in.settings, report));
    } else {
        // Installed beside the console, it finds the console's settings.
        store =
            std::make_unique<settings::SettingsStore>(device::console_settings_folder(), report);
    }
    settings::Settings settings;
    store->load_settings(settings);
    settings::count_operators_in_use(settings);
    if (!json) {
        for (const std::string& text : load_problems) {
            std::cerr << text << '\n';
        }
    }

#ifdef TESSAL_WITH_STATION
    if (in.words[0] == "station" || in.words[0] == "register") {
        return finish(cli::station_commands(in, settings), json);
    }
#endif
    link::QtPortEnumerator machine;
    if (in.words[0] == "ports" && in.words.size() == 1) {
        return finish(cli::list_ports(settings, machine.ports()), json);
    }
    if (in.words[0] == "operators" && in.words.size() == 1) {
        return finish(cli::list_operators(settings), json);
    }

    // The port: a number as the console maps it, or a device path.
    device::PortChoice port = device::PortChoice::of(settings);
    bool by_number = true;
    if (in.port) {
        const std::string& given = *in.port;
        const bool number = !given.empty() && given.size() <= 3 &&
                            std::all_of(given.begin(), given.end(),
                                        [](unsigned char ch) { return std::isdigit(ch) != 0; });
        if (number) {
            const int n = std::stoi(given);
            if (n < 1 || n > 8) {
                return finish(cli::usage_error("--port takes 1 to 8 or a device path"), json);
            }
            port.port_number = static_cast<std::uint8_t>(n);
        } else {
            port.port_number = 1;
            port.com_devices = {};
            port.com_devices[0] = given;
            by_number = false;
        }
    }
    const auto positive = [](const std::optional<std::string>& text, std::int32_t& into) {
        if (!text) {
            return true;
        }
        try {
            std::size_t used = 0;
            const long value = std::stol(*text, &used);
            if (used != text->size() || value <= 0 || value > 100000000) {
                return false;
            }
            into = static_cast<std::int32_t>(value);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    std::int32_t timeout = 5000;
    if (!positive(in.speed, port.speed)) {
        return finish(cli::usage_error("--speed takes a number of bit/s"), json);
    }
    if (!positive(in.timeout, timeout)) {
        return finish(cli::usage_error("--timeout takes a number of milliseconds"), json);
    }

    std::unique_ptr<link::Trace> trace;
    if (in.trace) {
        trace = std::make_unique<link::Trace>(std::filesystem::path(*in.trace));
    }
    link::DeviceLink line(std::make_unique<link::QtSerialPort>());
    if (by_number) {
        line.set_port_enumerator(&machine);
    }
    line.set_trace(trace.get());
    line.constants().reply_timeout_ms = timeout;
    // SIGINT and SIGTERM stop all traffic: a waiting exchange ends at once,
    // nothing more is sent, the port is closed when the command ends.
    link::hand_over_signals(app, {SIGINT, SIGTERM}, [&line] { line.cancel(); });

    cli::Commands commands(in, settings, line, port);
    const cli::Result result = commands.run();
    line.set_trace(nullptr);
    trace.reset(); // writes what is still queued
    return finish(result, json);
}
