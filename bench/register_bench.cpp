// SPDX-License-Identifier: Apache-2.0
// The register's writes: rows per second and the 99th percentile of one
// row's write (its transaction, committed) with 1 and 8 writers at once, on
// a SQLite file and on a PostgreSQL server; then how long a backlog of 1000
// rows waiting in the local register takes to send to each.  Run by hand,
// the server's owner URL in TESSAL_PG_URL (scripts/pg-cluster start), its
// password in PGPASSFILE:
//   eval "$(scripts/pg-cluster start)"; build/bench/tessal-register-bench
#include "register/register.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace tessal;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRowsPerWriter = 200;

reg::Record row(int writer, int n) {
    reg::Record r;
    r.port = QString("/dev/ttyUSB%1").arg(writer);
    r.speed = 38400;
    r.version = "Tessal GPRS 2.4.1";
    r.imei = QString::number(356871044600000LL + writer * 1000 + n);
    r.sim_id = "89381030000123456784";
    r.signal = 21;
    r.profile_file = "/srv/servis.json";
    r.profile_sha256 = QString(64, 'a');
    r.apply_result = R"([{"field":"ftp.user","state":"confirmed"}])";
    r.pass = true;
    r.trace_file = "/srv/traces/x.txt";
    reg::stamp(r, QString("bench-%1").arg(writer));
    return r;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// `writers` threads, each with its own connection, adding rows at once.
void writes(const char* backend, const QString& location, int writers) {
    std::mutex mutex;
    std::vector<double> each;
    int failures = 0;
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            reg::Register book;
            QString error;
            if (!book.open(location, error)) {
                std::fprintf(stderr, "%s\n", error.toUtf8().constData());
                return;
            }
            std::vector<double> mine;
            int failed = 0;
            for (int n = 0; n < kRowsPerWriter; ++n) {
                const reg::Record r = row(w, n);
                const auto before = Clock::now();
                if (!book.add(r, error)) {
                    ++failed;
                    std::fprintf(stderr, "%s\n", error.toUtf8().constData());
                }
                mine.push_back(ms(Clock::now() - before));
            }
            const std::lock_guard lock(mutex);
            each.insert(each.end(), mine.begin(), mine.end());
            failures += failed;
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    const double total = ms(Clock::now() - start);
    std::sort(each.begin(), each.end());
    const double p99 = each.empty() ? 0 : each[each.size() * 99 / 100];
    std::printf(
        "%-10s writers %d  rows %zu  rows_per_s %.0f  p50_ms %.2f  p99_ms %.2f  failed %d\n",
        backend, writers, each.size(), each.size() * 1000.0 / total,
        each.empty() ? 0 : each[each.size() / 2], p99, failures);
}

// 1000 rows kept locally while the register does not take them (a SQLite
// file held by another connection, a server that refuses a wrong
// password), then sent once it does.
void backlog(const char* backend, const QString& location, const QString& local,
             const QString& wrong_password) {
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    std::thread holder;
    reg::Place place;
    place.location = location;
    place.local = local;
    place.password_file = wrong_password;
    {
        reg::Register book;
        QString error;
        if (!book.open(place, error, 50)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        }
        if (wrong_password.isEmpty()) {
            holder = std::thread([&] {
                {
                    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "holder");
                    db.setDatabaseName(location);
                    db.open();
                    QSqlQuery(db).exec("BEGIN EXCLUSIVE");
                    holding = true;
                    while (!release) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    }
                    QSqlQuery(db).exec("COMMIT");
                }
                QSqlDatabase::removeDatabase("holder");
            });
            while (!holding) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        for (int n = 0; n < 1000; ++n) {
            book.record(row(9, n));
        }
    }
    release = true;
    if (holder.joinable()) {
        holder.join();
    }
    place.password_file.clear();
    reg::Register book;
    QString error;
    if (!book.open(place, error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return;
    }
    const int before = book.waiting();
    const auto start = Clock::now();
    const std::optional<int> sent = book.send_waiting(error);
    std::printf("%-10s backlog %d  sent %d  ms %.0f  waiting_after %d\n", backend, before,
                sent.value_or(-1), ms(Clock::now() - start), book.waiting());
}

QString fresh_database(const QString& owner) {
    const QUrl url(owner);
    const QString name = "bench_" + QUuid::createUuid().toString(QUuid::Id128).left(12);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "admin");
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setDatabaseName(url.path().mid(1));
        db.setUserName(url.userName());
        if (!db.open() || !QSqlQuery(db).exec("CREATE DATABASE " + name)) {
            std::fprintf(stderr, "cannot make a database on %s\n", owner.toUtf8().constData());
        }
    }
    QSqlDatabase::removeDatabase("admin");
    QUrl made = url;
    made.setPath("/" + name);
    return made.toString();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString server = qEnvironmentVariable("TESSAL_PG_URL");
    for (int writers : {1, 8}) {
        writes("sqlite", dir.filePath(QString("w%1/register.sqlite").arg(writers)), writers);
        if (!server.isEmpty()) {
            writes("postgresql", fresh_database(server), writers);
        }
    }
    backlog("sqlite", dir.filePath("b/register.sqlite"), dir.filePath("b/local.sqlite"), {});
    if (!server.isEmpty()) {
        QFile wrong(dir.filePath("wrong-password"));
        wrong.open(QIODevice::WriteOnly);
        wrong.write("wrong\n");
        wrong.close();
        backlog("postgresql", fresh_database(server), dir.filePath("p/local.sqlite"),
                wrong.fileName());
    } else {
        std::printf("postgresql: TESSAL_PG_URL not set, not measured\n");
    }
    return 0;
}
