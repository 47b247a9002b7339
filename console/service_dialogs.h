// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/service_book.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tessal::console {

// "Nova intervencija": who does the work and what kind of work it is.  The
// technician comes filled in as kept for this user.  OK is there once the
// technician is named; the device is read by the window after OK.
class OpeningDialog : public QDialog {
    Q_OBJECT

  public:
    explicit OpeningDialog(const device::Technician& technician, QWidget* parent = nullptr);

    // The entry as the technician described it; its port and device are the
    // window's to fill in.
    device::Opening opening() const;

    QLineEdit* Serviser = nullptr;
    QLineEdit* Ovlascenje = nullptr;
    QLineEdit* Firma = nullptr;
    QComboBox* Vrsta = nullptr;
    QLineEdit* SkinutePlombe = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Otkazi = nullptr;
};

// "Zavrsi intervenciju": the seals applied, a note and the verdict of the
// entry named on top.
class ClosingDialog : public QDialog {
    Q_OBJECT

  public:
    ClosingDialog(const QString& entry, QWidget* parent = nullptr);

    device::Closing closing() const;

    QLabel* Intervencija = nullptr;
    QLineEdit* PostavljenePlombe = nullptr;
    QPlainTextEdit* Napomena = nullptr;
    QComboBox* Nalaz = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Otkazi = nullptr;
};

} // namespace tessal::console
