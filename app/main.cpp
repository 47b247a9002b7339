// The console program: one main window on the first serial port it is told
// about, with its settings in "rvt_ini.txt" beside the executable, and the
// trace of the serial line in "rvt_trace.txt" beside the settings.
#include "console/main_window.h"
#include "console/message_service.h"
#include "console/trace_window.h"
#include "dialogs/dialog_set.h"
#include "link/device_link.h"
#include "link/qt_serial_port.h"
#include "link/trace.h"
#include "settings/settings.h"
#include "settings/settings_store.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessal"));

    tessal::console::BoxMessageService messages;
    tessal::settings::Settings settings;
    tessal::settings::SettingsStore store(tessal::settings::SettingsStore::program_directory(),
                                          [&messages](const std::string& description) {
                                              messages.plain(QString::fromStdString(description));
                                          });
    tessal::link::Trace trace(store.settings_path().parent_path() / "rvt_trace.txt");
    tessal::link::DeviceLink link(std::make_unique<tessal::link::QtSerialPort>());
    link.set_trace(&trace);
    tessal::console::TraceWindow trace_window(trace);

    tessal::console::MainWindow window(settings, store, link, messages);
    window.set_trace_opener([&trace_window] { trace_window.open(); });
    tessal::dialogs::DialogSet dialogs(window);
    window.Form_Load();
    window.show();
    return app.exec();
}
