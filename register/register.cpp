// SPDX-License-Identifier: Apache-2.0
#include "register.h"
#include "server_cut.h"

#include "settings/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string_view>

namespace tessal::reg {

namespace {

using std::chrono::seconds;
using SteadyClock = std::chrono::steady_clock;

// The columns in their order: the table's, the CSV file's and the JSON
// object's.
constexpr const char* kColumns[] = {
    "time",       "port",         "speed",          "version",      "imei",   "sim_id",
    "signal",     "profile_file", "profile_sha256", "apply_result", "result", "failed",
    "trace_file", "uuid",         "station",        "os_user",      "utc"};
// Their names in the CSV file and the JSON object.
constexpr const char* kFields[] = {
    "time",       "port",         "speed",          "version",      "imei",   "sim_id",
    "signal",     "profile_file", "profile_sha256", "apply_result", "result", "failed",
    "trace_file", "id",           "station",        "user",         "utc"};
constexpr std::size_t kVersion1Columns = 13; // those before "uuid"

enum class Kind { sqlite, postgresql };

// How a register server failed, as far as the next try is concerned.
enum class Trouble {
    none,
    refused,     // it answered and refused the user or the connection: asked again after a minute
    unreachable, // it did not answer, or not in time: asked again after a few seconds
    other,       // it answered with a failure of the statement
};

// The client library's words for a server that answered and refused, each
// with what the register says of it.  The first that the reason holds tells.
struct Refusal {
    const char* words;
    bool user; // the user was refused, rather than the connection
};
constexpr Refusal kRefusals[] = {
    {"authentication failed", true},
    {"no password supplied", true},
    {"password is required", true},
    {"role \"", true}, // ... does not exist
    {"certificate verify failed", false},
    {"does not match host name", false},
    {"server does not support SSL", false},
    {"root certificate file", false},
    {"SSL error", false},
    {"SSL SYSCALL error", false},
};

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
// ever changed.  A later version adds its steps after these, each run once
// on a register that has not had it yet.
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
};
constexpr int kStepsOfVersion[] = {0, 2, 12}; // steps done once a version is reached

std::atomic<int> connections{0};

// The longest a register server is waited for in one exchange, whatever it
// does; and the server's own limits inside it, for a statement that waits
// for a lock and for one that runs.
constexpr std::chrono::seconds kStatementDeadline{Register::kServerDeadlineS};
constexpr int kLockTimeoutMs = 3000;
constexpr int kStatementTimeoutMs = 4000;

// SQLite's "database is locked" and "database table is locked".
bool busy(const QSqlError& error) {
    return error.nativeErrorCode() == QLatin1String("5") ||
           error.nativeErrorCode() == QLatin1String("6");
}

// The database's own words on one line, or Qt's when it gave none.
QString why(const QSqlError& error) {
    return (!error.databaseText().isEmpty() ? error.databaseText() : error.text()).simplified();
}

QVariant null_if(bool none, const QVariant& value) {
    return none ? QVariant() : value;
}

// Text columns hold empty text, never NULL (which the driver makes of a null
// QString).
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(value);
}

// A spreadsheet takes a cell beginning with one of these for a formula.
bool formula_like(const QString& text) {
    static const QString starts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && starts.contains(text.front());
}

// More digits than a spreadsheet shows of a number: it would round them.
bool long_digits(const QString& text) {
    return text.size() > 11 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

QByteArray csv_field(const QString& text) {
    QString quoted = formula_like(text) || long_digits(text) ? QLatin1Char('\'') + text : text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

QString column_list(std::size_t count = std::size(kColumns)) {
    QString names;
    for (std::size_t i = 0; i < count; ++i) {
        names += (i > 0 ? ", " : "") + QLatin1String(kColumns[i]);
    }
    return names;
}

// The user a server's URL names, or the one the client library takes.
QString url_user(const QUrl& url) {
    return url.userName().isEmpty() ? qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"))
                                    : url.userName();
}

// The register a location reaches, as rows waiting for it name it: a
// server by user, host, port and database ("postgresql://station@registar.
// example:5432/tessal"), its TLS and other parameters aside; the host as the
// client library takes it (no case, no closing dot); a file by its
// absolute path.
QString register_key(const QString& location) {
    if (!location.startsWith(QLatin1String("postgresql://")) &&
        !location.startsWith(QLatin1String("postgres://"))) {
        return QFileInfo(location).absoluteFilePath();
    }
    const QUrl url(location);
    QString host = url.host().toLower();
    while (host.endsWith(QLatin1Char('.'))) {
        host.chop(1);
    }
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(url_user(url), host)
        .arg(url.port(5432))
        .arg(url.path().mid(1));
}

// A libpq connection parameter's value, quoted as its connection text wants.
QString conninfo_value(const QString& value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

// One connection to a register.
struct Register::Db {
    Kind kind = Kind::sqlite;
    QString connection; // the Qt Sql connection's name, unique per register
    QString shown;      // the path, or the URL
    int busy_ms = kBusyTimeoutMs;
    int version = 0; // the schema's version as last read
    bool read_only = false;
    // A server's: how it is reached and who is asking.
    QUrl url;
    QString user;
    QString password_file;
    // The register as rows waiting for it name it: a server by its host,
    // port, database and user, whatever else its URL says; a file by its
    // absolute path.
    QString key;
    Trouble trouble = Trouble::none;
    ServerCut cut; // a server's exchanges, bounded

    Db() : connection(QStringLiteral("tessal-register-%1").arg(connections.fetch_add(1))) {}
    ~Db() { close(); }

    QSqlDatabase database() const { return QSqlDatabase::database(connection, false); }
    void close() {
        cut.detach();
        if (QSqlDatabase::contains(connection)) {
            QSqlDatabase::database(connection, false).close();
            QSqlDatabase::removeDatabase(connection);
        }
    }

    // Why the register could not be read or written (`doing`): another
    // station held it past the busy time-out, or the database's reason.
    QString failure(const QSqlError& error, const char* doing) {
        if (kind == Kind::postgresql && (cut.timed_out() || cut.is_cut_off())) {
            trouble = Trouble::unreachable;
            return cut.is_cut_off()
                       ? QStringLiteral("the register server %1 was not waited for: the program "
                                        "is ending")
                             .arg(server())
                       : QStringLiteral("the register server %1 did not answer within %2 s")
                             .arg(server())
                             .arg(Register::kServerDeadlineS);
        }
        trouble = Trouble::other;
        if (kind == Kind::sqlite && busy(error)) {
            return QStringLiteral(
                       "the register is in use by another station; gave up after %1 ms: %2")
                .arg(busy_ms)
                .arg(shown);
        }
        return QStringLiteral("the register cannot be %1: %2: %3")
            .arg(QLatin1String(doing), shown, why(error));
    }

    QString server() const {
        return url.host().isEmpty() ? QStringLiteral("(local socket)")
                                    : QStringLiteral("%1:%2").arg(url.host()).arg(url.port(5432));
    }

    // Runs `body` in a write transaction: on SQLite taken at once (BEGIN
    // IMMEDIATE), so that a register another station writes to is waited for
    // before anything is read; nothing half-done ever stays.
    template <class Body> bool write(Body body, QString& error) {
        const QSqlDatabase db = database();
        QSqlQuery q(db);
        const auto fail = [&](const QSqlError& e) {
            error = failure(e, "written");
            cut.disarm();
            return false;
        };
        if (!go_on() || !q.exec(kind == Kind::sqlite ? QStringLiteral("BEGIN IMMEDIATE")
                                                     : QStringLiteral("BEGIN"))) {
            return fail(q.lastError());
        }
        QSqlError failed;
        if (!body(q, failed) || !go_on() || !q.exec(QStringLiteral("COMMIT"))) {
            if (!failed.isValid()) {
                failed = q.lastError();
            }
            if (!cut.timed_out() && !cut.is_cut_off()) {
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            }
            return fail(failed);
        }
        cut.disarm();
        return true;
    }

    // The next exchange with a server may take up to the deadline; false
    // once the program no longer waits for the server.  A file's always true.
    bool go_on() { return kind != Kind::postgresql || cut.arm(kStatementDeadline); }

    bool connect_sqlite(const QString& path, bool readonly, QString& error);
    bool connect_server(QString& error);
    QString refusal(const QString& reason);
    bool read_version(QString& error);
    bool check_tables(QString& error);
    bool prepare_schema(QString& error);
    bool reread_version(QSqlQuery& q);
    bool run_schema_steps(QSqlQuery& q, QSqlError& failed);
    bool upgrade_schema(QSqlQuery& q, QSqlError& failed);
    // Connects to the server and brings its schema up to date.
    bool open_server(QString& error);
    // The same after the connection was lost, unless the program no longer
    // waits for the server.
    bool reopen_server(QString& error) {
        if (cut.is_cut_off()) {
            error = failure(QSqlError(), "written");
            return false;
        }
        return open_server(error);
    }
    // Adds the rows in one transaction; after a failure a server's
    // connection is made again for the next write.
    bool add_rows(const std::vector<Record>& rows, QString& error);
    // Of a local register: the oldest rows (up to 200) waiting for the
    // register `for_register` and not marked as sent, and the marks that
    // rows went.
    std::optional<std::vector<Record>> waiting_rows(const QStringList& for_register,
                                                    QString& error);
    bool mark_sent(const std::vector<Record>& rows, QString& error);
    bool insert(QSqlQuery& q, const std::vector<Record>& rows, QSqlError& failed,
                const QString& waiting_for = {});
    // Of a local register: the texts under which rows wait for the register
    // `key`, and for every other register, the rows not yet sent.
    std::vector<std::pair<QString, int>> waiting_counts();
    QStringList waiting_names(const QString& key);
};

namespace {

// The station's values of a row, bound in the columns' order.
std::vector<QVariant> values_of(const Record& r) {
    QString utc = r.utc;
    if (utc.isEmpty()) {
        utc = utc_text(QDateTime::fromString(r.time, Qt::ISODate));
    }
    return {text(r.time),
            text(r.port),
            null_if(r.speed == 0, r.speed),
            text(r.version),
            text(r.imei),
            text(r.sim_id),
            null_if(!r.signal, r.signal.value_or(0)),
            text(r.profile_file),
            text(r.profile_sha256),
            text(r.apply_result),
            r.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
            text(r.failed),
            text(r.trace_file),
            r.id.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : r.id,
            text(r.station),
            text(r.user),
            text(utc)};
}

Record record_of(const QSqlQuery& q) {
    Record r;
    r.time = q.value(0).toString();
    r.port = q.value(1).toString();
    r.speed = q.value(2).toInt();
    r.version = q.value(3).toString();
    r.imei = q.value(4).toString();
    r.sim_id = q.value(5).toString();
    if (!q.value(6).isNull()) {
        r.signal = q.value(6).toInt();
    }
    r.profile_file = q.value(7).toString();
    r.profile_sha256 = q.value(8).toString();
    r.apply_result = q.value(9).toString();
    r.pass = q.value(10).toString() == QLatin1String("PASS");
    r.failed = q.value(11).toString();
    r.trace_file = q.value(12).toString();
    r.id = q.value(13).toString();
    r.station = q.value(14).toString();
    r.user = q.value(15).toString();
    r.utc = q.value(16).toString();
    return r;
}

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

} // namespace

bool Register::Db::connect_sqlite(const QString& path, bool readonly, QString& error) {
    close();
    kind = Kind::sqlite;
    shown = path;
    key = register_key(path);
    read_only = readonly;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (!db.isValid()) {
        error = QStringLiteral("the SQLite driver of Qt Sql is missing");
        return false;
    }
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                             .arg(busy_ms)
                             .arg(readonly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!db.open()) {
        error =
            QStringLiteral("the register cannot be opened: %1: %2").arg(path, why(db.lastError()));
        return false;
    }
    return read_version(error);
}

bool Register::Db::connect_server(QString& error) {
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    if (!db.isValid()) {
        error = QStringLiteral("the PostgreSQL driver of Qt Sql is missing (on Debian the package "
                               "libqt6sql6-psql)");
        return false;
    }
    db.setHostName(url.host());
    db.setPort(url.port(5432));
    db.setDatabaseName(url.path().mid(1));
    db.setUserName(url.userName());
    if (!password_file.isEmpty()) {
        QFile file(password_file);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("the register's password file cannot be read: %1: %2")
                        .arg(password_file, file.errorString());
            return false;
        }
        QByteArray password = file.readLine();
        while (password.endsWith('\n') || password.endsWith('\r')) {
            password.chop(1);
        }
        db.setPassword(QString::fromUtf8(password));
    }
    // The server ends a statement that waits for a lock, or runs, too long.
    QStringList options{QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutS),
                        QStringLiteral("application_name=tessal"),
                        QStringLiteral("options=") +
                            conninfo_value(QStringLiteral("-c lock_timeout=%1 -c "
                                                          "statement_timeout=%2")
                                               .arg(kLockTimeoutMs)
                                               .arg(kStatementTimeoutMs))};
    // A server that stops answering mid-query is given up after some seconds.
    options << QStringLiteral("keepalives=1") << QStringLiteral("keepalives_idle=5")
            << QStringLiteral("keepalives_interval=2") << QStringLiteral("keepalives_count=2");
#ifndef Q_OS_WIN
    options << QStringLiteral("tcp_user_timeout=8000");
#endif
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        options << key + QLatin1Char('=') + conninfo_value(value);
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open()) {
        error = refusal(why(db.lastError()));
        return false;
    }
    cut.attach(db);
    const bool read = go_on() && read_version(error);
    cut.disarm();
    return read;
}

// Why a connection to the server failed, and what that means for the next
// try: the user or the connection refused (its words kept), or no answer.
QString Register::Db::refusal(const QString& reason) {
    for (const Refusal& r : kRefusals) {
        if (reason.contains(QLatin1String(r.words))) {
            trouble = Trouble::refused;
            // The library's own words begin after its "connection to server
            // ... failed: "; a TLS refusal is told by its cause alone.
            const QString cause =
                r.user ? reason : reason.section(QLatin1String("failed: "), -1).trimmed();
            return r.user ? QStringLiteral("the register server %1 refused user %2: %3")
                                .arg(server(), user, reason)
                          : QStringLiteral("the register server %1 refused the connection: %2")
                                .arg(server(), cause.section(QLatin1String("SSL error: "), -1));
        }
    }
    trouble = Trouble::unreachable;
    return QStringLiteral("the register server %1 does not answer: %2").arg(server(), reason);
}

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
    const std::size_t count = version >= 2 ? std::size(kColumns) : kVersion1Columns;
    if (!q.exec(QStringLiteral("SELECT %1 FROM devices WHERE 1 = 0").arg(column_list(count)))) {
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
            if (!fill_version_2(q, failed, !sqlite)) {
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

bool Register::Db::open_server(QString& error) {
    return connect_server(error) && prepare_schema(error);
}

bool Register::Db::add_rows(const std::vector<Record>& rows, QString& error) {
    const bool added =
        write([&](QSqlQuery& q, QSqlError& failed) { return insert(q, rows, failed); }, error);
    if (!added && kind == Kind::postgresql) {
        close(); // made again for the next row: the server may have gone
    }
    return added;
}

std::optional<std::vector<Record>> Register::Db::waiting_rows(const QStringList& for_register,
                                                              QString& error) {
    if (for_register.isEmpty()) {
        return std::vector<Record>{};
    }
    QSqlQuery q(database());
    QStringList marks;
    for (qsizetype i = 0; i < for_register.size(); ++i) {
        marks << QStringLiteral("?");
    }
    q.prepare(QStringLiteral("SELECT %1 FROM devices WHERE uuid IN (SELECT uuid FROM "
                             "waiting WHERE register IN (%2) AND uuid NOT IN (SELECT uuid "
                             "FROM sent)) ORDER BY utc, id LIMIT 200")
                  .arg(column_list(), marks.join(QStringLiteral(", "))));
    for (const QString& name : for_register) {
        q.addBindValue(name);
    }
    if (!q.exec()) {
        error = failure(q.lastError(), "read");
        return std::nullopt;
    }
    std::vector<Record> rows;
    while (q.next()) {
        rows.push_back(record_of(q));
    }
    return rows;
}

std::vector<std::pair<QString, int>> Register::Db::waiting_counts() {
    std::vector<std::pair<QString, int>> counts;
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("SELECT register, count(*) FROM waiting WHERE uuid NOT IN "
                              "(SELECT uuid FROM sent) GROUP BY register"))) {
        while (q.next()) {
            counts.emplace_back(q.value(0).toString(), q.value(1).toInt());
        }
    }
    return counts;
}

QStringList Register::Db::waiting_names(const QString& key) {
    QStringList names;
    for (const auto& [name, rows] : waiting_counts()) {
        if (register_key(name) == key) {
            names << name;
        }
    }
    return names;
}

bool Register::Db::mark_sent(const std::vector<Record>& rows, QString& error) {
    return write(
        [&](QSqlQuery& w, QSqlError& e) {
            w.prepare(QStringLiteral("INSERT OR IGNORE INTO sent (uuid) VALUES (?)"));
            for (const Record& r : rows) {
                w.addBindValue(r.id);
                if (!w.exec()) {
                    e = w.lastError();
                    return false;
                }
            }
            return true;
        },
        error);
}

bool Register::Db::insert(QSqlQuery& q, const std::vector<Record>& rows, QSqlError& failed,
                          const QString& waiting_for) {
    QString marks;
    for (const char* column : kColumns) {
        marks += (marks.isEmpty() ? ":" : ", :") + QLatin1String(column);
    }
    // A row already there (sent before its mark was kept) is not added again.
    if (!q.prepare(QStringLiteral("INSERT INTO devices (%1) VALUES (%2) "
                                  "ON CONFLICT (uuid) DO NOTHING")
                       .arg(column_list(), marks))) {
        failed = q.lastError();
        return false;
    }
    for (const Record& r : rows) {
        if (!go_on()) {
            return false;
        }
        const std::vector<QVariant> values = values_of(r);
        for (std::size_t i = 0; i < std::size(kColumns); ++i) {
            q.bindValue(QLatin1Char(':') + QLatin1String(kColumns[i]), values[i]);
        }
        if (!q.exec()) {
            failed = q.lastError();
            return false;
        }
    }
    if (waiting_for.isEmpty()) {
        return true;
    }
    QSqlQuery mark(database());
    mark.prepare(QStringLiteral("INSERT OR IGNORE INTO waiting (uuid, register) VALUES (?, ?)"));
    for (const Record& r : rows) {
        mark.addBindValue(r.id);
        mark.addBindValue(waiting_for);
        if (!mark.exec()) {
            failed = mark.lastError();
            return false;
        }
    }
    return true;
}

QString local_time_text(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString utc_text(const QDateTime& when) {
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

void stamp(Record& r, const QString& station) {
    const QDateTime now = QDateTime::currentDateTime();
    r.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.station = station.isEmpty() ? QSysInfo::machineHostName() : station;
    r.user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    r.time = local_time_text(now);
    r.utc = utc_text(now);
}

bool is_server_url(const QString& location) {
    return location.startsWith(QLatin1String("postgresql://")) ||
           location.startsWith(QLatin1String("postgres://"));
}

void load_drivers(const Place& place) {
    QStringList drivers{QStringLiteral("QSQLITE")};
    if (is_server_url(place.location)) {
        drivers << QStringLiteral("QPSQL");
    }
    const QString connection = QStringLiteral("tessal-load-drivers");
    for (const QString& driver : drivers) {
        QSqlDatabase::addDatabase(driver, connection);
        QSqlDatabase::removeDatabase(connection);
    }
}

Place configured() {
    QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessal"),
                   QStringLiteral("register"));
    Place place;
    place.location = file.value(QStringLiteral("location")).toString();
    place.password_file = file.value(QStringLiteral("password_file")).toString();
    place.local = file.value(QStringLiteral("local")).toString();
    place.station = file.value(QStringLiteral("station")).toString();
    if (place.location.isEmpty()) {
        place.location = Register::default_path();
    }
    return place;
}

Register::Register() : db_(std::make_unique<Db>()) {}

Register::~Register() = default;

QString Register::default_path() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/register.sqlite");
}

const QString& Register::path() const {
    return db_->shown;
}

bool Register::on_server() const {
    return db_->kind == Kind::postgresql;
}

QString Register::traces_folder() const {
    if (on_server()) {
        return local_ ? local_->traces_folder()
                      : QFileInfo(default_path()).absoluteDir().filePath(QStringLiteral("traces"));
    }
    return QFileInfo(db_->shown).absoluteDir().filePath(QStringLiteral("traces"));
}

namespace {

// A server's URL taken apart; false, with the reason, for one that holds a
// password or is not understood.
bool server_of(const QString& location, Register::Db& db, QString& error) {
    const QUrl url(location, QUrl::StrictMode);
    if (!url.isValid() || url.path().size() < 2) {
        error = QStringLiteral("the register's URL is not understood (postgresql://USER@HOST:PORT/"
                               "DATABASE): %1")
                    .arg(url.isValid() ? url.toString(QUrl::RemovePassword) : QString());
        return false;
    }
    if (!url.password().isEmpty() || location.section(QLatin1Char('@'), 0, 0).count(':') > 1) {
        error = QStringLiteral(
            "the register's URL must not hold a password; put it in the password file "
            "(PGPASSFILE, ~/.pgpass, %APPDATA%\\postgresql\\pgpass.conf) or give --password-file");
        return false;
    }
    static const QStringList allowed{QStringLiteral("sslmode"),
                                     QStringLiteral("sslrootcert"),
                                     QStringLiteral("sslcert"),
                                     QStringLiteral("sslkey"),
                                     QStringLiteral("sslcrl"),
                                     QStringLiteral("application_name"),
                                     QStringLiteral("target_session_attrs")};
    for (const auto& [key, value] : QUrlQuery(url).queryItems()) {
        if (!allowed.contains(key)) {
            error =
                QStringLiteral("the register's URL has a parameter that is not used: %1").arg(key);
            return false;
        }
    }
    db.kind = Kind::postgresql;
    db.url = url;
    db.shown = url.toString(QUrl::RemovePassword);
    db.user = url_user(url);
    db.key = register_key(location);
    return true;
}

} // namespace

bool Register::open(const QString& location, QString& error, int busy_timeout_ms) {
    db_->busy_ms = busy_timeout_ms;
    if (is_server_url(location)) {
        return server_of(location, *db_, error) && db_->connect_server(error) &&
               db_->prepare_schema(error);
    }
    const QFileInfo file(location);
    if (!QDir().mkpath(file.absolutePath())) {
        error = QStringLiteral("the register's folder cannot be made: %1").arg(file.absolutePath());
        return false;
    }
    return db_->connect_sqlite(location, false, error) && db_->prepare_schema(error);
}

bool Register::open(const Place& place, QString& error, int busy_timeout_ms) {
    db_->password_file = place.password_file;
    if (!open(place.location, error, busy_timeout_ms)) {
        // A server out of reach, or one that refuses the station, is no
        // reason to stop: rows wait locally, and it is asked again later.
        if (db_->kind != Kind::postgresql ||
            !(db_->trouble == Trouble::refused || db_->trouble == Trouble::unreachable)) {
            return false;
        }
        back_off(error);
    }
    place_ = place;
    // A server's station needs its local register from the start; a
    // SQLite register's only once the register fails to take a row, or
    // when rows wait in it from before.
    if (on_server() || QFileInfo::exists(local_path(place))) {
        return open_local(place, error);
    }
    return true;
}

QString Register::local_path(const Place& place) const {
    QString local = place.local.isEmpty() ? default_path() : place.local;
    if (!on_server() &&
        QFileInfo(local).absoluteFilePath() == QFileInfo(path()).absoluteFilePath()) {
        local = QFileInfo(local).absoluteDir().filePath(QStringLiteral("waiting.sqlite"));
    }
    return local;
}

bool Register::open_local(const Place& place, QString& error) {
    const QString local = local_path(place);
    local_ = std::make_unique<Register>();
    if (!local_->open(local, error)) {
        local_.reset();
        return false;
    }
    return true;
}

bool Register::open_for_reading(const QString& location, QString& error, int busy_timeout_ms) {
    db_->busy_ms = busy_timeout_ms;
    if (is_server_url(location)) {
        return server_of(location, *db_, error) && db_->connect_server(error);
    }
    if (!QFileInfo(location).isFile()) {
        error = QStringLiteral("there is no register at %1").arg(location);
        return false;
    }
    if (db_->connect_sqlite(location, true, error)) {
        return true;
    }
    // A journal left behind by a station killed mid-write is rolled back
    // by the first reader that may write the file; read-only, SQLite refuses.
    QString again;
    if (QFileInfo(location).isWritable() && db_->connect_sqlite(location, false, again)) {
        db_->read_only = true;
        return true;
    }
    return false;
}

bool Register::open_for_reading(const Place& place, QString& error, int busy_timeout_ms) {
    db_->password_file = place.password_file;
    return open_for_reading(place.location, error, busy_timeout_ms);
}

bool Register::add(const Record& r, QString& error) {
    if (!db_->database().isOpen()) {
        if (db_->kind != Kind::postgresql || !db_->reopen_server(error)) {
            if (error.isEmpty()) {
                error = QStringLiteral("the register is not open: %1").arg(path());
            }
            return false;
        }
    }
    return db_->add_rows({r}, error);
}

int Register::waiting() const {
    int count = static_cast<int>(held_.size());
    if (!local_ || !local_->db_->database().isOpen()) {
        return count;
    }
    for (const auto& [name, rows] : local_->db_->waiting_counts()) {
        if (register_key(name) == db_->key) {
            count += rows;
        }
    }
    return count;
}

std::vector<Elsewhere> Register::waiting_elsewhere() const {
    std::vector<Elsewhere> others;
    if (!local_ || !local_->db_->database().isOpen()) {
        return others;
    }
    for (const auto& [name, rows] : local_->db_->waiting_counts()) {
        const QString key = register_key(name);
        if (key == db_->key) {
            continue;
        }
        const auto same = std::find_if(others.begin(), others.end(),
                                       [&key](const Elsewhere& e) { return e.target == key; });
        if (same != others.end()) {
            same->rows += rows;
        } else {
            others.push_back({key, rows, local_->path()});
        }
    }
    return others;
}

std::optional<int> Register::send_waiting(QString& error, bool now) {
    if (!now && SteadyClock::now() < next_try_) {
        error = last_failure_;
        return std::nullopt;
    }
    int sent = 0;
    // Rows only in memory first: they are the oldest.
    while (!held_.empty()) {
        if (!add(held_.front(), error)) {
            back_off(error);
            return std::nullopt;
        }
        held_.erase(held_.begin());
        ++sent;
    }
    if (local_ && !send_locally_waiting(error, sent)) {
        back_off(error);
        return std::nullopt;
    }
    next_try_ = {};
    last_failure_.clear();
    return sent;
}

bool Register::send_locally_waiting(QString& error, int& sent) {
    for (;;) {
        const std::optional<std::vector<Record>> rows =
            local_->db_->waiting_rows(local_->db_->waiting_names(db_->key), error);
        if (!rows) {
            return false;
        }
        if (rows->empty()) {
            return true;
        }
        if (!db_->database().isOpen() && db_->kind == Kind::postgresql &&
            !db_->reopen_server(error)) {
            return false;
        }
        // The marks that they went; were these lost, the rows would be sent
        // again and not taken twice.
        if (!db_->add_rows(*rows, error) || !local_->db_->mark_sent(*rows, error)) {
            return false;
        }
        sent += static_cast<int>(rows->size());
    }
}

bool Register::keep_locally(const Record& r, QString& error) {
    return local_->db_->write(
        [&](QSqlQuery& q, QSqlError& e) { return local_->db_->insert(q, {r}, e, db_->key); },
        error);
}

void Register::back_off(const QString& error) {
    last_failure_ = error;
    // A server that refuses the station's user or its connection is asked
    // again after a minute, not in a tight loop; one out of reach, or a
    // busy file, after a few seconds.
    next_try_ = SteadyClock::now() + (db_->trouble == Trouble::refused ? seconds(60) : seconds(5));
}

void Register::cut_off() {
    db_->cut.cut_off();
}

Kept Register::record(const Record& r) {
    Kept kept;
    QString error;
    QString local_error;
    // A server's row is kept locally before the server is asked: whatever
    // becomes of the exchange, or of the program during it, the row stays.
    if (on_server() && local_ && keep_locally(r, local_error)) {
        // Sent with every row waiting before it (another station of this
        // machine may have sent it meanwhile: it is not taken twice).
        if (send_waiting(error, false)) {
            return kept;
        }
        kept.why = error;
        kept.where = Kept::Where::waiting;
        kept.waiting = waiting();
        return kept;
    }
    const bool reachable = send_waiting(error, false).has_value();
    if (reachable) {
        if (add(r, error)) {
            return kept;
        }
        back_off(error);
    }
    kept.why = error;
    if (!local_ && place_) {
        open_local(*place_, local_error);
    }
    if (local_ && keep_locally(r, local_error)) {
        kept.where = Kept::Where::waiting;
    } else {
        held_.push_back(r);
        kept.where = Kept::Where::unrecorded;
        if (!local_error.isEmpty()) {
            kept.why += QStringLiteral("; ") + local_error;
        }
    }
    kept.waiting = waiting();
    return kept;
}

std::optional<std::vector<Record>> Register::list(const QDate& since, QString& error) const {
    std::vector<Record> records;
    if (db_->version == 0) {
        return records; // an empty file: no table yet
    }
    QSqlQuery q(db_->database());
    // A register of version 1 read as it is: its rows have no id, station,
    // user or instant yet.
    const bool old = db_->version < 2;
    q.prepare(QStringLiteral("SELECT %1 FROM devices %2 ORDER BY %3")
                  .arg(old ? column_list(kVersion1Columns) + QStringLiteral(", '', '', '', ''")
                           : column_list(),
                       since.isValid() ? QStringLiteral("WHERE time >= :since") : QString(),
                       old ? QStringLiteral("id") : QStringLiteral("utc, uuid")));
    if (since.isValid()) {
        q.bindValue(QStringLiteral(":since"), since.toString(Qt::ISODate));
    }
    // Row by row: a long register is read for as long as rows come, and a
    // server that stops giving them is cut within the deadline.
    q.setForwardOnly(true);
    if (!db_->go_on() ||
        (on_server() &&
         !QSqlQuery(db_->database()).exec(QStringLiteral("SET statement_timeout = 0"))) ||
        !db_->go_on() || !q.exec()) {
        error = db_->failure(q.lastError(), "read");
        db_->cut.disarm();
        return std::nullopt;
    }
    while (db_->go_on() && q.next()) {
        records.push_back(record_of(q));
    }
    db_->cut.disarm();
    if (q.lastError().isValid() ||
        (on_server() && (db_->cut.timed_out() || db_->cut.is_cut_off()))) {
        error = db_->failure(q.lastError(), "read");
        return std::nullopt;
    }
    return records;
}

std::optional<std::size_t> Register::export_csv(const QString& file, QString& error) const {
    const std::optional<std::vector<Record>> records = list({}, error);
    if (!records) {
        return std::nullopt;
    }
    // Written whole or not at all: a short write (a full disk) is a failure,
    // and the last good export stays in place.
    const QByteArray text = csv_text(*records);
    std::string problem;
    if (!settings::replace_file(
            std::filesystem::path(file.toStdU16String()),
            std::string_view(text.constData(), static_cast<std::size_t>(text.size())), problem)) {
        error = QStringLiteral("the CSV file cannot be written: %1: %2")
                    .arg(file, QString::fromStdString(problem));
        return std::nullopt;
    }
    return records->size();
}

QByteArray csv_text(const std::vector<Record>& records) {
    QByteArray text = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        text += (i > 0 ? "," : "") + QByteArray(kFields[i]);
    }
    text += "\r\n";
    for (const Record& r : records) {
        const QByteArray fields[] = {csv_field(r.time),
                                     csv_field(r.port),
                                     r.speed == 0 ? QByteArray() : QByteArray::number(r.speed),
                                     csv_field(r.version),
                                     csv_field(r.imei),
                                     csv_field(r.sim_id),
                                     r.signal ? QByteArray::number(*r.signal) : QByteArray(),
                                     csv_field(r.profile_file),
                                     csv_field(r.profile_sha256),
                                     csv_field(r.apply_result),
                                     r.pass ? "\"PASS\"" : "\"FAIL\"",
                                     csv_field(r.failed),
                                     csv_field(r.trace_file),
                                     csv_field(r.id),
                                     csv_field(r.station),
                                     csv_field(r.user),
                                     csv_field(r.utc)};
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            text += (i > 0 ? "," : "") + fields[i];
        }
        text += "\r\n";
    }
    return text;
}

QJsonObject record_json(const Record& r) {
    QJsonObject o;
    o["time"] = r.time;
    o["port"] = r.port;
    o["speed"] = r.speed == 0 ? QJsonValue() : QJsonValue(r.speed);
    o["version"] = r.version;
    o["imei"] = r.imei;
    o["sim_id"] = r.sim_id;
    o["signal"] = r.signal ? QJsonValue(*r.signal) : QJsonValue();
    o["profile_file"] = r.profile_file;
    o["profile_sha256"] = r.profile_sha256;
    const QJsonDocument applied = QJsonDocument::fromJson(r.apply_result.toUtf8());
    o["apply_result"] =
        applied.isArray() ? QJsonValue(applied.array()) : QJsonValue(r.apply_result);
    o["result"] = r.pass ? "PASS" : "FAIL";
    o["failed"] = r.failed;
    o["trace_file"] = r.trace_file;
    o["id"] = r.id;
    o["station"] = r.station;
    o["user"] = r.user;
    o["utc"] = r.utc;
    return o;
}

} // namespace tessal::reg
