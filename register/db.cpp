// SPDX-License-Identifier: Apache-2.0
// The connection to a register and the statements it runs: connecting to a
// file or a server, the write transaction, adding rows and the rows that
// wait in a local register.
#include "db.h"
#include "columns.h"

#include <QFile>
#include <QFileInfo>
#include <QUrlQuery>

#include <atomic>

namespace tessal::reg {

namespace {

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

std::atomic<int> connections{0};

// A libpq connection parameter's value, quoted as its connection text wants.
QString conninfo_value(const QString& value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

// SQLite's "database is locked" and "database table is locked".
bool busy(const QSqlError& error) {
    return error.nativeErrorCode() == QLatin1String("5") ||
           error.nativeErrorCode() == QLatin1String("6");
}

// The database's own words on one line, or Qt's when it gave none.
QString why(const QSqlError& error) {
    return (!error.databaseText().isEmpty() ? error.databaseText() : error.text()).simplified();
}

// The user a server's URL names, or the one the client library takes.
QString url_user(const QUrl& url) {
    return url.userName().isEmpty() ? os_user() : url.userName();
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

Record row_of(const QSqlQuery& q, int version) {
    return row_of<Record>(q, version);
}

template <class T> T row_of(const QSqlQuery& q, int version, int from) {
    T r;
    int at = from;
    for (const ColumnOf<T>& c : table_of<T>().columns) {
        if (c.since <= version) {
            read_into(c, q.value(at++), r);
        }
    }
    if constexpr (chained<T>) {
        if (version >= table_of<Link>().since) {
            for (const ColumnOf<Link>& c : table_of<Link>().columns) {
                read_into(c, q.value(at++), r.link);
            }
        }
    }
    return r;
}
template Intervention row_of<Intervention>(const QSqlQuery&, int, int);
template Checkpoint row_of<Checkpoint>(const QSqlQuery&, int, int);
template Change row_of<Change>(const QSqlQuery&, int, int);
template InterventionEnd row_of<InterventionEnd>(const QSqlQuery&, int, int);

Register::Db::Db()
    : connection(QStringLiteral("tessal-register-%1").arg(connections.fetch_add(1))) {}

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

bool Register::Db::open_server(QString& error) {
    return connect_server(error) && prepare_schema(error);
}

bool Register::Db::add_rows(const std::vector<Row>& rows, QString& error) {
    const bool added =
        write([&](QSqlQuery& q, QSqlError& failed) { return insert(q, rows, failed); }, error);
    if (!added && kind == Kind::postgresql) {
        close(); // made again for the next row: the server may have gone
    }
    return added;
}

namespace {

// A row of the table `book` read by its id, or nothing.
template <class T> std::optional<Row> read_row(QSqlQuery& q, const QString& id, int version) {
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE uuid = ?")
                  .arg(column_list<T>(version), QLatin1String(table_of<T>().name)));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) {
        return std::nullopt;
    }
    return Row(row_of<T>(q, version));
}

std::optional<Row> read_row(QSqlQuery& q, const QString& book, const QString& id, int version) {
    if (book == QLatin1String(table_of<Intervention>().name)) {
        return read_row<Intervention>(q, id, version);
    }
    if (book == QLatin1String(table_of<Change>().name)) {
        return read_row<Change>(q, id, version);
    }
    if (book == QLatin1String(table_of<InterventionEnd>().name)) {
        return read_row<InterventionEnd>(q, id, version);
    }
    if (book == QLatin1String(table_of<Checkpoint>().name)) {
        return read_row<Checkpoint>(q, id, version);
    }
    return read_row<Record>(q, id, version);
}

} // namespace

std::optional<std::vector<Row>> Register::Db::waiting_rows(const QStringList& for_register,
                                                           QString& error) {
    if (for_register.isEmpty()) {
        return std::vector<Row>{};
    }
    QSqlQuery q(database());
    QStringList marks;
    for (qsizetype i = 0; i < for_register.size(); ++i) {
        marks << QStringLiteral("?");
    }
    // In the order they were kept, whatever their table.
    q.prepare(QStringLiteral("SELECT uuid, book FROM waiting WHERE register IN (%1) AND uuid NOT "
                             "IN (SELECT uuid FROM sent) ORDER BY rowid LIMIT 200")
                  .arg(marks.join(QStringLiteral(", "))));
    for (const QString& name : for_register) {
        q.addBindValue(name);
    }
    if (!q.exec()) {
        error = failure(q.lastError(), "read");
        return std::nullopt;
    }
    std::vector<std::pair<QString, QString>> kept;
    while (q.next()) {
        kept.emplace_back(q.value(0).toString(), q.value(1).toString());
    }
    std::vector<Row> rows;
    for (const auto& [id, book] : kept) {
        std::optional<Row> row = read_row(q, book, id, version);
        if (!row) {
            error = failure(q.lastError(), "read");
            return std::nullopt;
        }
        rows.push_back(std::move(*row));
    }
    return rows;
}

std::vector<std::pair<QString, int>> Register::Db::waiting_counts(const char* table) {
    std::vector<std::pair<QString, int>> counts;
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT register, count(*) FROM waiting WHERE uuid NOT IN "
                             "(SELECT uuid FROM sent) %1 GROUP BY register")
                  .arg(table ? QStringLiteral("AND book = ?") : QString()));
    if (table) {
        q.addBindValue(QLatin1String(table));
    }
    if (q.exec()) {
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

bool Register::Db::mark_sent(const std::vector<Row>& rows, QString& error) {
    return write(
        [&](QSqlQuery& w, QSqlError& e) {
            w.prepare(QStringLiteral("INSERT OR IGNORE INTO sent (uuid) VALUES (?)"));
            for (const Row& r : rows) {
                w.addBindValue(id_of(r));
                if (!w.exec()) {
                    e = w.lastError();
                    return false;
                }
            }
            return true;
        },
        error);
}

namespace {

// Adds one row of its table; a row already there (sent before its mark was
// kept) is not added again.  An entry opened in the register that keeps
// the book gets its device's next number: the device's entries are numbered
// one writer at a time (a file's writers by its lock, a server's by a lock
// per device), so no number is given twice and none is left out.
template <class T>
bool insert_row(QSqlQuery& q, const T& r, bool numbered, Kind kind, QSqlError& failed) {
    QString marks;
    for (const ColumnOf<T>& c : table_of<T>().columns) {
        marks += (marks.isEmpty() ? ":" : ", :") + QLatin1String(c.sql);
    }
    if constexpr (chained<T>) {
        for (const ColumnOf<Link>& c : table_of<Link>().columns) {
            marks += QStringLiteral(", :link_") + QLatin1String(c.sql);
        }
    }
    QString columns = column_list<T>(Register::kSchemaVersion);
    std::optional<int> entry;
    if constexpr (std::is_same_v<T, Intervention>) {
        if (numbered && !r.imei.isEmpty()) {
            if (kind == Kind::postgresql) {
                q.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(7736528, hashtext(?))"));
                q.addBindValue(r.imei);
                if (!q.exec()) {
                    failed = q.lastError();
                    return false;
                }
            }
            q.prepare(QStringLiteral(
                "SELECT coalesce(max(entry), 0) + 1 FROM interventions WHERE imei = ?"));
            q.addBindValue(r.imei);
            if (!q.exec() || !q.next()) {
                failed = q.lastError();
                return false;
            }
            entry = q.value(0).toInt();
            q.finish();
            columns += QStringLiteral(", entry");
            marks += QStringLiteral(", :entry");
        }
    }
    if (!q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (uuid) DO NOTHING")
                       .arg(QLatin1String(table_of<T>().name), columns, marks))) {
        failed = q.lastError();
        return false;
    }
    for (const ColumnOf<T>& c : table_of<T>().columns) {
        q.bindValue(QLatin1Char(':') + QLatin1String(c.sql), bound(c, r));
    }
    if constexpr (chained<T>) {
        // A row in no chain holds none of its columns.
        for (const ColumnOf<Link>& c : table_of<Link>().columns) {
            q.bindValue(QStringLiteral(":link_") + QLatin1String(c.sql),
                        r.link.writer.isEmpty() ? QVariant() : bound(c, r.link));
        }
    }
    if (entry) {
        q.bindValue(QStringLiteral(":entry"), *entry);
    }
    if (!q.exec()) {
        failed = q.lastError();
        return false;
    }
    return true;
}

} // namespace

bool Register::Db::insert(QSqlQuery& q, const std::vector<Row>& rows, QSqlError& failed,
                          const QString& waiting_for) {
    for (const Row& row : rows) {
        if (!go_on() || !std::visit(
                            [&](const auto& r) {
                                return insert_row(q, r, waiting_for.isEmpty(), kind, failed);
                            },
                            row)) {
            return false;
        }
    }
    if (waiting_for.isEmpty()) {
        return true;
    }
    QSqlQuery mark(database());
    mark.prepare(
        QStringLiteral("INSERT OR IGNORE INTO waiting (uuid, register, book) VALUES (?, ?, ?)"));
    for (const Row& r : rows) {
        mark.addBindValue(id_of(r));
        mark.addBindValue(waiting_for);
        mark.addBindValue(QLatin1String(table_name(r)));
        if (!mark.exec()) {
            failed = mark.lastError();
            return false;
        }
    }
    return true;
}

} // namespace tessal::reg
