// SPDX-License-Identifier: Apache-2.0
#include "columns.h"
#include "db.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tessal::reg {

Register::Register() : db_(std::make_unique<Db>()) {}

Register::~Register() = default;

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

bool Register::add(const Row& r, QString& error) {
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

std::optional<int> Register::entry_of(const QString& intervention, QString& error) const {
    if (db_->version < 4) {
        return std::nullopt;
    }
    QSqlQuery q(db_->database());
    q.prepare(QStringLiteral("SELECT entry FROM interventions WHERE uuid = ?"));
    q.addBindValue(intervention);
    if (!db_->go_on() || !q.exec()) {
        error = db_->failure(q.lastError(), "read");
        db_->cut.disarm();
        return std::nullopt;
    }
    db_->cut.disarm();
    if (!q.next() || q.value(0).isNull()) {
        return std::nullopt;
    }
    return q.value(0).toInt();
}

} // namespace tessal::reg
