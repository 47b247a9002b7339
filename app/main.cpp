// The console program: one main window on the machine's serial ports, with
// its settings in "rvt_ini.txt" beside the executable, or, for an installed
// program without such a file, in the user's folder for the application.
#include "console/main_window.h"
#include "console/message_service.h"
#include "dialogs/dialog_set.h"
#include "link/device_link.h"
#include "link/qt_port_enumerator.h"
#include "link/qt_serial_port.h"
#include "settings/settings.h"
#include "settings/settings_location.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QStandardPaths>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // No organisation name: the user's folder is ~/.config/Tessal, not
    // ~/.config/<organisation>/Tessal.
    QApplication::setApplicationName(QStringLiteral("Tessal"));

    const std::filesystem::path user_dir =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString();
    const std::filesystem::path directory = tessal::settings::settings_directory(
        tessal::settings::SettingsStore::program_directory(), user_dir, TESSAL_INSTALL_MARKER);

    tessal::console::BoxMessageService messages;
    tessal::settings::Settings settings;
    tessal::settings::SettingsStore store(
        directory,
        [&messages](const std::string& description) {
            messages.plain(QString::fromStdString(description));
        },
        directory == user_dir);
    tessal::link::DeviceLink link(std::make_unique<tessal::link::QtSerialPort>());
    tessal::link::QtPortEnumerator ports;

    tessal::console::MainWindow window(settings, store, link, messages);
    window.set_port_enumerator(ports);
    tessal::dialogs::DialogSet dialogs(window);
    window.Form_Load();
    window.show();
    return app.exec();
}
