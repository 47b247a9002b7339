// SPDX-License-Identifier: Apache-2.0
// The service book read back at a service company's scale: a SQLite register
// and a PostgreSQL one, each filled once with 1,400,000 rows of the book
// (20,000 devices, 10 entries each: the entry, 5 changes, its end: the
// export's 1,000,000 rows) and
// 200,000 commissioning rows; then, through the program's own code, a
// device's history, a day's entries and rows, searches, and tessal-cli's
// service export, service list, register list and register export run as
// child processes: their time, rows per second and peak memory
// (ru_maxrss).  Run by hand (minutes to fill; the files stay for reruns),
// the server's owner URL in TESSAL_PG_URL (scripts/pg-cluster start), its
// password in PGPASSFILE:
//   eval "$(scripts/pg-cluster start)"; build/bench/tessal-book-read-bench [FOLDER]
// FOLDER (default /tmp/tessal-book-read) holds the SQLite register and the
// exports; the server's register is its database "book_read_bench_1m".
#include "bench_support.h"
#include "register/register.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace tessal;
using namespace tessal::bench;

namespace {

constexpr int kDevices = 20000;
constexpr int kEntries = 10; // per device, one a year
constexpr int kChanges = 5;  // per entry
constexpr int kCommissioned = 200000;
constexpr qint64 kYear = 365LL * 86400;
// The first entries' year begins here; the last day is the tenth year's.
const qint64 kBase =
    QDateTime(QDate(2016, 12, 10), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();

QString imei(int d) {
    return QString::number(356871040000000LL + d);
}

QString uuid(int kind, qint64 n) {
    return QString("%1-0000-4000-8000-%2")
        .arg(kind, 8, 16, QLatin1Char('0'))
        .arg(n, 12, 16, QLatin1Char('0'));
}

// An instant as the rows keep it: local time with its offset (here UTC)
// and the instant in UTC with milliseconds.
QString time_text(qint64 s) {
    return QDateTime::fromSecsSinceEpoch(s, QTimeZone::utc()).toString("yyyy-MM-ddTHH:mm:ss") +
           "+00:00";
}
QString utc_text(qint64 s) {
    return QDateTime::fromSecsSinceEpoch(s, QTimeZone::utc()).toString("yyyy-MM-ddTHH:mm:ss") +
           ".000Z";
}

qint64 entry_start(int d, int k) {
    return kBase + k * kYear + (qint64(d) * 1577) % kYear;
}

QString quoted(const QString& text) {
    return "'" + text + "'";
}

bool fill(QSqlDatabase db) {
    QSqlQuery(db).exec("BEGIN");
    Filler f(db);
    const char* technicians[] = {"Ana Petrović", "Marko Jovanović", "Jelena Đorđević",
                                 "Petar Petrović", "Milan Savić"};
    qint64 change = 0;
    for (int d = 0; d < kDevices; ++d) {
        for (int k = 0; k < kEntries; ++k) {
            const qint64 n = qint64(d) * kEntries + k;
            const qint64 at = entry_start(d, k);
            const QString id = uuid(1, n);
            if (!f.add("interventions",
                       "uuid, entry, time, utc, imei, version, sim_id, port, technician, "
                       "authorization_number, company, station, os_user, kind, seals_removed",
                       QStringList{quoted(id), QString::number(k + 1), quoted(time_text(at)),
                                   quoted(utc_text(at)), quoted(imei(d)), "'Tessal GPRS 2.4.1'",
                                   quoted(QString("8938103000%1").arg(d, 10, 10, QChar('0'))),
                                   "'/dev/ttyUSB0'", quoted(technicians[d % 5]),
                                   quoted(QString("A-%1").arg(d % 5)), "'Servis d.o.o.'",
                                   "'pc-servis'", "'servis'", "'inspection'",
                                   quoted(QString("S-%1").arg(n * 2, 7, 10, QChar('0')))}
                           .join(",")
                           .prepend('(')
                           .append(')'))) {
                return false;
            }
            for (int c = 1; c <= kChanges; ++c) {
                const char* fields[] = {"ftp.user", "ftp.address", "ftp.for_send",
                                        "jad.REPORT_INTERVAL", "clock"};
                const QString before = QString("v%1").arg(k);
                const QString after = QString("v%1").arg(k + 1);
                if (!f.add("changes",
                           "uuid, intervention, seq, time, utc, write_kind, field, before_value, "
                           "wanted, now_value, state, why",
                           QStringList{quoted(uuid(2, change++)), quoted(id), QString::number(c),
                                       quoted(time_text(at + 60 * c)),
                                       quoted(utc_text(at + 60 * c)), "'profile'",
                                       quoted(fields[c - 1]), quoted(before), quoted(after),
                                       quoted(after), "'confirmed'", "''"}
                               .join(",")
                               .prepend('(')
                               .append(')'))) {
                    return false;
                }
            }
            if (!f.add("intervention_ends",
                       "uuid, intervention, time, utc, seals_applied, note, verdict",
                       QStringList{quoted(uuid(3, n)), quoted(id), quoted(time_text(at + 3600)),
                                   quoted(utc_text(at + 3600)),
                                   quoted(QString("S-%1").arg(n * 2 + 1, 7, 10, QChar('0'))), "''",
                                   "'pass'"}
                           .join(",")
                           .prepend('(')
                           .append(')'))) {
                return false;
            }
        }
    }
    for (int r = 0; r < kCommissioned; ++r) {
        const qint64 at = kBase + (qint64(r) * 1577) % (10 * kYear);
        if (!f.add("devices",
                   "time, port, speed, version, imei, sim_id, signal, profile_file, "
                   "profile_sha256, apply_result, result, failed, trace_file, uuid, station, "
                   "os_user, utc, check_result",
                   QStringList{quoted(time_text(at)), "'/dev/ttyUSB0'", "38400",
                               "'Tessal GPRS 2.4.1'", quoted(imei(r % kDevices)),
                               "'89381030000123456784'", "21", "'/srv/servis.json'",
                               quoted(QString(64, 'a')),
                               "'[{\"field\":\"ftp.user\",\"state\":\"confirmed\"}]'", "'PASS'",
                               "''", "'/srv/traces/x.txt'", quoted(uuid(4, r)), "'stanica-1'",
                               "'servis'", quoted(utc_text(at)), "''"}
                       .join(",")
                       .prepend('(')
                       .append(')'))) {
            return false;
        }
    }
    return f.finish();
}

// The register made and filled, unless a run before filled it.
bool prepare(const QString& location) {
    {
        reg::Register book;
        QString error;
        if (!book.open(location, error)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return false;
        }
    }
    bool done = false;
    {
        QSqlDatabase db = connect(location, "fill");
        QSqlQuery q(db);
        if (q.exec("SELECT count(*) FROM interventions") && q.next() && q.value(0).toInt() > 0) {
            std::printf("  filled before: %d entries\n", q.value(0).toInt());
            done = true;
        } else {
            if (db.driverName() == "QSQLITE") {
                QSqlQuery(db).exec("PRAGMA synchronous = OFF");
            }
            const auto start = Clock::now();
            done = fill(db);
            if (db.driverName() == "QPSQL") {
                QSqlQuery(db).exec("ANALYZE");
            }
            std::printf("  filled in %.0f s\n", ms_since(start) / 1000);
        }
    }
    QSqlDatabase::removeDatabase("fill");
    return done;
}

long lines_of(const QString& file) {
    QFile f(file);
    long lines = 0;
    if (f.open(QIODevice::ReadOnly)) {
        while (!f.readLine().isEmpty()) {
            ++lines;
        }
    }
    return lines;
}

// A command's figures: time, rows a second, peak memory.
void report(const char* what, const Run& run, long rows) {
    std::printf("  %-44s status %d  rows %8ld  %8.0f ms  %8.0f rows/s  peak %6.1f MB\n", what,
                run.status, rows, run.ms, rows > 0 ? rows / (run.ms / 1000) : 0.0,
                run.max_rss_kb / 1024.0);
}

void measure(const char* backend, const QString& location, const QString& folder) {
    std::printf("%s: %s\n", backend, location.toUtf8().constData());
    if (!prepare(location)) {
        return;
    }
    reg::Register book;
    QString error;
    if (!book.open_for_reading(location, error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return;
    }
    // A device's history: 100 devices at random.
    std::mt19937 random(7);
    std::vector<double> times;
    for (int i = 0; i < 100; ++i) {
        const int d = int(random() % kDevices);
        const auto start = Clock::now();
        const auto entries = book.book(imei(d), error);
        times.push_back(ms_since(start));
        if (!entries || entries->size() != kEntries) {
            std::fprintf(stderr, "history of %d: %s\n", d, error.toUtf8().constData());
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("  a device's history (%d entries, %d changes): median %.2f ms, p95 %.2f ms, "
                "max %.2f ms\n",
                kEntries, kEntries * kChanges, times[50], times[95], times.back());

    const QDate last_day = QDateTime::fromSecsSinceEpoch(kBase + 10 * kYear - 86400).date();
    const auto timed = [&](const char* what, const reg::BookFilter& filter) {
        int count = 0;
        const auto start = Clock::now();
        book.each_entry(
            filter, [&count](const reg::Entry&) { ++count; }, error);
        std::printf("  %-44s %6d entries  %8.2f ms\n", what, count, ms_since(start));
    };
    reg::BookFilter day;
    day.since = last_day;
    timed("a day's entries (--since the last day)", day);
    reg::BookFilter sim;
    sim.sim = QString("8938103000%1").arg(12345, 10, 10, QChar('0'));
    timed("a SIM identification whole", sim);
    reg::BookFilter part;
    part.imei = "0012345";
    timed("part of an IMEI (no index)", part);
    reg::BookFilter seal;
    seal.seal = "S-0246913";
    timed("a seal code (no index)", seal);
    int day_rows = 0;
    {
        const auto start = Clock::now();
        book.each(
            last_day, [&day_rows](const reg::Record&) { ++day_rows; }, error);
        std::printf("  %-44s %6d rows     %8.2f ms\n", "a day's commissioning rows", day_rows,
                    ms_since(start));
    }

    const std::string at = location.toStdString();
    const std::string csv = QDir(folder).filePath(QString(backend) + "-book.csv").toStdString();
    const std::string json = QDir(folder).filePath(QString(backend) + "-book.json").toStdString();
    // About 10,000 rows: the last 37 days' entries' changes.
    const std::string since = last_day.addDays(-36).toString(Qt::ISODate).toStdString();
    // A file's rows are counted once the command has written it.
    const auto exported = [](const char* what, const std::vector<std::string>& args,
                             const std::string& file, long not_rows) {
        const Run run = tessal_cli(args);
        report(what, run, lines_of(QString::fromStdString(file)) - not_rows);
    };
    report("tessal-cli --help (for scale)", tessal_cli({"--help"}), 0);
    exported("service export --csv, last 37 days",
             {"service", "export", "--csv", csv, "--since", since, "--register", at}, csv, 1);
    exported("service export --csv, all", {"service", "export", "--csv", csv, "--register", at},
             csv, 1);
    exported("service export --json, all", {"service", "export", "--json", json, "--register", at},
             json, 2);
    report("service list, all", tessal_cli({"service", "list", "--register", at}),
           long(kDevices) * kEntries);
    report("service list --json, all", tessal_cli({"--json", "service", "list", "--register", at}),
           long(kDevices) * kEntries);
    report("service list --imei (a device)",
           tessal_cli({"service", "list", "--imei", imei(4242).toStdString(), "--register", at}),
           kEntries);
    report("service show DEVICE N",
           tessal_cli({"service", "show", imei(4242).toStdString(), "7", "--register", at}), 1);
    report("register list, all", tessal_cli({"register", "list", "--register", at}), kCommissioned);
    report("register list --since the last day",
           tessal_cli({"register", "list", "--since", last_day.toString(Qt::ISODate).toStdString(),
                       "--register", at}),
           day_rows);
    report("register list --json, all",
           tessal_cli({"--json", "register", "list", "--register", at}), kCommissioned);
    const std::string devices =
        QDir(folder).filePath(QString(backend) + "-devices.csv").toStdString();
    exported("register export --csv, all",
             {"register", "export", "--csv", devices, "--register", at}, devices, 1);
}

// The server's register: its database, made when missing.
QString server_register(const QString& owner) {
    const QString name = "book_read_bench_1m";
    {
        QSqlDatabase db = connect(owner, "admin");
        QSqlQuery q(db);
        if (q.exec("SELECT 1 FROM pg_database WHERE datname = '" + name + "'") && !q.next()) {
            QSqlQuery(db).exec("CREATE DATABASE " + name);
        }
    }
    QSqlDatabase::removeDatabase("admin");
    QUrl url(owner);
    url.setPath("/" + name);
    return url.toString();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes
    const QString folder = argc > 1 ? argv[1] : "/tmp/tessal-book-read";
    QDir().mkpath(folder);
    measure("sqlite", QDir(folder).filePath("register.sqlite"), folder);
    const QString server = qEnvironmentVariable("TESSAL_PG_URL");
    if (server.isEmpty()) {
        std::printf("postgresql: TESSAL_PG_URL not set, not measured\n");
        return 0;
    }
    measure("postgresql", server_register(server), folder);
    return 0;
}
