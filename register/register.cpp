// SPDX-License-Identifier: Apache-2.0
#include "register.h"

#include "settings/text_file.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>
#include <filesystem>
#include <string_view>

namespace tessal::reg {

namespace {

// The columns in their order: the table's, the CSV file's and the JSON
// object's.
constexpr const char* kColumns[] = {
    "time",         "port",           "speed",        "version", "imei",   "sim_id",    "signal",
    "profile_file", "profile_sha256", "apply_result", "result",  "failed", "trace_file"};

// Version 1: the devices done.  A later version adds its steps after this
// one's, each run once on a register that has not had it yet.
constexpr const char* kSchemaSteps[] = {
    "CREATE TABLE devices ("
    " id INTEGER PRIMARY KEY,"
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
    "CREATE INDEX devices_by_time ON devices (time)",
};
constexpr int kStepsOfVersion[] = {0, 2}; // steps done once a version is reached

std::atomic<int> connections{0};

// SQLite's "database is locked" and "database table is locked".
bool busy(const QSqlError& error) {
    return error.nativeErrorCode() == QLatin1String("5") ||
           error.nativeErrorCode() == QLatin1String("6");
}

// SQLite's own words, or Qt's when SQLite gave none.
QString why(const QSqlError& error) {
    return !error.databaseText().isEmpty() ? error.databaseText() : error.text();
}

// Why the register could not be read or written (`doing`): another station
// held it past the busy time-out, or SQLite's reason.
QString failure(const QSqlError& error, const char* doing, const QString& path, int busy_ms) {
    if (busy(error)) {
        return QStringLiteral("the register is in use by another station; gave up after %1 ms: %2")
            .arg(busy_ms)
            .arg(path);
    }
    return QStringLiteral("the register cannot be %1: %2: %3")
        .arg(QLatin1String(doing), path, why(error));
}

// Runs `body` in a write transaction taken at once (BEGIN IMMEDIATE), so
// that a register another station writes to is waited for before anything
// is read, and nothing half-done ever stays.
template <class Body>
bool write_transaction(const QSqlDatabase& db, const QString& path, int busy_ms, Body body,
                       QString& error) {
    QSqlQuery q(db);
    const auto fail = [&](const QSqlError& e) {
        error = failure(e, "written", path, busy_ms);
        return false;
    };
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        return fail(q.lastError());
    }
    QSqlError failed;
    if (!body(q, failed) || !q.exec(QStringLiteral("COMMIT"))) {
        if (!failed.isValid()) {
            failed = q.lastError();
        }
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return fail(failed);
    }
    return true;
}

QVariant null_if(bool none, const QVariant& value) {
    return none ? QVariant() : value;
}

// Text columns hold empty text, never NULL (which the driver makes of a null
// QString).
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(value);
}

QByteArray csv_field(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

} // namespace

Register::Register()
    : connection_(QStringLiteral("tessal-register-%1").arg(connections.fetch_add(1))) {}

Register::~Register() {
    disconnect();
}

QString Register::default_path() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/register.sqlite");
}

QString Register::traces_folder() const {
    return QFileInfo(path_).absoluteDir().filePath(QStringLiteral("traces"));
}

void Register::disconnect() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool Register::connect(const QString& path, bool read_only, int busy_timeout_ms, QString& error) {
    disconnect();
    path_ = path;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) {
        error = QStringLiteral("the SQLite driver of Qt Sql is missing");
        return false;
    }
    db.setDatabaseName(path);
    db.setConnectOptions(
        QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
            .arg(busy_timeout_ms)
            .arg(read_only ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    busy_ms_ = busy_timeout_ms;
    if (!db.open()) {
        error =
            QStringLiteral("the register cannot be opened: %1: %2").arg(path, why(db.lastError()));
        return false;
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        error = failure(q.lastError(), "read", path, busy_timeout_ms);
        return false;
    }
    version_ = q.value(0).toInt();
    if (version_ > kSchemaVersion) {
        error = QStringLiteral("the register was made by a newer program (schema %1): %2")
                    .arg(version_)
                    .arg(path);
        return false;
    }
    return true;
}

bool Register::open(const QString& path, QString& error, int busy_timeout_ms) {
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath())) {
        error = QStringLiteral("the register's folder cannot be made: %1").arg(file.absolutePath());
        return false;
    }
    return connect(path, false, busy_timeout_ms, error) && prepare_schema(error);
}

bool Register::open_for_reading(const QString& path, QString& error, int busy_timeout_ms) {
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("there is no register at %1").arg(path);
        return false;
    }
    return connect(path, true, busy_timeout_ms, error);
}

bool Register::prepare_schema(QString& error) {
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // The version is read again inside the transaction: another station may
    // have brought the schema up to date meanwhile.  Setting it even when it
    // is current proves the register can be written before the first device.
    return write_transaction(
        db, path_, busy_ms_,
        [this](QSqlQuery& q, QSqlError& failed) {
            if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
                return false;
            }
            version_ = q.value(0).toInt();
            q.finish();
            for (int step = kStepsOfVersion[std::min(version_, kSchemaVersion)];
                 step < kStepsOfVersion[kSchemaVersion]; ++step) {
                if (!q.exec(QString::fromLatin1(kSchemaSteps[step]))) {
                    failed = q.lastError();
                    return false;
                }
            }
            version_ = kSchemaVersion;
            return q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
        },
        error);
}

bool Register::add(const Record& r, QString& error) {
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    return write_transaction(
        db, path_, busy_ms_,
        [&r](QSqlQuery& q, QSqlError&) {
            QString names;
            QString marks;
            for (const char* column : kColumns) {
                names += (names.isEmpty() ? "" : ", ") + QLatin1String(column);
                marks += (marks.isEmpty() ? ":" : ", :") + QLatin1String(column);
            }
            q.prepare(QStringLiteral("INSERT INTO devices (%1) VALUES (%2)").arg(names, marks));
            const QVariant values[] = {text(r.time),
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
                                       text(r.trace_file)};
            for (std::size_t i = 0; i < std::size(kColumns); ++i) {
                q.bindValue(QLatin1Char(':') + QLatin1String(kColumns[i]), values[i]);
            }
            return q.exec();
        },
        error);
}

std::optional<std::vector<Record>> Register::list(const QDate& since, QString& error) const {
    std::vector<Record> records;
    if (version_ == 0) {
        return records; // an empty file: no table yet
    }
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    QString names;
    for (const char* column : kColumns) {
        names += (names.isEmpty() ? "" : ", ") + QLatin1String(column);
    }
    q.prepare(
        QStringLiteral("SELECT %1 FROM devices %2 ORDER BY id")
            .arg(names, since.isValid() ? QStringLiteral("WHERE time >= :since") : QString()));
    if (since.isValid()) {
        q.bindValue(QStringLiteral(":since"), since.toString(Qt::ISODate));
    }
    if (!q.exec()) {
        error = failure(q.lastError(), "read", path_, busy_ms_);
        return std::nullopt;
    }
    while (q.next()) {
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
        records.push_back(std::move(r));
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
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        text += (i > 0 ? "," : "") + QByteArray(kColumns[i]);
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
                                     csv_field(r.trace_file)};
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
    return o;
}

} // namespace tessal::reg
