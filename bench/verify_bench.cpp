// SPDX-License-Identifier: Apache-2.0
// tessal-cli register verify over a register of 1,000,000 chained rows of
// the service book (8 writers, each an entry opened, 5 changes and its end,
// over and over), a SQLite file and a PostgreSQL database: its time and peak
// memory (ru_maxrss), and that it finds the register whole.  The rows are
// made by the program's own chaining and written past it, in bulk.  Run by
// hand (minutes to fill; the registers stay for reruns), the server's owner
// URL in TESSAL_PG_URL (scripts/pg-cluster start), its password in PGPASSFILE:
//   eval "$(scripts/pg-cluster start)"; build/bench/tessal-verify-bench [FOLDER] [ROWS]
#include "bench_support.h"
#include "register/writer.h"

#include <QCoreApplication>
#include <QDir>

using namespace tessal;
using namespace tessal::bench;

namespace {

constexpr int kWriters = 8;

QString q(const QString& text) {
    return "'" + text + "'";
}

QString uuid(qint64 n) {
    return QString("00000000-0000-4000-8000-%1").arg(n, 12, 16, QLatin1Char('0'));
}

// The writers' rows, each linked to the writer's row before it.
bool fill(QSqlDatabase db, qint64 rows) {
    QSqlQuery(db).exec("BEGIN");
    Filler f(db);
    std::vector<reg::Link> last(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        last[w] = {QString("bench@station-%1/0000000%1").arg(w), 0, {}, reg::first_prev()};
    }
    const auto linked = [&](reg::Row row, int w) {
        reg::Link next{last[w].writer, last[w].seq + 1, last[w].hash, {}};
        next.hash = reg::link_hash(row, next.writer, next.seq, next.prev);
        last[w] = next;
        return QStringList{q(next.writer), QString::number(next.seq), q(next.prev), q(next.hash)}
            .join(",");
    };
    for (qint64 n = 0; n < rows; ++n) {
        const int w = int(n % kWriters);
        const qint64 k = n / kWriters; // the writer's own row, from 0
        const qint64 entry = k / 7;
        const QString time = "2026-12-08T10:00:00+01:00";
        const QString utc = "2026-12-08T09:00:00.000Z";
        const QString id = uuid(n);
        const QString opened = uuid((entry * 7) * kWriters + w);
        bool done = true;
        if (k % 7 == 0) {
            reg::Intervention i;
            i.id = id;
            i.time = time;
            i.utc = utc;
            i.imei = QString::number(356871040000000LL + entry * kWriters + w);
            i.kind = "repair";
            done = f.add("interventions",
                         "uuid, time, utc, imei, version, sim_id, port, technician, "
                         "authorization_number, company, station, os_user, kind, seals_removed, "
                         "writer, writer_seq, prev_hash, row_hash",
                         "(" +
                             QStringList{q(id), q(time), q(utc), q(i.imei), "''", "''", "''", "''",
                                         "''", "''", "''", "''", q(i.kind), "''", linked(i, w)}
                                 .join(",") +
                             ")");
        } else if (k % 7 == 6) {
            reg::InterventionEnd e;
            e.id = id;
            e.intervention = opened;
            e.time = time;
            e.utc = utc;
            e.verdict = "pass";
            done = f.add("intervention_ends",
                         "uuid, intervention, time, utc, seals_applied, note, verdict, "
                         "writer, writer_seq, prev_hash, row_hash",
                         "(" +
                             QStringList{q(id), q(opened), q(time), q(utc), "''", "''",
                                         q(e.verdict), linked(e, w)}
                                 .join(",") +
                             ")");
        } else {
            reg::Change c;
            c.id = id;
            c.intervention = opened;
            c.seq = int(k % 7);
            c.time = time;
            c.utc = utc;
            c.write = "jad";
            c.field = QString("jad.P%1").arg(c.seq);
            c.wanted = c.now = QString::number(n);
            c.state = "confirmed";
            done = f.add("changes",
                         "uuid, intervention, seq, time, utc, write_kind, field, before_value, "
                         "wanted, now_value, state, why, writer, writer_seq, prev_hash, row_hash",
                         "(" +
                             QStringList{q(id), q(opened), QString::number(c.seq), q(time), q(utc),
                                         q(c.write), q(c.field), "NULL", q(c.wanted), q(c.now),
                                         q(c.state), "''", linked(c, w)}
                                 .join(",") +
                             ")");
        }
        if (!done) {
            return false;
        }
    }
    return f.finish();
}

void measure(const char* backend, const QString& location, qint64 rows) {
    std::printf("%s: %s\n", backend, location.toUtf8().constData());
    {
        reg::Register book;
        QString error;
        if (!book.open(location, error)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return;
        }
    }
    {
        QSqlDatabase db = connect(location, "fill");
        QSqlQuery count(db);
        if (count.exec("SELECT count(*) FROM changes") && count.next() &&
            count.value(0).toLongLong() > 0) {
            std::printf("  filled before\n");
        } else {
            if (db.driverName() == "QSQLITE") {
                QSqlQuery(db).exec("PRAGMA synchronous = OFF");
            }
            const auto start = Clock::now();
            const bool filled = fill(db, rows);
            if (db.driverName() == "QPSQL") {
                QSqlQuery(db).exec("ANALYZE");
            }
            std::printf("  filled %s in %.0f s\n", filled ? "whole" : "in part",
                        ms_since(start) / 1000);
        }
    }
    QSqlDatabase::removeDatabase("fill");
    const Run run = tessal_cli({"register", "verify", "--register", location.toStdString()});
    std::printf("  register verify: status %d  %lld rows  %.1f s  %.0f rows/s  peak %.1f MB\n",
                run.status, rows, run.ms / 1000, rows / (run.ms / 1000), run.max_rss_kb / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? argv[1] : "/tmp/tessal-verify-bench";
    const qint64 rows = argc > 2 ? QString(argv[2]).toLongLong() : 1000000;
    QDir().mkpath(folder);
    measure("SQLite", folder + QString("/register-%1.sqlite").arg(rows), rows);
    const QString server = qEnvironmentVariable("TESSAL_PG_URL");
    if (server.isEmpty()) {
        std::printf("PostgreSQL: TESSAL_PG_URL not set\n");
        return 0;
    }
    const QString name = QString("verify_bench_%1").arg(rows);
    {
        QSqlDatabase admin = connect(server, "admin");
        QSqlQuery(admin).exec("CREATE DATABASE " + name);
    }
    QSqlDatabase::removeDatabase("admin");
    QUrl url(server);
    url.setPath("/" + name);
    measure("PostgreSQL", url.toString(), rows);
    return 0;
}
