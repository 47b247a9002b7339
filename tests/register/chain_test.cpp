// SPDX-License-Identifier: Apache-2.0
// The register proved untouched: rows chained by their writers, changed
// afterwards the way a database's owner can (SQL, not the program), and
// each change found by verify, named by its row; on SQLite and on the test's
// PostgreSQL server.
#include "register/writer.h"
#include "support/book_entries.h"
#include "support/owner_sql.h"
#include "support/user_folders.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace tessal::testing {
namespace {

using reg::Fault;

struct Found {
    Fault::Kind kind;
    std::string writer; // "a" or "b": the station whose writer it is
    int seq;
    std::string table;

    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& f) {
    return out << reg::fault_code(f.kind) << " " << f.writer << " " << f.seq << " " << f.table;
}

class ChainTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (GetParam()) {
            TESSAL_NEED_PG();
            location_ = pg_database();
        } else {
            location_ = dir_.filePath(QString("register%1.sqlite").arg(++made_));
        }
    }

    reg::Place place(const QString& station) const {
        reg::Place p;
        p.location = location_;
        p.local = dir_.filePath(station + "-waiting.sqlite");
        p.station = station;
        if (GetParam()) {
            EXPECT_TRUE(pg_owner_password_file(dir_.filePath("password")));
            p.password_file = dir_.filePath("password");
        }
        return p;
    }

    // Writer a: a device commissioned, an entry with two changes and its
    // end, a second device; writer b: an entry and its end.  Each signs its
    // head; the owner trusts both keys.
    void write_book() {
        for (const char* station : {"a", "b"}) {
            reg::Register book;
            QString error;
            ASSERT_TRUE(book.open(place(station), error)) << error.toStdString();
            const bool a = QString(station) == "a";
            // An id of its own each time: a server's writer keeps its rows' copies locally.
            const QString id = station + QString::number(++written_ % 16, 16);
            BookEntry entry{id, "356871044629016", "08", "", ";", {}, "pass"};
            if (a) {
                entry.changes = {{"ftp.user", "?", "tech", "confirmed", "tech"},
                                 {"ftp.user", "?", "ana", "confirmed", "ana"}};
            }
            std::vector<reg::Row> rows = rows_of(entry);
            if (a) {
                reg::Record device, second;
                device.time = "2026-12-08T09:00:00+01:00";
                device.imei = "356871044629016";
                second.time = "2026-12-08T11:00:00+01:00";
                second.imei = "356871044629024";
                rows.insert(rows.begin(), device);
                rows.push_back(second);
            }
            for (const reg::Row& row : rows) {
                ASSERT_EQ(book.record(row).where, reg::Kept::Where::recorded);
            }
            ASSERT_TRUE(book.checkpoint());
            reg::Writer* writer = book.writer(error);
            ASSERT_NE(writer, nullptr);
            writers_ << writer->name();
            keys_.push_back({writer->name(), writer->public_key()});
            ASSERT_TRUE(book.trust(keys_.back(), error)) << error.toStdString();
        }
    }

    reg::Verdict verify(const reg::Anchors& outside = {}) const {
        reg::Register book;
        QString error;
        EXPECT_TRUE(book.open_for_reading(place("reader"), error)) << error.toStdString();
        return book.verify(outside, error).value_or(reg::Verdict{});
    }

    // The faults as (kind, writer, number, table), the writer by its station.
    std::vector<Found> found(const reg::Verdict& v) const {
        std::vector<Found> all;
        for (const Fault& f : v.faults) {
            const char* w = f.writer.isEmpty() ? "" : f.writer.startsWith(writers_[0]) ? "a" : "b";
            all.push_back({f.kind, w, f.seq, f.table.toStdString()});
        }
        return all;
    }

    QString a() const { return "writer = '" + writers_[0] + "'"; }

    QTemporaryDir dir_;
    QString location_;
    int made_ = 0;
    int written_ = 0;
    QStringList writers_;
    std::vector<reg::NamedKey> keys_;
};

TEST_P(ChainTest, AnUntouchedBookVerifiesAndEachTamperingIsFoundByItsRow) {
    write_book();
    if (HasFatalFailure()) {
        return;
    }
    const reg::Verdict clean = verify();
    EXPECT_EQ(found(clean), std::vector<Found>{});
    EXPECT_EQ(clean.rows, 8);
    ASSERT_EQ(clean.chains.size(), 2U);
    EXPECT_EQ(clean.chains[0].last, 6);
    EXPECT_EQ(clean.chains[0].signed_up_to, 6);
    EXPECT_EQ(clean.chains[0].anchor.toStdString(), "the register's trusted key");
    EXPECT_EQ(clean.chains[1].signed_up_to, 2);
    // The copies of a server's rows that its writer kept locally first are
    // that server's, in its chains: the local register holds none of its own.
    if (GetParam()) {
        reg::Register local;
        QString error;
        ASSERT_TRUE(local.open_for_reading(dir_.filePath("a-waiting.sqlite"), error));
        const std::optional<reg::Verdict> v = local.verify({}, error);
        ASSERT_TRUE(v) << error.toStdString();
        EXPECT_EQ(v->rows + v->faults_found, 0);
    }

    // Each tampering on a book of its own, written as above.
    const struct {
        const char* what;
        QString sql;
        std::vector<Found> expected;
    } cases[] = {
        {"a value of a middle row changed",
         "UPDATE changes SET wanted = 'evil' WHERE " + a() + " AND writer_seq = 3",
         {{Fault::Kind::changed, "a", 3, "changes"}}},
        {"a middle row deleted",
         "DELETE FROM changes WHERE " + a() + " AND writer_seq = 3",
         {{Fault::Kind::removed, "a", 3, ""}}},
        {"the last rows of a writer deleted",
         "DELETE FROM intervention_ends WHERE " + a() + "; DELETE FROM devices WHERE " + a() +
             " AND writer_seq = 6",
         {{Fault::Kind::cut_short, "a", 6, ""}}},
        {"two rows' contents swapped",
         "UPDATE changes SET wanted = CASE wanted WHEN 'tech' THEN 'ana' ELSE 'tech' END, "
         "now_value = CASE now_value WHEN 'tech' THEN 'ana' ELSE 'tech' END WHERE " +
             a(),
         {{Fault::Kind::changed, "a", 3, "changes"}, {Fault::Kind::changed, "a", 4, "changes"}}},
        {"two rows reordered",
         "UPDATE changes SET writer_seq = 7 - writer_seq WHERE " + a(),
         {{Fault::Kind::changed, "a", 3, "changes"},
          {Fault::Kind::reordered, "a", 3, "changes"},
          {Fault::Kind::changed, "a", 4, "changes"},
          {Fault::Kind::reordered, "a", 4, "changes"},
          {Fault::Kind::reordered, "a", 5, "intervention_ends"}}},
        {"a forged row with a made-up hash",
         "INSERT INTO changes (uuid, intervention, seq, time, utc, write_kind, field, wanted, "
         "now_value, state, why, writer, writer_seq, prev_hash, row_hash) SELECT "
         "'00000000-0000-4000-8000-00000000f0f0', intervention, 3, time, utc, write_kind, field, "
         "'forged', 'forged', state, why, writer, 4, row_hash, "
         "'" +
             QString(64, 'f') + "' FROM changes WHERE " + a() + " AND writer_seq = 3",
         {{Fault::Kind::changed, "a", 4, "changes"}, {Fault::Kind::fork, "a", 4, "changes"}}},
        {"a row added past the program",
         "INSERT INTO devices (time, port, version, imei, sim_id, profile_file, profile_sha256, "
         "apply_result, result, failed, trace_file, uuid, station, os_user, utc, check_result) "
         "VALUES ('2026-12-08T12:00:00+01:00', '', '', '356871044629032', '', '', '', '[]', "
         "'PASS', '', '', '00000000-0000-4000-8000-00000000f0f1', 'a', '', '', '')",
         {{Fault::Kind::outside, "", 0, "devices"}}},
        {"a checkpoint made up",
         "UPDATE checkpoints SET writer_seq = 9 WHERE " + a(),
         {{Fault::Kind::bad_signature, "a", 9, ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(owner_exec(location_, c.sql.split("; ")).toStdString(), "");
        const reg::Verdict v = verify();
        EXPECT_EQ(found(v), c.expected);
        EXPECT_EQ(v.faults_found, static_cast<int>(c.expected.size()));
        for (const Fault& f : v.faults) {
            EXPECT_FALSE(f.text.isEmpty());
        }
        // The next case begins from the book as written.
        SetUp();
        writers_.clear();
        keys_.clear();
        write_book();
    }
}

// Keys and checkpoints kept outside the register are the anchor: a register
// whose owner trusted a key of his own and cut off the last rows is still
// found out by the company's files.
TEST_P(ChainTest, CheckpointsAndKeysKeptOutsideOutweighTheRegisters) {
    write_book();
    if (HasFatalFailure()) {
        return;
    }
    reg::Register book;
    QString error;
    ASSERT_TRUE(book.open_for_reading(place("reader"), error));
    const std::vector<reg::Checkpoint> kept = *book.last_checkpoints(error);
    ASSERT_EQ(kept.size(), 2U);
    EXPECT_EQ(kept[0].seq + kept[1].seq, 8);
    // The owner removes the last rows and the checkpoints, and trusts a
    // key he made himself.
    for (const QString& sql : {"DELETE FROM devices WHERE " + a() + " AND writer_seq = 6",
                               QString("DELETE FROM checkpoints"),
                               QString("UPDATE trusted_keys SET public_key = '%1'")
                                   .arg(QString(QByteArray(32, 'k').toBase64()))}) {
        ASSERT_EQ(owner_exec(location_, {sql}).toStdString(), "");
    }
    EXPECT_EQ(found(verify()), std::vector<Found>{});
    reg::Anchors outside{keys_, "keys.txt", kept};
    const reg::Verdict v = verify(outside);
    EXPECT_EQ(found(v), (std::vector<Found>{{Fault::Kind::key_differs, "a", 0, "trusted_keys"},
                                            {Fault::Kind::cut_short, "a", 6, ""},
                                            {Fault::Kind::key_differs, "b", 0, "trusted_keys"}}));
    ASSERT_EQ(v.chains.size(), 2U);
    EXPECT_EQ(v.chains[1].anchor.toStdString(), "the key in keys.txt");
    EXPECT_EQ(v.chains[1].signed_up_to, 2);
}

// Eight writers at once, each its own chain, the server numbering the
// entries: every chain whole.
TEST_P(ChainTest, EightWritersAtOnceVerifyClean) {
    std::vector<std::thread> writers;
    for (int w = 1; w <= 8; ++w) {
        writers.emplace_back([this, w] {
            reg::Register book;
            QString error;
            ASSERT_TRUE(book.open(place(QString("w%1").arg(w)), error)) << error.toStdString();
            for (int n = 0; n < 10; ++n) {
                reg::Intervention opened;
                opened.time = "2026-12-08T10:00:00+01:00";
                opened.imei = "356871044629016";
                EXPECT_EQ(book.record(opened).where, reg::Kept::Where::recorded);
            }
            EXPECT_TRUE(book.checkpoint());
        });
    }
    for (std::thread& t : writers) {
        t.join();
    }
    const reg::Verdict v = verify();
    EXPECT_EQ(found(v), std::vector<Found>{});
    EXPECT_EQ(v.rows, 80);
    ASSERT_EQ(v.chains.size(), 8U);
    for (const reg::Chain& c : v.chains) {
        EXPECT_EQ(c.last, 10) << c.writer.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(BothRegisters, ChainTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Server" : "File"; });

} // namespace
} // namespace tessal::testing
