// SPDX-License-Identifier: Apache-2.0
// The main window against the simulated device over a pseudo-terminal,
// through the device engine's own thread, as the technician runs it.
#include "support/accessible.h"
#include "support/simulated_console.h"

#include "console/check_window.h"
#include "console/service_dialogs.h"

#ifdef TESSAL_WITH_STATION
#include "console/station_window.h"
#endif

#include <QtWidgets>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace tessal::testing {
namespace {

using namespace std::chrono_literals;

// Fills the dialog that shows next, as the technician does, then presses
// its OK.
template <class Dialog> void answer(std::function<void(Dialog&)> fill) {
    QTimer::singleShot(0, [fill] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(*dialog);
        dialog->OK->click();
    });
}

class SimulatedConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device_.started);
        console_.start();
    }

    SimulatedConsole console_;
    SimulatedDevice& device_ = console_.device;
    RecordingMessages& messages_ = console_.messages;
    std::unique_ptr<console::MainWindow>& window_ = console_.window;
};

// "Provera uredjaja..." in the "Servis" menu: the check's window shows the
// verdict on top, each stage's outcome (an icon named by its text), reading
// and reason, and the exchanges; the whole result is copied as text.
TEST_F(SimulatedConsoleTest, CheckWindowShowsTheVerdictAndEveryStage) {
    QMenu* service = window_->MenuBar->findChild<QMenu*>("Servis");
    ASSERT_NE(service, nullptr);
    emit service->aboutToShow();
    QStringList actions;
    for (const QAction* action : service->actions()) {
        actions << action->text();
    }
    EXPECT_EQ(actions,
              (QStringList{"Nova intervencija...", "Zavrsi intervenciju...", "",
                           "Trag komunikacije\tCtrl+T", "Sacuvaj profil...", "Primeni profil...",
                           "Provera uredjaja...", "Servisna knjiga..."}));
    EXPECT_EQ(window_->content()->y(), window_->MenuBar->height());
    EXPECT_EQ(window_->StatusLine->y() - window_->content()->y(), 431);
    EXPECT_EQ(window_->height(), window_->StatusLine->geometry().bottom() + 1);
    service->actions()[actions.indexOf("Provera uredjaja...")]->trigger();
    console::CheckWindow* check = window_->check_window();
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->isVisible());
    check->set_now([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0)); });
    const struct {
        std::function<void(devsim::Modem&)> set;
        const char* verdict;
        const char* outcomes; // the stages' outcome texts, "|" between them
    } rows[] = {
        {[](devsim::Modem& m) { m.sim().pin_required = true; },
         "Greska u koraku SIM kartica: SIM kartica ceka PIN",
         "u redu|u redu|greska|u redu|u redu|greska|greska|greska|u redu|nije provereno"},
        {[](devsim::Modem& m) { m.network().registration = 0; },
         "Greska u koraku Registracija: Modem nije prijavljen na mrezu",
         "u redu|u redu|u redu|u redu|u redu|greska|greska|greska|u redu|nije provereno"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.verdict);
        device_.simulator->with_device([&row](devsim::Device& d) {
            d.modem().sim().pin_required = false;
            d.modem().network().registration = 1;
            d.modem().set_clock("26/12/08,09:00:00");
            row.set(d.modem());
        });
        check->Start->click();
        EXPECT_FALSE(check->Start->isEnabled());
        ASSERT_TRUE(console_.settle());
        EXPECT_TRUE(check->Start->isEnabled());
        EXPECT_EQ(check->Verdict->text(), row.verdict);
        QStringList outcomes;
        for (int stage = 0; stage < check->Stages->rowCount(); ++stage) {
            const QTableWidgetItem* item = check->Stages->item(stage, 1);
            EXPECT_FALSE(item->icon().isNull());
            EXPECT_EQ(item->data(Qt::AccessibleTextRole).toString(), item->text());
            outcomes << item->text();
        }
        EXPECT_EQ(outcomes.join('|'), row.outcomes);
    }
    // The table is read, not edited; each mark a 16 pixel round in its outcome's colour.
    EXPECT_EQ(check->Stages->horizontalHeaderItem(0)->text(), "Korak");
    EXPECT_EQ(check->Stages->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (const auto& [row, colour] :
         {std::pair{0, QColor(0, 160, 0)}, {9, QColor(128, 128, 128)}}) {
        const QIcon mark = check->Stages->item(row, 1)->icon();
        EXPECT_EQ(mark.availableSizes(), QList<QSize>{QSize(16, 16)});
        EXPECT_EQ(mark.pixmap(16, 16).toImage().pixelColor(8, 8), colour);
    }
    // The last check: the SIM's row, the exchanges, the text copied.
    EXPECT_EQ(check->Stages->item(2, 2)->text(), "READY, pokusaja PIN-a: 3");
    EXPECT_EQ(check->Stages->item(5, 3)->text(), "Modem nije prijavljen na mrezu");
    EXPECT_TRUE(check->Exchanges->toPlainText().startsWith(
        "> V\n< Tessal GPRS 2.4.1 (simulator)\n> AAT+GSN\n< <CR><LF>356871044629016<CR><LF>"));
    check->Copy->click();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("Uredjaj: u redu - Tessal GPRS 2.4.1 (simulator)\n"));
    EXPECT_TRUE(copied.contains("\nOcena: Greska u koraku Registracija: Modem nije prijavljen na "
                                "mrezu [not_registered]\n\n> V\n"));
    // Tab goes in reading order, the controls named for a screen reader.
    EXPECT_EQ(tab_walk(check).toStdString(), "Ocena|Profil|Izbor profila|Proveri|Koraci provere|"
                                             "Kopiraj rezultat|Razmena sa uredjajem");
    EXPECT_TRUE(messages_.shown.isEmpty()) << messages_.shown.join('|').toStdString();
}

// "Nova intervencija..." reads the device's identity and opens an entry of
// its service book; the clock set in it is its change; "Zavrsi
// intervenciju..." ends it with the seals and the verdict and says the
// number the register gave it.  A write with no entry open is an entry of
// its own.  The requests are the buttons' own and the identity's, no more.
TEST_F(SimulatedConsoleTest, AnInterventionKeepsItsWritesUnderOneEntryNumber) {
    const QString imei = "356871044629024"; // this test's own device
    device_.simulator->with_device([&imei](devsim::Device& d) {
        d.modem().set_imei(imei.toStdString());
        d.modem().set_clock("26/12/08,09:00:00");
    });
    QMenu* service = window_->MenuBar->findChild<QMenu*>("Servis");
    const auto menu_entry = [service](int i) {
        emit service->aboutToShow();
        return service->actions().value(i);
    };
    EXPECT_FALSE(menu_entry(1)->isEnabled()); // nothing to end
    QString tabs;
    answer<console::OpeningDialog>([&tabs](console::OpeningDialog& d) {
        EXPECT_FALSE(d.OK->isEnabled()); // nobody named yet
        d.Serviser->setText("Petar Petrovic");
        tabs = tab_walk(&d);
        d.Ovlascenje->setText("OV-117");
        d.Vrsta->setCurrentText("Popravka");
        d.SkinutePlombe->setText("B-11");
    });
    menu_entry(0)->trigger();
    ASSERT_TRUE(console_.settle());
    // Tab goes in reading order, each box named by its label.
    EXPECT_EQ(tabs.toStdString(),
              "Serviser|Broj ovlascenja|Firma|Vrsta rada|Skinute plombe|OK|Otkazi");
    EXPECT_EQ(window_->ServiceState->text(),
              "Intervencija: Popravka, Petar Petrovic, IMEI 356871044629024");
    window_->set_now([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0)); });
    window_->Check2->click();
    window_->Timer1_Timer();
    window_->Option1->click();
    window_->SendTime->click();
    ASSERT_TRUE(console_.settle());
    EXPECT_FALSE(menu_entry(0)->isEnabled()); // one entry at a time
    answer<console::ClosingDialog>([](console::ClosingDialog& d) {
        d.PostavljenePlombe->setText("B-12");
        d.Napomena->setPlainText("sat podesen");
        d.Nalaz->setCurrentText("Ispravan");
    });
    menu_entry(1)->trigger();
    EXPECT_TRUE(wait_until([this] { return messages_.shown.size() == 2; }));
    EXPECT_EQ(window_->ServiceState->text(), "Nema otvorene intervencije");
    window_->SendTime->click();
    ASSERT_TRUE(console_.settle());
    EXPECT_EQ(messages_.shown, (QStringList{"OK", "Intervencija je zavrsena: Unos br. 1.", "OK"}));
    EXPECT_EQ(
        device_.simulator->requests(),
        (std::vector<std::string>{"V", "AAT+GSN", "AAT^SCID", "AAT+CCLK=\"26/12/08,08:00:00\"",
                                  "AAT+CCLK=\"26/12/08,08:00:00\""}));
    EXPECT_EQ(device::load_technician(), (device::Technician{"Petar Petrovic", "OV-117", ""}));

    window_->service_book().settle(5s);
    reg::Register book;
    QString error;
    ASSERT_TRUE(book.open_for_reading(reg::configured(), error)) << error.toStdString();
    QStringList seen; // number, kind, technician, seals removed, change, seals applied, verdict
    for (const reg::Entry& e : book.book(imei, error).value_or(std::vector<reg::Entry>{})) {
        ASSERT_EQ(e.changes.size(), 1u);
        ASSERT_TRUE(e.ended);
        seen << QString("%1 %2 %3 [%4] %5 %6 [%7] %8")
                    .arg(e.opened.entry.value_or(0))
                    .arg(e.opened.kind, e.opened.technician, e.opened.seals_removed,
                         e.changes[0].field, e.changes[0].wanted, e.ended->seals_applied,
                         e.ended->verdict);
    }
    EXPECT_EQ(seen,
              (QStringList{"1 repair Petar Petrovic [B-11] clock 08.12.2026 10:00:00 [B-12] pass",
                           "2 reconfiguration Petar Petrovic [] clock 08.12.2026 10:00:00 [] "}))
        << error.toStdString();
}

// A close while a silent device is awaited ends the wait at once and saves;
// meanwhile the PC clock kept ticking.
TEST_F(SimulatedConsoleTest, CloseDuringARealWaitEndsItAtOnce) {
    device_.simulator->set_faults(with(&devsim::Faults::silent));
    window_->show();
    window_->Check2->click();
    window_->Timer1->setInterval(100);
    const auto start = std::chrono::steady_clock::now();
    window_->ComStop->click();
    QTimer::singleShot(300, window_.get(), [this] { window_->close(); });
    EXPECT_TRUE(wait_until([this] { return !window_->isVisible(); }, 2000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(console_.settle());
    EXPECT_FALSE(console_.port_open());
    EXPECT_TRUE(messages_.shown.isEmpty());
    EXPECT_FALSE(window_->Vreme[0]->text().isEmpty());
    EXPECT_TRUE(std::filesystem::exists(console_.directory() + "/rvt_ini.txt"));
}

// A profile saved from one device and applied, changed, to the same one: the
// differences are asked about first and the result names every value; applied
// again, nothing is asked or written.
TEST_F(SimulatedConsoleTest, ProfileSavedAndAppliedFromTheWindow) {
    const QString file = QString::fromStdString(console_.directory() + "/profil.json");
    window_->set_profile_chooser([&file](bool) { return file; });
    window_->SaveProfile_Click();
    ASSERT_TRUE(console_.settle());
    EXPECT_EQ(messages_.shown, QStringList{"Profil je sacuvan: " + file});
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QString json = QString::fromUtf8(saved.readAll());
    saved.close();
    EXPECT_FALSE(json.contains("trobelik")); // the password stays on the device
    json.replace("\"user\": \"terminal\"", "\"user\": \"tehnicar\"");
    json.replace("\"CASH_TYPE\": \"3\"", "\"CASH_TYPE\": \"7\"");
    ASSERT_TRUE(saved.open(QIODevice::WriteOnly | QIODevice::Truncate));
    saved.write(json.toUtf8());
    saved.close();

    messages_.clear();
    messages_.answers = {true};
    device_.simulator->clear_log();
    window_->ApplyProfile_Click();
    ASSERT_TRUE(console_.settle());
    EXPECT_EQ(messages_.questions,
              QStringList{"Razlike (uredjaj -> profil):\nftp.user: terminal -> tehnicar\n"
                          "jad.CASH_TYPE: 3 -> 7\n\nJeste li sigurni?"});
    ASSERT_EQ(messages_.informed.size(), 1);
    const QStringList result = messages_.informed[0].split('\n');
    EXPECT_EQ(result[0], "Profil je primenjen.");
    EXPECT_TRUE(result.contains("ftp.user: upisano i potvrdjeno (terminal -> tehnicar)"));
    EXPECT_TRUE(result.contains("jad.CASH_TYPE: upisano i potvrdjeno (3 -> 7)"));
    EXPECT_TRUE(result.contains("ftp.address: nepromenjeno"));
    EXPECT_FALSE(console_.port_open());

    // Applied again: nothing differs, nothing is asked or written.
    messages_.clear();
    device_.simulator->clear_log();
    window_->ApplyProfile_Click();
    ASSERT_TRUE(console_.settle());
    EXPECT_TRUE(messages_.questions.isEmpty());
    EXPECT_EQ(messages_.informed.value(0).section('\n', 0, 0),
              "Uredjaj vec ima sve vrednosti profila.");
    for (const std::string& request : device_.simulator->requests()) {
        EXPECT_NE(request[0], 'P') << request;
    }
}

#ifdef TESSAL_WITH_STATION
// The station's window: a device whose port appears in the folder the ports
// pattern names is found, readied and recorded; PASS in large letters, the
// line among the last devices; "Zaustavi" ends the run.
// Starts the window's station with a profile whose name has a Serbian
// letter and the ports "ports/usb-*".
void start_station(console::StationWindow& station, const std::string& folder) {
    const QString profile = QString::fromStdString(folder + "/kasa-č.json");
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"schema": 1, "ftp": {"user": "servis"}, "jad": {"CASH_TYPE": "7"}})");
    file.close();
    station.set_register(QString::fromStdString(folder + "/register.sqlite"));
    station.ProfileFile->setText(profile);
    station.Ports->setText(QString::fromStdString(folder + "/ports/usb-*"));
    station.Start->click();
}

TEST_F(SimulatedConsoleTest, StationWindowRunsTheStationAndStops) {
    const std::string folder = console_.directory() + "/ports";
    std::filesystem::create_directories(folder);
    devsim::PtySimulator device(folder + "/usb-a");
    device.with_device([](devsim::Device& d) { d.modem().sim().pin_required = false; });
    console::StationWindow station(window_->transaction(), console_.settings);
    start_station(station, console_.directory());
    EXPECT_TRUE(station.running());
    EXPECT_FALSE(station.Start->isEnabled());
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(wait_until([&] { return !station.Devices->toPlainText().isEmpty(); }, 10000));
    EXPECT_EQ(station.Status->text(), "PASS");
    EXPECT_EQ(station.Status->palette().color(QPalette::Window), QColor(0, 160, 0));
    EXPECT_TRUE(station.Devices->toPlainText().contains(" PASS 356871044629016 " +
                                                        QString::fromStdString(folder) + "/usb-a"))
        << station.Devices->toPlainText().toStdString();
    EXPECT_EQ(device.with_device([](devsim::Device& d) { return d.parameter("FTPGovUser"); }),
              "servis");
    EXPECT_FALSE(window_->transaction().idle()); // the station holds the line
    station.Stop->click();
    ASSERT_TRUE(console_.settle());
    EXPECT_FALSE(station.running());
    EXPECT_TRUE(station.Start->isEnabled());
    EXPECT_TRUE(window_->transaction().idle());
    EXPECT_TRUE(messages_.shown.isEmpty()) << messages_.shown.join('|').toStdString();
}

// The station's window destroyed while its station waits for a device: the
// station stops, the line is freed, and nothing reaches the window that is
// gone.
TEST_F(SimulatedConsoleTest, StationWindowGoneWhileItsStationRunsFreesTheLine) {
    {
        console::StationWindow station(window_->transaction(), console_.settings);
        station.ProfileFile->setText(QString::fromStdString(console_.directory() + "/nema.json"));
        station.Start->click(); // a profile that is not there is refused
        EXPECT_EQ(messages_.shown, QStringList{"Profil nije dobar: nema takvog fajla"});
        EXPECT_FALSE(station.running());
        messages_.clear();
        start_station(station, console_.directory());
        ASSERT_TRUE(station.running());
    }
    ASSERT_TRUE(console_.settle());
    EXPECT_TRUE(window_->transaction().idle());
    EXPECT_TRUE(messages_.shown.isEmpty()) << messages_.shown.join('|').toStdString();
}
#endif

} // namespace
} // namespace tessal::testing
