// SPDX-License-Identifier: Apache-2.0
#pragma once

// The PostgreSQL server the test command starts for the register's tests
// (scripts/pg-cluster): its owner's URL in TESSAL_PG_URL, the passwords in
// PGPASSFILE.  Without it a test is skipped, unless TESSAL_REQUIRE_PG=1
// (as the test command sets): then it fails.

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tessal::testing {

inline QString pg_url() {
    return qEnvironmentVariable("TESSAL_PG_URL");
}

#define TESSAL_NEED_PG()                                                                           \
    do {                                                                                           \
        if (::tessal::testing::pg_url().isEmpty()) {                                               \
            if (qEnvironmentVariable("TESSAL_REQUIRE_PG") == QLatin1String("1")) {                 \
                FAIL() << "TESSAL_PG_URL is not set: the PostgreSQL server did not start";         \
            }                                                                                      \
            GTEST_SKIP() << "no PostgreSQL server (TESSAL_PG_URL; scripts/pg-cluster start)";      \
        }                                                                                          \
    } while (false)

// A connection named `name` to the server at `url`, opened.
inline QSqlDatabase pg_connect(const QString& name, const QString& url) {
    const QUrl u(url);
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
    db.setHostName(u.host());
    db.setPort(u.port(5432));
    db.setDatabaseName(u.path().mid(1));
    db.setUserName(u.userName());
    db.open();
    return db;
}

// Runs `sql` on `url` (the owner's server by default) as its own connection;
// the error's text, empty when it went.
inline QString pg_exec(const QString& sql, const QString& url = pg_url()) {
    const QString name = QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = pg_connect(name, url);
        if (!db.isOpen()) {
            error = db.lastError().text();
        } else if (QSqlQuery q(db); !q.exec(sql)) {
            error = q.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// The URL of a new, empty database of the owner's, `user` in it.
inline QString pg_database(const QString& user = "tessal_owner") {
    const QString name = "t_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
    const QString error = pg_exec("CREATE DATABASE " + name);
    EXPECT_EQ(error.toStdString(), "");
    QUrl u(pg_url());
    u.setPath("/" + name);
    u.setUserName(user);
    return u.toString();
}

// Writes the owner's password (from PGPASSFILE) into `file`, for a URL
// whose port the password file does not name (a proxy's); false when it
// cannot.
inline bool pg_owner_password_file(const QString& file) {
    QFile passwords(qEnvironmentVariable("PGPASSFILE"));
    QFile out(file);
    if (!passwords.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        return false;
    }
    while (!passwords.atEnd()) {
        const QByteArray line = passwords.readLine().trimmed();
        if (line.contains(":tessal_owner:")) {
            return out.write(line.mid(line.lastIndexOf(':') + 1) + "\n") > 0;
        }
    }
    return false;
}

// The server's port, as the tests' URLs name it.
inline int pg_port() {
    return QUrl(pg_url()).port();
}

// Stops the server hard and starts it again (scripts/pg-cluster halt, resume).
inline bool pg_control(const char* what) {
    const QString command = qEnvironmentVariable("TESSAL_PG_CONTROL") + " " + what + " " +
                            qEnvironmentVariable("TESSAL_PG_DIR");
    return std::system(command.toLocal8Bit().constData()) == 0;
}

} // namespace tessal::testing
