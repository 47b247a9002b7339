// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QRect>
#include <QString>
#include <QValidator>

#include <functional>
#include <initializer_list>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tessal::console {

// The console's look for a window and everything in it: Courier New 9.75 pt
// on light grey.
void apply_console_look(QWidget& window);

// Gives a control its name and place.
template <class W> W* place(W* widget, const QString& name, QRect where) {
    widget->setObjectName(name);
    widget->setGeometry(where);
    return widget;
}
template <class W> W* place(W* widget, const char* name, QRect where) {
    return place(widget, QString::fromLatin1(name), where);
}

// A push button with its name and place.  It is never a window's default
// button, so Enter in a text box does not press it: a button press may talk to
// the device or store the settings.  Space presses it when it has the focus.
QPushButton* console_button(QWidget* parent, const char* name, const char* caption, QRect where);

// The name a screen reader announces for a control.
template <class W> W* spoken(W* widget, const char* name) {
    widget->setAccessibleName(QString::fromLatin1(name));
    return widget;
}

// Ties a label to the control it captions: the screen reader reads them
// together and the label's mnemonic moves the focus to the control.
void label_for(QLabel* label, QWidget* control);

// Enter in `box` presses `button`: the button of the box's own row, the one
// the technician typed for.
void enter_presses(QLineEdit* box, QPushButton* button);

// Tab visits the controls in this order.
void tab_order(std::initializer_list<QWidget*> controls);
void tab_order(const std::vector<QWidget*>& controls);

// A list that only shows what the program selected: it takes the focus (so
// that Tab reaches it and a screen reader reads it) but neither keys, the
// mouse wheel nor clicks change its selection or open it.
void show_only(QComboBox* list);

// A profile file to read, named in `box`: asked of `choose` when there is
// one, else of the desktop's file dialog; the box keeps its text on cancel.
void choose_profile_into(QLineEdit* box, const std::function<QString()>& choose);

// The width a text box needs to show `characters` characters of its font.
int box_width(const QWidget& box, int characters);

// Accepts only text that reaches the device and the settings file unchanged:
// printable characters of the device's one-byte character set.  Anything else
// would be altered on the way (a character outside the set becomes "?") or
// would break the request frame (control bytes).
class DeviceTextValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

} // namespace tessal::console
