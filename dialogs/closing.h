// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "console/transaction.h"

#include <QDialog>

namespace tessal::dialogs {

// Closes a dialog that talks to the device, as its close box, Escape and
// "Izlaz" ask: during a wait the wait is cut short, nothing more is sent and
// the port is closed before the dialog closes.
inline void close_dialog(console::Transaction& transaction, QDialog& dialog) {
    transaction.close([&dialog] { dialog.done(QDialog::Rejected); }, false);
}

} // namespace tessal::dialogs
