#pragma once

#include <QRect>
#include <QString>
#include <QValidator>

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

// A push button with its name and place.  Enter in a text box never presses
// it: a button press may talk to the device or store the settings.
QPushButton* console_button(QWidget* parent, const char* name, const char* caption, QRect where);

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
