// The console program: one main window on the first serial port it is told
// about, with its settings in "rvt_ini.txt" beside the executable.
#include "console/main_window.h"
#include "console/message_service.h"
#include "dialogs/dialog_set.h"
#include "link/device_link.h"
#include "link/qt_serial_port.h"
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
    tessal::link::DeviceLink link(std::make_unique<tessal::link::QtSerialPort>());

    tessal::console::MainWindow window(settings, store, link, messages);
    tessal::dialogs::DialogSet dialogs(window);
    window.Form_Load();
    window.show();
    return app.exec();
}
