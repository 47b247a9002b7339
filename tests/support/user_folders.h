// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QTemporaryDir>

namespace tessal::testing {

// The user's folders of a test program that runs the window: its settings
// (where the register is, the technician kept) and its data (the register the
// service book is kept in) are in a temporary folder of the program's own,
// never the user's.  Set before the program's first line runs, so before
// anything reads them.
struct ScratchUserFolders {
    ScratchUserFolders() {
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    }
    QTemporaryDir dir;
};
inline const ScratchUserFolders scratch_user_folders;

} // namespace tessal::testing
