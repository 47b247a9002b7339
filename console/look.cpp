#include "look.h"

#include <QFont>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace tessal::console {

void apply_console_look(QWidget& window) {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    window.setFont(font);
    QPalette grey = window.palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    window.setPalette(grey);
    window.setAutoFillBackground(true);
}

QPushButton* console_button(QWidget* parent, const char* name, const char* caption, QRect where) {
    auto* push = new QPushButton(QString::fromLatin1(caption), parent);
    push->setAutoDefault(false);
    return place(push, name, where);
}

QValidator::State DeviceTextValidator::validate(QString& input, int& /*position*/) const {
    for (const QChar c : input) {
        const char16_t code = c.unicode();
        const bool printable = (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF);
        if (!printable) {
            return Invalid;
        }
    }
    return Acceptable;
}

} // namespace tessal::console
