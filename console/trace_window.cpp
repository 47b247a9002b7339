// SPDX-License-Identifier: Apache-2.0
#include "trace_window.h"

#include "look.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessal::console {

TraceWindow::TraceWindow(link::Trace& trace, QWidget* parent) : QWidget(parent), trace_(trace) {
    setWindowTitle(QStringLiteral("Tessal - trag komunikacije"));
    setObjectName(QStringLiteral("TraceWindow"));
    apply_console_look(*this);
    resize(820, 440);

    Lines = new QPlainTextEdit(this);
    Lines->setObjectName(QStringLiteral("Lines"));
    Lines->setReadOnly(true);
    Lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    Lines->setMaximumBlockCount(static_cast<int>(link::Trace::kKeptRecords));
    Lines->setUndoRedoEnabled(false);

    auto make_button = [this](const char* name, const char* caption) {
        auto* push = new QPushButton(QString::fromLatin1(caption), this);
        push->setObjectName(QString::fromLatin1(name));
        push->setAutoDefault(false);
        return push;
    };
    Obrisi = make_button("Obrisi", "Obrisi");
    Kopiraj = make_button("Kopiraj", "Kopiraj");
    Sacuvaj = make_button("Sacuvaj", "Sacuvaj");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Obrisi);
    buttons->addWidget(Kopiraj);
    buttons->addWidget(Sacuvaj);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Lines);
    layout->addLayout(buttons);

    connect(Obrisi, &QPushButton::clicked, this, [this] { Obrisi_Click(); });
    connect(Kopiraj, &QPushButton::clicked, this, [this] { Kopiraj_Click(); });
    connect(Sacuvaj, &QPushButton::clicked, this, [this] { Sacuvaj_Click(); });
    connect(&trace_, &link::Trace::recorded, this, [this] { catch_up(); });

    choose_file_ = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Sacuvaj trag komunikacije"),
                                            QStringLiteral("trag.txt"),
                                            QStringLiteral("Tekst (*.txt);;Svi fajlovi (*)"));
    };
}

void TraceWindow::open() {
    show();
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void TraceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    catch_up();
}

void TraceWindow::catch_up() {
    if (!isVisible()) {
        return; // the records wait in the trace until the window is shown
    }
    const std::vector<link::TraceRecord> records = trace_.records_since(next_);
    if (records.empty()) {
        return;
    }
    QString text;
    for (const link::TraceRecord& record : records) {
        if (!text.isEmpty()) {
            text.append(QLatin1Char('\n'));
        }
        text.append(QString::fromStdString(link::format_record(record)));
    }
    // Appending keeps the view where the reader left it, unless it was at
    // the end.
    Lines->appendPlainText(text);
}

void TraceWindow::Obrisi_Click() {
    Lines->clear();
}

void TraceWindow::Kopiraj_Click() {
    QGuiApplication::clipboard()->setText(Lines->toPlainText());
}

void TraceWindow::Sacuvaj_Click() {
    const QString name = choose_file_ ? choose_file_() : QString();
    if (name.isEmpty()) {
        return;
    }
    QFile file(name);
    QString text = Lines->toPlainText();
    if (!text.isEmpty()) {
        text.append(QLatin1Char('\n'));
    }
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush()) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("rvt"),
                        QStringLiteral("Trag nije sacuvan."), QMessageBox::Ok, this);
        box.exec();
    }
}

} // namespace tessal::console
