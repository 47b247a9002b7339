// SPDX-License-Identifier: Apache-2.0
#include "settings_place.h"

#include "settings/settings_location.h"
#include "settings/settings_store.h"

#include <QDir>
#include <QStandardPaths>

// The build names where an installed program finds its desktop entry; a
// build that does not (a hand-made one) falls back to the usual layout.
#ifndef TESSAL_INSTALL_MARKER
#define TESSAL_INSTALL_MARKER "../share/applications/tessal.desktop"
#endif

namespace tessal::device {

std::filesystem::path user_settings_folder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(folder).toStdWString();
#else
    return folder.toStdString();
#endif
}

std::filesystem::path console_settings_folder() {
    return settings::settings_directory(settings::SettingsStore::program_directory(),
                                        user_settings_folder(), TESSAL_INSTALL_MARKER);
}

} // namespace tessal::device
