// SPDX-License-Identifier: Apache-2.0
// The service book read in its window off a register on disk: a device found
// by part of a seal, its entries, one whole, two compared, one printed; and a
// register out of reach said in the window.
#include "console/book_window.h"
#include "device/entry_page.h"
#include "support/book_entries.h"
#include "support/settle.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tessal::testing {
namespace {

// Two entries of a device, written past the program's chains.
void fill(const QString& location) {
    reg::Register book;
    QString error;
    ASSERT_TRUE(book.open(location, error)) << error.toStdString();
    const QString imei = "356871044629016", who = "Đorđe Šćekić";
    std::vector<BookEntry> entries{{"01", imei, "01", who, ";0413", {}, "pass"},
                                   {"05", imei, "05", who, "0413;0500", {}, "pass"}};
    entries[0].kind = "commissioning";
    entries[0].changes = {{"ftp.user", "?", "tech", "confirmed", "tech"}};
    entries[1].changes = {{"ftp.user", "tech", "ana", "confirmed", "ana"},
                          {"sim.password", "?", "********", "written", "********"}};
    for (BookEntry& e : entries) {
        e.authorization = "SR-0417";
        e.company = "Servis Čačak d.o.o.";
        e.version = "2.4.1";
        e.note = "signal 21, GPRS ok";
    }
    write_book(book, entries, false);
}

QString row_text(const QTableWidget& table, int row) {
    QStringList cells;
    for (int column = 0; column < table.columnCount(); ++column) {
        cells << table.item(row, column)->text();
    }
    return cells.join(" | ");
}

TEST(BookWindowTest, FindsADeviceShowsComparesAndPrintsItsEntries) {
    QTemporaryDir dir;
    const QString location = dir.filePath("register.sqlite");
    fill(location);
    console::BookWindow window(reg::Place{location, {}, {}, {}});
    window.set_file_chooser([&dir] { return dir.filePath("entry.pdf"); });

    window.Search->setText("041"); // part of a seal code
    window.Find_Click();
    ASSERT_TRUE(wait_until([&] { return window.Entries->rowCount() == 2; }))
        << window.Status->text().toStdString();
    EXPECT_EQ(row_text(*window.Entries, 0),
              "1 | 01.12.2026. 10:00 | Pustanje u rad | Đorđe Šćekić | Ispravan");
    // Rows added past the program's chains prove nothing.
    EXPECT_EQ(window.Proof->text(), "Unosi nisu u lancu: nista ne dokazuje da su neizmenjeni");
    EXPECT_EQ(row_text(*window.Entries, 1),
              "2 | 05.12.2026. 10:00 | Popravka | Đorđe Šćekić | Ispravan");
    EXPECT_EQ(window.Entry->toPlainText(),
              "Unos br. 2, Popravka, 05.12.2026. 10:00\n"
              "Uredjaj: IMEI 356871044629016, SIM 89381030000123456784, verzija 2.4.1, port -\n"
              "Serviser: Đorđe Šćekić, ovlascenje SR-0417, Servis Čačak d.o.o.\n"
              "Stanica: -, korisnik -\n"
              "Skinute plombe: 0413\n"
              "  ftp.user: tech -> ana (confirmed)\n"
              "  sim.password: promenjeno (written)\n"
              "Postavljene plombe: 0500\n"
              "Napomena: signal 21, GPRS ok\n"
              "Ocena: Ispravan");

    window.Compare_Click();
    ASSERT_TRUE(wait_until([&] { return !window.Differences->toPlainText().isEmpty(); }));
    EXPECT_EQ(window.Differences->toPlainText(), "ftp.user: tech -> ana\nsim.password: promenjeno");

    window.Print_Click();
    QFile pdf(dir.filePath("entry.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << window.Status->text().toStdString();
    EXPECT_TRUE(pdf.read(5) == "%PDF-");

    // A register that is not there is said in the window, which stays live.
    console::BookWindow missing(reg::Place{dir.filePath("none/register.sqlite"), {}, {}, {}});
    missing.Search->setText("356871");
    missing.Find_Click();
    ASSERT_TRUE(wait_until([&] {
        return missing.Status->text().startsWith("Registar nije dostupan: ");
    })) << missing.Status->text().toStdString();
    EXPECT_EQ(missing.Entries->rowCount(), 0);
}

// A commissioning that set a whole descriptor runs on over pages; a page
// that cannot be written leaves the file that was there.
TEST(EntryPageTest, RunsOnToTheNextPageAndNeverLeavesHalfAFile) {
    QTemporaryDir dir;
    reg::Entry entry;
    entry.opened.entry = 1;
    entry.opened.kind = "commissioning";
    for (int n = 1; n <= 90; ++n) {
        reg::Change c;
        c.field = QString("jad.P%1").arg(n);
        c.wanted = c.now = QString::number(n);
        c.state = "confirmed";
        entry.changes.push_back(c);
    }
    const QString file = dir.filePath("entry.pdf");
    QString error;
    ASSERT_TRUE(device::write_entry_page(entry, file, error)) << error.toStdString();
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.readAll().count("/Type /Page\n"), 3);

    EXPECT_FALSE(device::write_entry_page(entry, dir.filePath("none/entry.pdf"), error));
    EXPECT_TRUE(
        error.startsWith("the PDF file cannot be written: " + dir.filePath("none/entry.pdf")))
        << error.toStdString();
}

} // namespace
} // namespace tessal::testing
