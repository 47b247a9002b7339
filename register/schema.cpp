// SPDX-License-Identifier: Apache-2.0
// The register's schema: made on a new register, brought up to date from an
// older one step by step, and checked before any device is done.
#include "columns.h"
#include "db.h"
#include "writer.h"

#include <QDateTime>
#include <QUuid>

#include <algorithm>

namespace tessal::reg {

namespace {

// A schema step: its SQL, for the backends it is run on; "%ID%" and
// "%UUID%" become each one's types.
struct Step {
    const char* sql;
    bool sqlite;
    bool postgresql;
};

// Version 1: the devices done.  Version 2: each row's own id, its station,
// user and instant; the old rows get theirs in between (see fill_version_2),
// then the indexes.  On SQLite, the rows that wait for another register
// and those sent to it: the marks are rows of their own, so that no row is
// ever changed.  Version 3: the device check's stages.  Version 4: the
// service book, and the table of each waiting row.  Version 5: the
// writers' chains, their checkpoints and their trusted keys.  A later version adds
// its steps after these, each run once on a register that has not had it
// yet.
constexpr Step kSchemaSteps[] = {
    {"CREATE TABLE devices ("
     " id %ID%,"
     " time TEXT NOT NULL,"
     " port TEXT NOT NULL,"
     " speed INTEGER,"
     " version TEXT NOT NULL,"
     " imei TEXT NOT NULL,"
     " sim_id TEXT NOT NULL,"
     " signal INTEGER,"
     " profile_file TEXT NOT NULL,"
     " profile_sha256 TEXT NOT NULL,"
     " apply_result TEXT NOT NULL,"
     " result TEXT NOT NULL CHECK (result IN ('PASS', 'FAIL')),"
     " failed TEXT NOT NULL,"
     " trace_file TEXT NOT NULL)",
     true, true},
    {"CREATE INDEX devices_by_time ON devices (time)", true, true},
    // version 2
    {"ALTER TABLE devices ADD COLUMN uuid %UUID%", true, true},
    {"ALTER TABLE devices ADD COLUMN station TEXT NOT NULL DEFAULT ''", true, true},
    {"ALTER TABLE devices ADD COLUMN os_user TEXT NOT NULL DEFAULT ''", true, true},
    {"ALTER TABLE devices ADD COLUMN utc TEXT NOT NULL DEFAULT ''", true, true},
    {nullptr, true, true}, // the old rows' id, time and instant
    {"CREATE UNIQUE INDEX devices_by_uuid ON devices (uuid)", true, true},
    {"CREATE INDEX devices_by_utc ON devices (utc, uuid)", true, true},
    {"CREATE TABLE waiting (uuid TEXT PRIMARY KEY, register TEXT NOT NULL)", true, false},
    {"CREATE TABLE sent (uuid TEXT PRIMARY KEY)", true, false},
    {"CREATE TABLE register_schema (version INTEGER NOT NULL)", false, true},
    // version 3
    {"ALTER TABLE devices ADD COLUMN check_result TEXT NOT NULL DEFAULT ''", true, true},
    // version 4
    {"CREATE TABLE interventions ("
     " id %ID%,"
     " uuid %UUID% NOT NULL UNIQUE,"
     " entry INTEGER,"
     " time TEXT NOT NULL,"
     " utc TEXT NOT NULL,"
     " imei TEXT NOT NULL,"
     " version TEXT NOT NULL,"
     " sim_id TEXT NOT NULL,"
     " port TEXT NOT NULL,"
     " technician TEXT NOT NULL,"
     " authorization_number TEXT NOT NULL,"
     " company TEXT NOT NULL,"
     " station TEXT NOT NULL,"
     " os_user TEXT NOT NULL,"
     " kind TEXT NOT NULL,"
     " seals_removed TEXT NOT NULL)",
     true, true},
    // Two entries of one device never share a number.
    {"CREATE UNIQUE INDEX interventions_by_entry ON interventions (imei, entry)", true, true},
    {"CREATE INDEX interventions_by_utc ON interventions (utc)", true, true},
    {"CREATE INDEX interventions_by_sim ON interventions (sim_id)", true, true},
    {"CREATE TABLE changes ("
     " id %ID%,"
     " uuid %UUID% NOT NULL UNIQUE,"
     " intervention %UUID% NOT NULL,"
     " seq INTEGER NOT NULL,"
     " time TEXT NOT NULL,"
     " utc TEXT NOT NULL,"
     " write_kind TEXT NOT NULL,"
     " field TEXT NOT NULL,"
     " before_value TEXT,"
     " wanted TEXT NOT NULL,"
     " now_value TEXT NOT NULL,"
     " state TEXT NOT NULL,"
     " why TEXT NOT NULL)",
     true, true},
    {"CREATE INDEX changes_by_intervention ON changes (intervention, seq)", true, true},
    {"CREATE TABLE intervention_ends ("
     " id %ID%,"
     " uuid %UUID% NOT NULL UNIQUE,"
     " intervention %UUID% NOT NULL,"
     " time TEXT NOT NULL,"
     " utc TEXT NOT NULL,"
     " seals_applied TEXT NOT NULL,"
     " note TEXT NOT NULL,"
     " verdict TEXT NOT NULL)",
     true, true},
    {"CREATE INDEX intervention_ends_by_intervention ON intervention_ends (intervention)", true,
     true},
    // A waiting row's table.
    {"ALTER TABLE waiting ADD COLUMN book TEXT NOT NULL DEFAULT 'devices'", true, false},
    // version 5: each row's place in its writer's chain; the rows made
    // before are chained in between (see chain_older_rows).
    {"ALTER TABLE devices ADD COLUMN writer TEXT", true, true},
    {"ALTER TABLE devices ADD COLUMN writer_seq INTEGER", true, true},
    {"ALTER TABLE devices ADD COLUMN prev_hash TEXT", true, true},
    {"ALTER TABLE devices ADD COLUMN row_hash TEXT", true, true},
    {"CREATE INDEX devices_by_link ON devices (writer, writer_seq)", true, true},
    {"ALTER TABLE interventions ADD COLUMN writer TEXT", true, true},
    {"ALTER TABLE interventions ADD COLUMN writer_seq INTEGER", true, true},
    {"ALTER TABLE interventions ADD COLUMN prev_hash TEXT", true, true},
    {"ALTER TABLE interventions ADD COLUMN row_hash TEXT", true, true},
    {"CREATE INDEX interventions_by_link ON interventions (writer, writer_seq)", true, true},
    {"ALTER TABLE changes ADD COLUMN writer TEXT", true, true},
    {"ALTER TABLE changes ADD COLUMN writer_seq INTEGER", true, true},
    {"ALTER TABLE changes ADD COLUMN prev_hash TEXT", true, true},
    {"ALTER TABLE changes ADD COLUMN row_hash TEXT", true, true},
    {"CREATE INDEX changes_by_link ON changes (writer, writer_seq)", true, true},
    {"ALTER TABLE intervention_ends ADD COLUMN writer TEXT", true, true},
    {"ALTER TABLE intervention_ends ADD COLUMN writer_seq INTEGER", true, true},
    {"ALTER TABLE intervention_ends ADD COLUMN prev_hash TEXT", true, true},
    {"ALTER TABLE intervention_ends ADD COLUMN row_hash TEXT", true, true},
    {"CREATE INDEX intervention_ends_by_link ON intervention_ends (writer, writer_seq)", true,
     true},
    {"CREATE TABLE checkpoints ("
     " id %ID%,"
     " uuid %UUID% NOT NULL UNIQUE,"
     " writer TEXT NOT NULL,"
     " writer_seq INTEGER NOT NULL,"
     " row_hash TEXT NOT NULL,"
     " time TEXT NOT NULL,"
     " utc TEXT NOT NULL,"
     " signature TEXT NOT NULL)",
     true, true},
    {"CREATE INDEX checkpoints_by_writer ON checkpoints (writer, writer_seq)", true, true},
    {"CREATE TABLE trusted_keys ("
     " writer TEXT PRIMARY KEY,"
     " public_key TEXT NOT NULL,"
     " time TEXT NOT NULL,"
     " os_user TEXT NOT NULL)",
     true, true},
    {nullptr, true, true}, // the rows made before the chain
};
// Steps done once a version is reached.
constexpr int kStepsOfVersion[] = {0, 2, 12, 13, 22, 46};

// A version 1 row's time was the station's local time without an offset:
// it gets the offset that the machine's time zone gives that moment.
bool fill_version_2(QSqlQuery& q, QSqlError& failed, bool server) {
    std::vector<std::pair<qlonglong, QString>> old;
    if (!q.exec(QStringLiteral("SELECT id, time FROM devices WHERE uuid IS NULL ORDER BY id"))) {
        failed = q.lastError();
        return false;
    }
    while (q.next()) {
        old.emplace_back(q.value(0).toLongLong(), q.value(1).toString());
    }
    q.finish();
    if (!q.prepare(QStringLiteral(
            "UPDATE devices SET uuid = :uuid, time = :time, utc = :utc WHERE id = :id"))) {
        failed = q.lastError();
        return false;
    }
    for (const auto& [id, time] : old) {
        QDateTime when = QDateTime::fromString(time, Qt::ISODate);
        q.bindValue(QStringLiteral(":uuid"), QUuid::createUuid().toString(QUuid::WithoutBraces));
        q.bindValue(QStringLiteral(":time"), when.isValid() ? local_time_text(when) : time);
        q.bindValue(QStringLiteral(":utc"), when.isValid() ? utc_text(when) : time);
        q.bindValue(QStringLiteral(":id"), id);
        if (!q.exec()) {
            failed = q.lastError();
            return false;
        }
    }
    if (!server) {
        return true;
    }
    // A version 1 table on a server numbered its rows itself; from now on
    // the server numbers them, after the last.
    if (!q.exec(QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE "
                               "table_name = 'devices' AND column_name = 'id' AND "
                               "is_identity = 'NO'")) ||
        !q.next()) {
        failed = q.lastError();
        return false;
    }
    if (q.value(0).toInt() > 0 &&
        (!q.exec(QStringLiteral(
             "ALTER TABLE devices ALTER COLUMN id ADD GENERATED BY DEFAULT AS IDENTITY")) ||
         !q.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('devices', 'id'), "
                                "coalesce(max(id), 0) + 1, false) FROM devices")))) {
        failed = q.lastError();
        return false;
    }
    return true;
}

// The rows made before the chain begin it, in one chain of their own
// (named so), table after table in the order they were added: from now on
// a change to one of them shows, though nothing proves what they held
// before.
template <class T> bool chain_rows_of(QSqlQuery& q, QSqlError& failed, Link& last) {
    std::vector<std::pair<qlonglong, T>> rows;
    if (!q.exec(QStringLiteral("SELECT id, %1 FROM %2 ORDER BY id")
                    .arg(column_list<T>(4), QLatin1String(table_of<T>().name)))) {
        failed = q.lastError();
        return false;
    }
    while (q.next()) {
        rows.emplace_back(q.value(0).toLongLong(), row_of<T>(q, 4, 1));
    }
    q.finish();
    if (!q.prepare(QStringLiteral("UPDATE %1 SET writer = ?, writer_seq = ?, prev_hash = ?, "
                                  "row_hash = ? WHERE id = ?")
                       .arg(QLatin1String(table_of<T>().name)))) {
        failed = q.lastError();
        return false;
    }
    for (const auto& [id, row] : rows) {
        Link next{last.writer, last.seq + 1, last.hash, {}};
        next.hash = link_hash(Row(row), next.writer, next.seq, next.prev);
        q.addBindValue(next.writer);
        q.addBindValue(next.seq);
        q.addBindValue(next.prev);
        q.addBindValue(next.hash);
        q.addBindValue(id);
        if (!q.exec()) {
            failed = q.lastError();
            return false;
        }
        last = next;
    }
    return true;
}

bool chain_older_rows(QSqlQuery& q, QSqlError& failed) {
    Link last{QLatin1String(kBeforeTheChain), 0, {}, first_prev()};
    return chain_rows_of<Record>(q, failed, last) && chain_rows_of<Intervention>(q, failed, last) &&
           chain_rows_of<Change>(q, failed, last) &&
           chain_rows_of<InterventionEnd>(q, failed, last);
}

} // namespace

bool Register::Db::read_version(QString& error) {
    QSqlQuery q(database());
    if (kind == Kind::sqlite) {
        // One statement, one look: a station making the schema meanwhile is
        // seen either before or after.
        if (!q.exec(QStringLiteral("SELECT (SELECT user_version FROM pragma_user_version), "
                                   "(SELECT count(*) FROM sqlite_master)")) ||
            !q.next()) {
            error = failure(q.lastError(), "read");
            return false;
        }
        version = q.value(0).toInt();
        if (version == 0) {
            // A file with tables but no version was made by another program.
            if (q.value(1).toInt() > 0) {
                error = QStringLiteral("the file is not a register (another program made it): %1")
                            .arg(shown);
                return false;
            }
        }
    } else {
        if (!q.exec(QStringLiteral("SELECT to_regclass('register_schema') IS NOT NULL, "
                                   "to_regclass('devices') IS NOT NULL")) ||
            !q.next()) {
            error = failure(q.lastError(), "read");
            return false;
        }
        const bool versioned = q.value(0).toBool();
        const bool devices = q.value(1).toBool();
        version = devices ? 1 : 0;
        if (versioned) {
            if (!q.exec(QStringLiteral("SELECT max(version) FROM register_schema")) || !q.next()) {
                error = failure(q.lastError(), "read");
                return false;
            }
            version = q.value(0).toInt();
        }
    }
    if (version > kSchemaVersion) {
        error = QStringLiteral("the register was made by a newer program (schema %1): %2")
                    .arg(version)
                    .arg(shown);
        return false;
    }
    return version == 0 || check_tables(error);
}

// A table of another program's under the register's name, or one that lost
// a column, is found before any device is done.
bool Register::Db::check_tables(QString& error) {
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("SELECT %1 FROM devices WHERE 1 = 0").arg(column_list(version)))) {
        // A table held by its owner, a server cut or a busy file is no sign
        // of another program: only a missing table or column is.
        const QString code = q.lastError().nativeErrorCode();
        if (busy(q.lastError()) || cut.timed_out() ||
            (kind == Kind::postgresql && code != QLatin1String("42P01") &&
             code != QLatin1String("42703"))) {
            error = failure(q.lastError(), "read");
            return false;
        }
        error = QStringLiteral("the file is not a register (another program made it): %1: %2")
                    .arg(shown, why(q.lastError()));
        if (kind == Kind::postgresql) {
            error = QStringLiteral("the database is not a register: %1: %2")
                        .arg(shown, why(q.lastError()));
        }
        return false;
    }
    return true;
}

// The schema's version as it stands inside the write transaction.
bool Register::Db::reread_version(QSqlQuery& q) {
    if (kind == Kind::postgresql) {
        QString ignored;
        return read_version(ignored);
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        return false;
    }
    version = q.value(0).toInt();
    q.finish();
    return true;
}

// The steps from the register's version to the program's, each in its form
// for this kind of database.
bool Register::Db::run_schema_steps(QSqlQuery& q, QSqlError& failed) {
    const bool sqlite = kind == Kind::sqlite;
    for (int step = kStepsOfVersion[std::min(version, kSchemaVersion)];
         step < kStepsOfVersion[kSchemaVersion]; ++step) {
        const Step& s = kSchemaSteps[step];
        if (!(sqlite ? s.sqlite : s.postgresql)) {
            continue;
        }
        if (s.sql == nullptr) {
            if (!(step < kStepsOfVersion[2] ? fill_version_2(q, failed, !sqlite)
                                            : chain_older_rows(q, failed))) {
                return false;
            }
            continue;
        }
        QString sql = QString::fromLatin1(s.sql);
        sql.replace(QLatin1String("%ID%"),
                    sqlite ? QLatin1String("INTEGER PRIMARY KEY")
                           : QLatin1String("BIGINT GENERATED BY DEFAULT AS IDENTITY "
                                           "PRIMARY KEY"));
        sql.replace(QLatin1String("%UUID%"),
                    sqlite ? QLatin1String("TEXT") : QLatin1String("UUID"));
        if (!q.exec(sql)) {
            failed = q.lastError();
            return false;
        }
    }
    return true;
}

// Brings the schema up to date and records its version, inside the write
// transaction.
bool Register::Db::upgrade_schema(QSqlQuery& q, QSqlError& failed) {
    if (!reread_version(q) || !run_schema_steps(q, failed)) {
        return false;
    }
    const bool updated = version < kSchemaVersion;
    version = kSchemaVersion;
    if (kind == Kind::sqlite) {
        return q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
    }
    return !updated ||
           q.exec(QStringLiteral("INSERT INTO register_schema VALUES (%1)").arg(kSchemaVersion));
}

bool Register::Db::prepare_schema(QString& error) {
    if (kind == Kind::postgresql && version == kSchemaVersion) {
        return true; // a station may only add rows and read them
    }
    // The version is read again inside the transaction: another station may
    // have brought the schema up to date meanwhile.  On SQLite, setting it
    // even when it is current proves the register can be written before the
    // first device.  On a server, stations that start at once make the
    // schema one after another: the lock is taken before the transaction
    // begins, so that it sees what the one before made.
    QSqlQuery lock(database());
    if (kind == Kind::postgresql &&
        (!go_on() || !lock.exec(QStringLiteral("SELECT pg_advisory_lock(7736527)")))) {
        error = failure(lock.lastError(), "written");
        cut.disarm();
        return false;
    }
    const bool made =
        write([this](QSqlQuery& q, QSqlError& failed) { return upgrade_schema(q, failed); }, error);
    if (kind == Kind::postgresql && go_on()) {
        lock.exec(QStringLiteral("SELECT pg_advisory_unlock(7736527)"));
        cut.disarm();
    }
    return made;
}

} // namespace tessal::reg
