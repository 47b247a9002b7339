// SPDX-License-Identifier: Apache-2.0
// A bare Qt window of the console's size, nothing in it: the start-up
// benchmark's baseline.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(735, 431);
    window.show();
    return app.exec();
}
