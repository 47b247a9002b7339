// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QAccessible>
#include <QWidget>

#include <functional>
#include <vector>

namespace tessal::testing {

// Every control of `window`'s accessibility tree that holds a value, in the
// tree's order.  A list's own editor and popup speak as the list and are
// visited only `into_lists`.
inline std::vector<QAccessibleInterface*> value_controls(QWidget* window, bool into_lists) {
    static const QList<QAccessible::Role> roles{
        QAccessible::EditableText, QAccessible::ComboBox, QAccessible::CheckBox,
        QAccessible::RadioButton,  QAccessible::SpinBox,  QAccessible::ProgressBar};
    std::vector<QAccessibleInterface*> out;
    const std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* node) {
        for (int i = 0; i < node->childCount(); ++i) {
            if (QAccessibleInterface* child = node->child(i)) {
                if (roles.contains(child->role())) {
                    out.push_back(child);
                }
                if (into_lists || child->role() != QAccessible::ComboBox) {
                    visit(child);
                }
            }
        }
    };
    visit(QAccessible::queryAccessibleInterface(window));
    return out;
}

} // namespace tessal::testing
