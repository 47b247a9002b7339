// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace tessal::testing {

// A key pressed on `target`.
inline void press(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
}

// The names of the controls Tab visits from the first one of `window`'s
// focus chain until it comes back, "|" between them; a control without a
// name of its own is called by what a screen reader reads of it (a button
// by its caption, a list by its choice).
inline QString tab_walk(QWidget* window) {
    window->show();
    QWidget* first = window->nextInFocusChain();
    while (first != window && (!(first->focusPolicy() & Qt::TabFocus) ||
                               !first->isVisibleTo(window) || first->focusProxy() != nullptr)) {
        first = first->nextInFocusChain();
    }
    first->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (QWidget* at = first; at != nullptr && names.size() < 60;) {
        names << (at->accessibleName().isEmpty()
                      ? QAccessible::queryAccessibleInterface(at)->text(QAccessible::Name)
                      : at->accessibleName());
        press(at, Qt::Key_Tab);
        at = window->focusWidget() == first ? nullptr : window->focusWidget();
    }
    return names.join(u'|');
}

} // namespace tessal::testing
