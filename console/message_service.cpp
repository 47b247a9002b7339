// SPDX-License-Identifier: Apache-2.0
#include "message_service.h"

#include <QApplication>
#include <QMessageBox>

namespace tessal::console {

namespace {

QWidget* owner() {
    return QApplication::activeWindow();
}

} // namespace

void BoxMessageService::inform(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("rvt"), text, QMessageBox::Ok,
                    owner());
    box.exec();
}

void BoxMessageService::inform_with_details(const QString& text, const QString& details) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("rvt"), text, QMessageBox::Ok,
                    owner());
    if (!details.isEmpty()) {
        box.setDetailedText(details);
    }
    box.exec();
}

void BoxMessageService::plain(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    owner());
    box.exec();
}

bool BoxMessageService::confirm(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("rvt"), text,
                    QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace tessal::console
