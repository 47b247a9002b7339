// SPDX-License-Identifier: Apache-2.0
// A bare Qt window of the console's size, nothing in it: the start-up
// benchmark's baseline.  Built a second time with one caption in the
// console's font (TESSAL_BARE_TEXT): a window that shows any text pays for
// loading the font system, which an empty one never does.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(735, 431);
#ifdef TESSAL_BARE_TEXT
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    window.setFont(font);
    QLabel caption(QStringLiteral("Com Port"), &window);
#endif
    window.show();
    return app.exec();
}
