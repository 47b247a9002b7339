// SPDX-License-Identifier: Apache-2.0
// The console program: one main window and its dialogs on the machine's
// serial ports, with its settings in "rvt_ini.txt" beside the executable,
// or, for an installed program without such a file, in the user's folder for
// the application; the trace of the serial line goes to "rvt_trace.txt"
// beside the settings.
#include "console/main_window.h"
#include "console/message_service.h"
#include "console/trace_window.h"
#include "device/engine.h"
#include "device/settings_place.h"
#include "dialogs/dialog_set.h"
#include "register/register.h"
#ifdef TESSAL_WITH_STATION
#include "console/station_window.h"
#endif
#include "link/qt_serial_port.h"
#include "link/trace.h"
#include "settings/settings.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QMessageBox>

#ifdef Q_OS_UNIX
#include "link/signal_handover.h"

#include <csignal>
#endif

#include <cstdio>
#include <memory>

namespace {

// Set once the program is ending on a signal: nobody will answer a box then,
// so a failure to save is reported on standard error instead.
bool ending_on_signal = false;

#ifdef Q_OS_UNIX
// SIGTERM and SIGHUP (a session ending, a service tool stopping the program)
// close the main window as its close button does: a running wait is cut
// short, the port closed and the settings saved.  The window is closed from
// the event loop.
void close_on_signals(QWidget& window) {
    tessal::link::hand_over_signals(window, {SIGTERM, SIGHUP}, [&window] {
        ending_on_signal = true;
        // A transaction that shows a message holds the close until the box
        // is answered; nobody will answer it now.  The boxes are dismissed
        // first, so that the close below finds none in its way.
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top); box != nullptr && box->isVisible()) {
                box->reject();
            }
        }
        window.close();
    });
}
#else
// Windows runs a handler on a thread of its own, where the window may not be
// touched; a session's end comes as a request to commit data instead.
void close_on_signals(QWidget&) {}
#endif

// The settings' failures: a box, or standard error once the program is
// ending on a signal.
tessal::settings::SettingsStore::Reporter
settings_reporter(tessal::console::BoxMessageService& messages) {
    return [&messages](const std::string& description) {
        if (ending_on_signal) {
            std::fprintf(stderr, "tessal: %s\n", description.c_str());
        } else {
            messages.plain(QString::fromStdString(description));
        }
    };
}

// The trace window is made when it is first opened: nothing it needs delays
// the first window.
void open_trace_when_asked(tessal::console::MainWindow& window, tessal::link::Trace& trace,
                           std::unique_ptr<tessal::console::TraceWindow>& trace_window) {
    window.set_trace_opener([&trace_window, &trace] {
        if (!trace_window) {
            trace_window = std::make_unique<tessal::console::TraceWindow>(trace);
        }
        trace_window->open();
    });
}

#ifdef TESSAL_WITH_STATION
// The commissioning station's window, made when first opened.
void open_station_when_asked(tessal::console::MainWindow& window,
                             tessal::settings::Settings& settings,
                             std::unique_ptr<tessal::console::StationWindow>& station_window) {
    window.set_station_opener([&station_window, &window, &settings] {
        if (!station_window) {
            station_window =
                std::make_unique<tessal::console::StationWindow>(window.transaction(), settings);
        }
        station_window->show();
        station_window->raise();
    });
}
#endif

#ifdef Q_OS_WIN
// Windows ends a session (signing out, shutting down) by asking the program
// to commit its data and then ends it without a quit: the settings are saved
// then, as "Izlaz" saves them, and the trace lines still queued are written.
// Nobody answers a box at that point, so a failure goes to standard error.
void save_when_the_session_ends(QApplication& app, QWidget& window,
                                tessal::settings::SettingsStore& store,
                                tessal::settings::Settings& settings, tessal::link::Trace& trace) {
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &window,
        [&store, &settings, &trace] {
            ending_on_signal = true;
            store.save_settings(settings);
            ending_on_signal = false;
            trace.flush_file();
        },
        Qt::DirectConnection);
}
#endif

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // No organisation name: the user's folder is ~/.config/Tessal, not
    // ~/.config/<organisation>/Tessal.
    QApplication::setApplicationName(QStringLiteral("Tessal"));
#ifdef Q_OS_WIN
    // The register (the service book's, the station's) is opened on threads
    // of its own; on Windows its SQL drivers are loaded now, before those
    // threads or any other are made (a driver's thread storage given out to running threads has
    // faulted in the system's loader).  Elsewhere they load when first used,
    // and the start does not pay for them.
    tessal::reg::load_drivers(tessal::reg::configured());
#endif

    const std::filesystem::path user_dir = tessal::device::user_settings_folder();
    const std::filesystem::path directory = tessal::device::console_settings_folder();

    tessal::console::BoxMessageService messages;
    tessal::settings::Settings settings;
    tessal::settings::SettingsStore store(directory, settings_reporter(messages),
                                          directory == user_dir);
    tessal::link::Trace trace(store.settings_path().parent_path() / "rvt_trace.txt");
    // The serial line has a thread of its own; the window never waits for it.
    tessal::device::Engine engine([] { return std::make_unique<tessal::link::QtSerialPort>(); },
                                  &trace);
    std::unique_ptr<tessal::console::TraceWindow> trace_window;

    tessal::console::MainWindow window(settings, store, engine, messages);
    open_trace_when_asked(window, trace, trace_window);
#ifdef TESSAL_WITH_STATION
    std::unique_ptr<tessal::console::StationWindow> station_window;
    open_station_when_asked(window, settings, station_window);
#endif
    tessal::dialogs::DialogSet dialogs(window, settings, store);
    window.Form_Load();
    close_on_signals(window);
#ifdef Q_OS_WIN
    save_when_the_session_ends(app, window, store, settings, trace);
#endif
    window.show();
    return app.exec();
}
