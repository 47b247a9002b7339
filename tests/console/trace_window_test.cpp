#include "console/trace_window.h"
#include "support/console_fixture.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tessal::testing {
namespace {

// The window's lines without their time stamps.
QStringList shown(const console::TraceWindow& window) {
    QStringList lines;
    for (const QString& line : window.Lines->toPlainText().split('\n', Qt::SkipEmptyParts)) {
        lines.append(line.mid(24));
    }
    return lines;
}

using TraceWindowTest = ConsoleFixture;

TEST_F(TraceWindowTest, ShowsRecordsWhileAReplyIsAwaitedAndCopiesSavesAndClears) {
    start();
    link::Trace trace;
    link_->set_trace(&trace);
    console::TraceWindow traces(trace);
    traces.open();
    EXPECT_EQ(traces.windowTitle(), "Tessal - trag komunikacije");
    EXPECT_EQ(traces.parentWidget(), nullptr);

    QStringList during;
    port_->on_wait = [&] {
        during = shown(traces);
        reply_frame("1.2");
    };
    window_->ReadVersion->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(during, QStringList({"- port otvoren /dev/ttyS0 38400,N,8,1",
                                   "> 02 56 39 3A 03  <STX>V9:<ETX>"}));
    EXPECT_EQ(window_->SoftVersion->text(), "1.2");
    EXPECT_EQ(
        shown(traces),
        QStringList({"- port otvoren /dev/ttyS0 38400,N,8,1", "> 02 56 39 3A 03  <STX>V9:<ETX>",
                     "< 02 31 2E 32 3E 36 03  <STX>1.2>6<ETX>  (+0 ms)", "> 06  <ACK>",
                     "- odgovor: payload 3 bajta", "- port zatvoren"}));

    const QString all = traces.Lines->toPlainText();
    traces.Kopiraj->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), all);
    const QString saved = dir_.filePath("saved.txt");
    traces.set_file_chooser([&] { return saved; });
    traces.Sacuvaj->click();
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), QString(all).replace("\n", "\r\n") + "\r\n");

    traces.Obrisi->click();
    EXPECT_TRUE(traces.Lines->toPlainText().isEmpty());
    reply_ack();
    window_->ComStop->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(traces), QStringList({"- port otvoren /dev/ttyS0 38400,N,8,1",
                                          "> 02 45 3A 3B 03  <STX>E:;<ETX>", "< 06  <ACK>  (+0 ms)",
                                          "- odgovor: OK", "- port zatvoren"}));
}

} // namespace
} // namespace tessal::testing
