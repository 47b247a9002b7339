// SPDX-License-Identifier: Apache-2.0
// The service book as the front ends keep it: a write with no entry open is
// an entry of its own, an entry opened gathers the writes made in it with
// the value before each, what sent nothing is no change, an entry open in
// tessal-cli is joined by the next run, and the register numbers the entries.
#include "device/service_book.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tessal::device {
namespace {

using State = ValueState::State;
using namespace std::chrono_literals;

class ServiceBookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit());
        place_.location = dir_.filePath("register.sqlite");
        kept_ = load_technician(); // Windows has no folder of the test's own
    }
    void TearDown() override {
        if (kept_) {
            save_technician(*kept_);
        } else {
            QSettings(QSettings::IniFormat, QSettings::UserScope, "Tessal", "technician").clear();
        }
    }
    // The device's entries as the register keeps them.
    std::vector<reg::Entry> entries(const QString& imei) {
        reg::Register book;
        QString error;
        EXPECT_TRUE(book.open_for_reading(place_.location, error)) << error.toStdString();
        return book.book(imei, error).value_or(std::vector<reg::Entry>{});
    }
    QTemporaryDir dir_;
    reg::Place place_;
    std::optional<Technician> kept_;
};

const Identity kDevice{"Tessal GPRS 2.4.1", "356871044629016", "89381030000123456784"};

Outcome ftp_user(State state, std::optional<std::string> before) {
    Outcome o;
    o.write = Outcome::Write::ftp;
    o.values = {{"ftp.user", before, "tech", state, state == State::confirmed ? "tech" : "", ""}};
    return o;
}

TEST_F(ServiceBookTest, AWriteWithNoEntryOpenIsAnEntryOfItsOwnOfTheDeviceLastSeen) {
    ASSERT_TRUE(save_technician({"Petar Petrovic", "OV-117", "Servis Kasa d.o.o."}));
    {
        ServiceBook book(place_, "servis-pc");
        book.saw("/dev/ttyUSB0", kDevice);
        book.record("/dev/ttyUSB0", ftp_user(State::confirmed, std::nullopt));
        Outcome reset;
        reset.write = Outcome::Write::reset;
        reset.values = {{"device.reset", std::nullopt, "", State::written, "", ""}};
        book.record("/dev/ttyUSB0", reset);
        // Nothing sent: no change, no entry.
        Outcome held = ftp_user(State::not_written, "terminal");
        held.held_back = true;
        book.record("/dev/ttyUSB0", held);
        book.record("/dev/ttyUSB0", ftp_user(State::unchanged, "tech"));
        const BookState state = book.settle(5s);
        EXPECT_EQ(state.handed, 6);
        EXPECT_EQ(state.entry, 2);
        EXPECT_FALSE(book.open_on("/dev/ttyUSB0"));
    }
    const std::vector<reg::Entry> kept = entries("356871044629016");
    ASSERT_EQ(kept.size(), 2u);
    const struct {
        const char* kind;
        const char* field;
        std::optional<QString> before;
        const char* state;
    } kEntries[] = {
        {"reconfiguration", "ftp.user", std::nullopt, "confirmed"},
        {"reset", "device.reset", std::nullopt, "written"},
    };
    for (std::size_t i = 0; i < kept.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(kept[i].opened.kind, kEntries[i].kind);
        EXPECT_EQ(kept[i].opened.technician, "Petar Petrovic");
        EXPECT_EQ(kept[i].opened.authorization, "OV-117");
        EXPECT_EQ(kept[i].opened.sim_id, "89381030000123456784");
        EXPECT_EQ(kept[i].opened.station, "servis-pc");
        ASSERT_EQ(kept[i].changes.size(), 1u);
        EXPECT_EQ(kept[i].changes[0].field, kEntries[i].field);
        EXPECT_EQ(kept[i].changes[0].before, kEntries[i].before);
        EXPECT_EQ(kept[i].changes[0].state, kEntries[i].state);
        EXPECT_TRUE(kept[i].ended);
    }
}

TEST_F(ServiceBookTest, AnEntryOpenInOneRunIsJoinedByTheNextAndEndedWithItsSeals) {
    const std::filesystem::path open = dir_.filePath("open-entries.ini").toStdString();
    {
        ServiceBook book(place_, "", open);
        Opening opening{"/dev/ttyUSB0", kDevice, {"Ana Jovanovic", "OV-9", ""}, "repair", "B-11"};
        book.open(opening);
        book.record("/dev/ttyUSB0", ftp_user(State::confirmed, "terminal"));
        // A device never identified is recorded too, numbered by no book.
        book.record("/dev/ttyUSB1", ftp_user(State::read_back_differs, std::nullopt));
        EXPECT_EQ(book.settle(5s).entry, std::nullopt);
    }
    {
        ServiceBook book(place_, "", open);
        ASSERT_TRUE(book.open_on("/dev/ttyUSB0"));
        Outcome password;
        password.write = Outcome::Write::password;
        password.values = {{"sim.password", kHidden, kHidden, State::written, "", ""}};
        book.record("/dev/ttyUSB0", password);
        EXPECT_TRUE(book.close("/dev/ttyUSB0", {"B-12", "zamenjena antena", "pass"}));
        EXPECT_FALSE(book.close("/dev/ttyUSB0", {}));
        EXPECT_EQ(book.settle(5s).entry, 1);
    }
    const std::vector<reg::Entry> kept = entries("356871044629016");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].opened.kind, "repair");
    EXPECT_EQ(kept[0].opened.seals_removed, "B-11");
    ASSERT_EQ(kept[0].changes.size(), 2u);
    EXPECT_EQ(kept[0].changes[0].before, std::optional<QString>("terminal"));
    EXPECT_EQ(kept[0].changes[1].seq, 2);
    EXPECT_EQ(kept[0].changes[1].wanted, "********"); // a secret only as changed
    ASSERT_TRUE(kept[0].ended);
    EXPECT_EQ(kept[0].ended->seals_applied, "B-12");
    EXPECT_EQ(kept[0].ended->note, "zamenjena antena");
    EXPECT_EQ(kept[0].ended->verdict, "pass");
}

} // namespace
} // namespace tessal::device
