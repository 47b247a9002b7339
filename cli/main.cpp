// SPDX-License-Identifier: Apache-2.0
// tessal-cli: the console's device commands from a shell.  One command per
// run: the port is opened for it and closed after it, as the console does.
// The run's steps: parse the command line, open what the command needs, run
// it, report its result.
#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "device/settings_place.h"
#include "link/device_link.h"
#include "link/qt_port_enumerator.h"
#include "link/qt_serial_port.h"
#include "link/signal_handover.h"
#include "link/trace.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <iostream>
#include <memory>

#ifndef TESSAL_VERSION
#define TESSAL_VERSION "0"
#endif

using namespace tessal;

namespace {

// What the command line asked for: the command to run, a refusal, or an
// answer already given (--help, --version, --commands).
struct Parsed {
    bool json = false;
    std::optional<cli::Invocation> in;
    const cli::Command* command = nullptr;
    std::optional<cli::Result> refusal;
    bool answered = false;
};

// The command's row for what was asked, or the usage error.
const cli::Command* select_command(const cli::Invocation& in, std::optional<cli::Result>& refusal) {
    if (in.words.empty()) {
        refusal = cli::usage_error("no command; see tessal-cli --help");
        return nullptr;
    }
    const cli::Command* command = cli::find_command(in.words);
    if (command == nullptr) {
        refusal = cli::usage_error("unknown command or wrong arguments: " + in.words[0]);
    } else if (const std::optional<std::string> option = cli::foreign_option(*command, in)) {
        refusal = cli::usage_error(std::string(command->words) + " does not take " + *option);
        command = nullptr;
    }
    return command;
}

Parsed parse(const std::vector<std::string>& arguments) {
    Parsed parsed;
    std::string problem;
    parsed.in = cli::parse_command_line(arguments, problem);
    parsed.json = parsed.in
                      ? parsed.in->json
                      : std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    if (!parsed.in) {
        parsed.refusal = cli::usage_error(problem);
        return parsed;
    }
    const cli::Invocation& in = *parsed.in;
    parsed.answered = in.help || in.version || in.commands;
    if (in.help) {
        std::cout << cli::usage_text();
    } else if (in.version) {
        std::cout << "tessal-cli " << TESSAL_VERSION << '\n';
    } else if (in.commands) {
        std::cout << cli::command_list();
    } else {
        parsed.command = select_command(in, parsed.refusal);
    }
    return parsed;
}

// The settings file the console itself would use, or the one given; it is
// only read.  Its problems go to standard error, except with --json.
settings::Settings load_settings(const cli::Invocation& in) {
    std::vector<std::string> problems;
    const auto report = [&problems](const std::string& text) { problems.push_back(text); };
    // Installed beside the console, it finds the console's settings.
    settings::SettingsStore store =
        in.settings ? settings::SettingsStore::for_file(*in.settings, report)
                    : settings::SettingsStore(device::console_settings_folder(), report);
    settings::Settings settings;
    store.load_settings(settings);
    settings::count_operators_in_use(settings);
    for (const std::string& text : problems) {
        cli::tell_person(text, in.json);
    }
    return settings;
}

// --port: a number as the console maps it, or a device path.  False for a
// number out of range.
bool choose_port(const std::string& given, device::PortChoice& port, bool& by_number) {
    const bool number = !given.empty() && given.size() <= 3 &&
                        std::all_of(given.begin(), given.end(),
                                    [](unsigned char ch) { return std::isdigit(ch) != 0; });
    by_number = number;
    if (!number) {
        port.port_number = 1;
        port.com_devices = {};
        port.com_devices[0] = given;
        return true;
    }
    const int n = std::stoi(given);
    if (n < 1 || n > 8) {
        return false;
    }
    port.port_number = static_cast<std::uint8_t>(n);
    return true;
}

// --speed and --timeout: a whole number above 0; `into` is left as it is
// when none was given.
bool positive(const std::optional<std::string>& text, std::int32_t& into) {
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
}

// The line to the device, as the global options choose it.
struct Line {
    device::PortChoice port;
    std::unique_ptr<link::Trace> trace;
    std::unique_ptr<link::DeviceLink> link;
};

std::optional<cli::Result> open_line(const cli::Invocation& in, const settings::Settings& settings,
                                     const link::PortEnumerator& machine, Line& line) {
    line.port = device::PortChoice::of(settings);
    bool by_number = true;
    if (in.port && !choose_port(*in.port, line.port, by_number)) {
        return cli::usage_error("--port takes 1 to 8 or a device path");
    }
    std::int32_t timeout = 5000;
    if (!positive(in.speed, line.port.speed)) {
        return cli::usage_error("--speed takes a number of bit/s");
    }
    if (!positive(in.timeout, timeout)) {
        return cli::usage_error("--timeout takes a number of milliseconds");
    }
    if (in.trace) {
        line.trace = std::make_unique<link::Trace>(std::filesystem::path(*in.trace));
    }
    line.link = std::make_unique<link::DeviceLink>(std::make_unique<link::QtSerialPort>());
    if (by_number) {
        line.link->set_port_enumerator(&machine);
    }
    line.link->set_trace(line.trace.get());
    line.link->constants().reply_timeout_ms = timeout;
    return std::nullopt;
}

// The technician the command line names, of the company kept for this
// user; nothing when it names none.
std::optional<device::Technician> named_technician(const cli::Invocation& in) {
    if (!in.technician) {
        return std::nullopt;
    }
    return device::Technician{*in.technician, in.authorization.value_or(""),
                              device::load_technician().value_or(device::Technician{}).company};
}

cli::Result run(QCoreApplication& app, const cli::Command& command, const cli::Invocation& in,
                const settings::Settings& settings) {
    if (in.authorization && !in.technician) {
        return cli::usage_error("--authorization goes with --technician");
    }
    link::QtPortEnumerator machine;
    if (command.reach != cli::Reach::device) {
        cli::Commands commands(in, settings, machine);
        return command.run(commands);
    }
    Line line;
    if (std::optional<cli::Result> refusal = open_line(in, settings, machine, line)) {
        return *refusal;
    }
    // Whatever the command writes is recorded in the service book; the
    // write itself never waits for the register.
    cli::Recorder::prepare();
    cli::Recorder recorder(named_technician(in));
    // SIGINT and SIGTERM stop all traffic: a waiting exchange ends at once,
    // nothing more is sent, the port is closed when the command ends.
    link::DeviceLink& link = *line.link;
    link::hand_over_signals(app, {SIGINT, SIGTERM}, [&link] { link.cancel(); });
    cli::Commands commands(in, settings, machine, line.link.get(), line.port, &recorder);
    cli::Result result = commands.with_notes(command.run(commands));
    line.link->set_trace(nullptr);
    line.trace.reset(); // writes what is still queued
    if (const std::optional<device::BookState> state = recorder.settle()) {
        cli::add_record(result, *state, recorder.recorded_by());
    }
    return result;
}

// Qt's own warnings would break the one-object promise of --json, and a
// quiet standard error.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// The application a command runs in: a graphical one, kept off screen, for
// a command that draws a page (the fonts come with it); Qt Core's for every
// other.
std::unique_ptr<QCoreApplication> application(int& argc, char** argv, const cli::Command* command) {
    if (command == nullptr || command->reach != cli::Reach::page) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
    const Parsed parsed = parse(std::vector<std::string>(argv + 1, argv + argc));
    // The graphical side's own notes (a runtime folder it made up) are not
    // the command's: standard error stays quiet for a page.
    if (parsed.json || (parsed.command != nullptr && parsed.command->reach == cli::Reach::page)) {
        qInstallMessageHandler(quiet);
    }
    const std::unique_ptr<QCoreApplication> app = application(argc, argv, parsed.command);
    QCoreApplication::setApplicationName(QStringLiteral("Tessal"));
    if (parsed.answered) {
        return 0;
    }
    if (parsed.refusal) {
        return cli::report(*parsed.refusal, parsed.json);
    }
    const settings::Settings settings = load_settings(*parsed.in);
    return cli::report(run(*app, *parsed.command, *parsed.in, settings), parsed.json);
}
