// SPDX-License-Identifier: Apache-2.0
#include "look.h"

#include "device/device_text.h"

#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QWidget>
#include <algorithm>

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

void label_for(QLabel* label, QWidget* control) {
    label->setBuddy(control);
}

void enter_presses(QLineEdit* box, QPushButton* button) {
    QObject::connect(box, &QLineEdit::returnPressed, button, &QPushButton::click);
}

void tab_order(std::initializer_list<QWidget*> controls) {
    tab_order(std::vector<QWidget*>(controls));
}

void tab_order(const std::vector<QWidget*>& controls) {
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}

namespace {

// Lets through only what moves the focus away or reaches the window (Tab,
// Escape, Enter); keys, wheel and clicks that would change or open the list
// stop here.  A click still gives the list the focus.
class ShowOnlyFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Escape:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                return false;
            default:
                return true;
            }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            static_cast<QWidget*>(watched)->setFocus(Qt::MouseFocusReason);
            return true;
        case QEvent::MouseButtonRelease:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

void show_only(QComboBox* list) {
    list->installEventFilter(new ShowOnlyFilter(list));
    list->setContextMenuPolicy(Qt::NoContextMenu);
}

int box_width(const QWidget& box, int characters) {
    // The text, the frame on both sides, the box's own margin of 2 pixels on
    // each side and the cursor.
    const int frame = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &box);
    return QFontMetrics(box.font()).horizontalAdvance(QString(characters, u'W')) + 2 * frame + 4 +
           2;
}

QValidator::State DeviceTextValidator::validate(QString& input, int& /*position*/) const {
    const bool printable = std::all_of(input.begin(), input.end(),
                                       [](QChar c) { return device::is_device_char(c.unicode()); });
    return printable ? Acceptable : Invalid;
}

void choose_profile_into(QLineEdit* box, const std::function<QString()>& choose) {
    const QString file =
        choose ? choose()
               : QFileDialog::getOpenFileName(box->window(), QStringLiteral("Profil"), QString(),
                                              QStringLiteral("Profil (*.json)"));
    if (!file.isEmpty()) {
        box->setText(file);
    }
}

} // namespace tessal::console
