// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "register.h"
#include "server_cut.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The register's own: nothing outside register/ includes this.  One
// connection to a register, a SQLite file or a PostgreSQL server, and the
// statements it runs.
namespace tessal::reg {

enum class Kind { sqlite, postgresql };

// How a register server failed, as far as the next try is concerned.
enum class Trouble {
    none,
    refused,     // it answered and refused the user or the connection: asked again after a minute
    unreachable, // it did not answer, or not in time: asked again after a few seconds
    other,       // it answered with a failure of the statement
};

// The longest a register server is waited for in one exchange, whatever it
// does; and the server's own limits inside it, for a statement that waits
// for a lock and for one that runs.
constexpr std::chrono::seconds kStatementDeadline{Register::kServerDeadlineS};
constexpr int kLockTimeoutMs = 3000;
constexpr int kStatementTimeoutMs = 4000;

// SQLite's "database is locked" and "database table is locked".
bool busy(const QSqlError& error);
// The database's own words on one line, or Qt's when it gave none.
QString why(const QSqlError& error);
// The user a server's URL names, or the one the client library takes.
QString url_user(const QUrl& url);
// The register a location reaches, as rows waiting for it name it: a
// server by user, host, port and database ("postgresql://station@registar.
// example:5432/tessal"), its TLS and other parameters aside; the host as the
// client library takes it (no case, no closing dot); a file by its
// absolute path.
QString register_key(const QString& location);
// A server's URL taken apart into `db`; false, with the reason, for one
// that holds a password or is not understood.
bool server_of(const QString& location, Register::Db& db, QString& error);
// A row read by a query that selected the columns of schema `version`,
// from its column `from` on.
Record row_of(const QSqlQuery& q, int version);
template <class T> T row_of(const QSqlQuery& q, int version, int from = 0);

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

    Db();
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
        // A server that ended the statement for its time-outs (a table held
        // by its owner, a lock) is as good as out of reach for now.
        const QString code = error.nativeErrorCode();
        trouble = kind == Kind::postgresql &&
                          (code == QLatin1String("55P03") || code == QLatin1String("57014"))
                      ? Trouble::unreachable
                      : Trouble::other;
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

    // Runs the prepared query and reads its rows one at a time as they
    // come, calling `row` for each: a long result is held in memory a row
    // at a time, a server's is given no time limit of its own, and a
    // server that stops giving rows is cut within the deadline.
    bool stream(QSqlQuery& q, const std::function<void()>& row, QString& error);

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
    bool add_rows(const std::vector<Row>& rows, QString& error);
    // Of a local register: the oldest rows (up to 200) waiting for the
    // register `for_register` and not marked as sent, and the marks that
    // rows went.
    std::optional<std::vector<Row>> waiting_rows(const QStringList& for_register, QString& error);
    bool mark_sent(const std::vector<Row>& rows, QString& error);
    // Adds the rows; with `waiting_for`, marked as waiting for that
    // register (and no entry numbered: that register numbers it).
    bool insert(QSqlQuery& q, const std::vector<Row>& rows, QSqlError& failed,
                const QString& waiting_for = {});
    // Of a local register: the texts under which rows wait for the register
    // `key`, and for every other register, the rows not yet sent.
    // With `table`, only its rows.
    std::vector<std::pair<QString, int>> waiting_counts(const char* table = nullptr);
    QStringList waiting_names(const QString& key);
};

} // namespace tessal::reg
