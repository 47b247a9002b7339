// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the register's benchmarks share: the time since a start, a filler
// of generated rows that bypasses the program, a connection of the bench's
// own, and tessal-cli run as a child with its time and peak memory.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tessal::bench {

using Clock = std::chrono::steady_clock;

inline double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Multi-row INSERTs of generated values, 500 rows a statement, all in one
// transaction: the fill bypasses the program, the reading does not.
class Filler {
  public:
    Filler(QSqlDatabase db) : db_(db) {}
    bool add(const char* table, const char* columns, const QString& values) {
        Batch& b = batches_[table];
        b.columns = columns;
        b.rows << values;
        return b.rows.size() < 500 || flush(table, b);
    }
    bool finish() {
        for (auto& [table, b] : batches_) {
            if (!b.rows.isEmpty() && !flush(table, b)) {
                return false;
            }
        }
        return QSqlQuery(db_).exec("COMMIT");
    }

  private:
    struct Batch {
        const char* columns = "";
        QStringList rows;
    };
    bool flush(const std::string& table, Batch& b) {
        QSqlQuery q(db_);
        const bool done =
            q.exec(QString("INSERT INTO %1 (%2) VALUES %3")
                       .arg(QString::fromStdString(table), b.columns, b.rows.join(",")));
        if (!done) {
            std::fprintf(stderr, "fill: %s\n", q.lastError().text().toUtf8().constData());
        }
        b.rows.clear();
        return done;
    }
    QSqlDatabase db_;
    std::map<std::string, Batch> batches_;
};

inline // A connection of the bench's own to the register at `location`.
    QSqlDatabase
    connect(const QString& location, const QString& name) {
    const bool server = location.startsWith("postgresql://");
    QSqlDatabase db = QSqlDatabase::addDatabase(server ? "QPSQL" : "QSQLITE", name);
    if (server) {
        const QUrl url(location);
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setDatabaseName(url.path().mid(1));
        db.setUserName(url.userName());
    } else {
        db.setDatabaseName(location);
    }
    if (!db.open()) {
        std::fprintf(stderr, "%s: %s\n", location.toUtf8().constData(),
                     db.lastError().text().toUtf8().constData());
    }
    return db;
}

struct Run {
    double ms = 0;
    long max_rss_kb = 0;
    int status = -1;
};

// tessal-cli with `args`, its standard output to /dev/null, measured by
// /usr/bin/time: a child this process spawned itself would count this
// process's own memory in its peak (the memory it had before its exec).
inline Run tessal_cli(const std::vector<std::string>& args) {
    const std::string figures = "/tmp/tessal-book-read-time.txt";
    std::vector<std::string> all{"/usr/bin/time", "-f", "%M %x", "-o", figures, TESSAL_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Run run;
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.ms = ms_since(start);
        std::FILE* file = std::fopen(figures.c_str(), "r");
        if (file == nullptr || std::fscanf(file, "%ld %d", &run.max_rss_kb, &run.status) != 2) {
            std::fprintf(stderr, "no figures from /usr/bin/time\n");
        }
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

} // namespace tessal::bench
