// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "support/pg_server.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace tessal::testing {

// Runs the statements on the register at `location` (a SQLite file or a
// server's URL) as its owner would, past the program; the first failure's
// text, empty when every statement went.
inline QString owner_exec(const QString& location, const QStringList& sql) {
    QString error;
    if (location.startsWith("postgresql://")) {
        for (const QString& statement : sql) {
            error = error.isEmpty() ? pg_exec(statement, location) : error;
        }
        return error;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "owner");
        db.setDatabaseName(location);
        error = db.open() ? QString() : db.lastError().text();
        for (const QString& statement : sql) {
            QSqlQuery q(db);
            error = error.isEmpty() && !q.exec(statement) ? q.lastError().text() + " " : error;
        }
    }
    QSqlDatabase::removeDatabase("owner");
    return error;
}

} // namespace tessal::testing
