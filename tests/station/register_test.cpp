// SPDX-License-Identifier: Apache-2.0
// The register: rows kept and read back, a day's rows, the CSV a spreadsheet
// reads, a register another station holds, and registers that cannot be used.
#include "register/register.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tessal::reg {
namespace {

using namespace std::chrono_literals;

// clang-format off
const Record kPassed{"2026-12-05T09:00:00", "/dev/ttyUSB0", 38400, "Tessal GPRS 2.4.1",
    "356871044629016", "89381030000123456784", 21, "/srv/servis.json", "63a7b821",
    R"([{"field":"ftp.user","state":"unchanged"}])", true, "",
    "/srv/traces/356871044629016_20261205-090000.txt"};
const Record kFailed{"2026-12-06T10:15:30", "/dev/ttyUSB1", 9600, "Tessal GPRS 2.4.1",
    "356871044629024", "", std::nullopt, "/srv/servis.json", "63a7b821",
    R"([{"field":"ftp.user","state":"not_written","why":"Not OK!"}])", false,
    "ftp.user: Not OK!; sim: +CME ERROR: 10", ""};
const Record kSilent{"2026-12-07T11:00:00", "/dev/ttyACM0", 0, "", "", "", std::nullopt,
    "/srv/servis.json", "63a7b821", "[]", false, "no reply at 38400, 9600 bit/s",
    "/srv/traces/ttyACM0_20261207-110000.txt"};
// clang-format on

// Runs `sql` on a connection of its own, on a thread of its own (a
// connection stays on its thread), and holds the transaction it began for
// `hold`; returns once the transaction has begun.
std::thread other_station(const QString& path, const char* sql, std::chrono::milliseconds hold) {
    std::atomic<bool> begun{false};
    std::thread thread([&begun, path, sql, hold] {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
            db.setDatabaseName(path);
            db.open();
            QSqlQuery(db).exec(sql);
            begun = true;
            std::this_thread::sleep_for(hold);
            QSqlQuery(db).exec("COMMIT");
        }
        QSqlDatabase::removeDatabase("other");
    });
    while (!begun) {
        std::this_thread::sleep_for(1ms);
    }
    return thread;
}

class RegisterTest : public ::testing::Test {
  protected:
    QString path(const QString& name = "station/register.sqlite") { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(RegisterTest, KeepsRowsListsADaysOnAndExportsCsv) {
    QString error;
    {
        Register book;
        ASSERT_TRUE(book.open(path(), error)) << error.toStdString();
        EXPECT_EQ(book.traces_folder(), path("station/traces"));
        ASSERT_TRUE(book.add(kPassed, error) && book.add(kFailed, error));
    }
    Register book; // opened again, the rows stay and more go on
    ASSERT_TRUE(book.open(path(), error) && book.add(kSilent, error));
    EXPECT_EQ(book.list({}, error), (std::vector<Record>{kPassed, kFailed, kSilent}));
    EXPECT_EQ(book.list(QDate(2026, 12, 6), error), (std::vector<Record>{kFailed, kSilent}));
    EXPECT_EQ(book.list(QDate(2026, 12, 8), error), std::vector<Record>{});

    EXPECT_EQ(book.export_csv(path("devices.csv"), error), 3u);
    QFile csv(path("devices.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        csv.readAll().toStdString(),
        "\xEF\xBB\xBFtime,port,speed,version,imei,sim_id,signal,profile_file,profile_sha256,"
        "apply_result,result,failed,trace_file\r\n"
        R"("2026-12-05T09:00:00","/dev/ttyUSB0",38400,"Tessal GPRS 2.4.1","356871044629016",)"
        R"("89381030000123456784",21,"/srv/servis.json","63a7b821",)"
        R"("[{""field"":""ftp.user"",""state"":""unchanged""}]","PASS","",)"
        R"("/srv/traces/356871044629016_20261205-090000.txt")"
        "\r\n"
        R"("2026-12-06T10:15:30","/dev/ttyUSB1",9600,"Tessal GPRS 2.4.1","356871044629024","",,)"
        R"("/srv/servis.json","63a7b821",)"
        R"("[{""field"":""ftp.user"",""state"":""not_written"",""why"":""Not OK!""}]","FAIL",)"
        R"("ftp.user: Not OK!; sim: +CME ERROR: 10","")"
        "\r\n"
        R"("2026-12-07T11:00:00","/dev/ttyACM0",,"","","",,"/srv/servis.json","63a7b821","[]",)"
        R"("FAIL","no reply at 38400, 9600 bit/s","/srv/traces/ttyACM0_20261207-110000.txt")"
        "\r\n");
}

TEST_F(RegisterTest, WaitsForAnotherStationsWriteAndGivesUpWithoutHarm) {
    QString error;
    Register book;
    ASSERT_TRUE(book.open(path(), error)) << error.toStdString();
    std::thread other = other_station(path(), "BEGIN EXCLUSIVE", 600ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(book.add(kPassed, error)) << error.toStdString();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    other.join();

    Register impatient;
    ASSERT_TRUE(impatient.open(path(), error, 200)) << error.toStdString();
    other = other_station(path(), "BEGIN EXCLUSIVE", 1500ms);
    EXPECT_FALSE(impatient.add(kFailed, error));
    EXPECT_EQ(error.toStdString(),
              "the register is in use by another station; gave up after 200 ms: " +
                  path().toStdString());
    other.join();
    EXPECT_EQ(impatient.list({}, error), std::vector<Record>{kPassed});
}

TEST_F(RegisterTest, RefusesARegisterThatCannotBeUsed) {
    const auto write = [this](const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write("plain.txt", "") && write("text.sqlite", QByteArray(200, 'x')));
    QString error;
    ASSERT_TRUE(Register().open(path("newer.sqlite"), error));
    other_station(path("newer.sqlite"), "PRAGMA user_version = 2", 0ms).join();
    const struct {
        const char* file;
        bool read_only;
        QString error;
    } rows[] = {
        {"plain.txt/register.sqlite", false,
         "the register's folder cannot be made: " + path("plain.txt")},
        {"text.sqlite", false,
         "the register cannot be read: " + path("text.sqlite") + ": file is not a database"},
        {"newer.sqlite", true,
         "the register was made by a newer program (schema 2): " + path("newer.sqlite")},
        {"missing.sqlite", true, "there is no register at " + path("missing.sqlite")},
    };
    for (const auto& row : rows) {
        Register book;
        EXPECT_FALSE(row.read_only ? book.open_for_reading(path(row.file), error)
                                   : book.open(path(row.file), error));
        EXPECT_EQ(error.toStdString(), row.error.toStdString());
    }
}

} // namespace
} // namespace tessal::reg
