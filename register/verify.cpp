// SPDX-License-Identifier: Apache-2.0
// The register held against itself and against what is kept outside it:
// every row against its hash, every writer's rows against each other in the
// order of their numbers, the heads against the signed checkpoints.  Rows
// are read as they come: the memory it takes does not grow with them.
#include "columns.h"
#include "db.h"
#include "writer.h"

#include <QDateTime>
#include <QSysInfo>

#include <algorithm>
#include <map>
#include <set>

namespace tessal::reg {

namespace {

struct FaultRow {
    Fault::Kind kind;
    const char* code;
};

constexpr FaultRow kFaults[] = {
    {Fault::Kind::changed, "changed"},         {Fault::Kind::removed, "removed"},
    {Fault::Kind::reordered, "reordered"},     {Fault::Kind::fork, "fork"},
    {Fault::Kind::outside, "outside"},         {Fault::Kind::cut_short, "cut_short"},
    {Fault::Kind::differs, "differs"},         {Fault::Kind::bad_signature, "bad_signature"},
    {Fault::Kind::key_differs, "key_differs"},
};

// "row 5 of ana@pc-servis/3f9a0c12 (changes 1b4e28ba-...)".
QString row_named(const QString& writer, int seq, const QString& table = {},
                  const QString& id = {}) {
    return QStringLiteral("row %1 of %2").arg(seq).arg(writer) +
           (table.isEmpty() ? QString() : QStringLiteral(" (%1 %2)").arg(table, id));
}

// A writer's trusted key and where it came from.
struct Trusted {
    QByteArray key;
    QString from;
};

// The walk's state: the verdict so far, and the writer being walked.
class Walk {
  public:
    Walk(Verdict& verdict, std::map<QString, Trusted> keys) : v_(verdict), keys_(std::move(keys)) {}

    void fault(Fault f) {
        ++v_.faults_found;
        if (static_cast<int>(v_.faults.size()) < Verdict::kMaxFaults) {
            v_.faults.push_back(std::move(f));
        }
    }

    // A checkpoint, from the register or from a file: its signature tried
    // against its writer's trusted key; the highest signed one of each
    // writer kept to hold the chain against.
    void take(const Checkpoint& c) {
        const auto key = keys_.find(c.writer);
        if (key == keys_.end()) {
            unanchored_[c.writer] = std::max(unanchored_[c.writer], c.seq);
            return;
        }
        if (!signed_by(c, key->second.key)) {
            fault({Fault::Kind::bad_signature,
                   c.writer,
                   c.seq,
                   {},
                   {},
                   QStringLiteral("the checkpoint of %1 for %2 is not signed with the writer's "
                                  "trusted key (%3)")
                       .arg(c.time, row_named(c.writer, c.seq), key->second.from)});
            return;
        }
        Checkpoint& highest = signed_[c.writer];
        if (c.seq > highest.seq) {
            highest = c;
        }
    }

    // The next row of the walk, in writer and number order.
    void step(const QString& writer, int seq, const QString& prev, const QString& hash,
              const QString& table, const QString& id) {
        if (writer != chain_.writer) {
            end_chain();
            chain_ = Chain{writer, 0, 0, 0, {}, {}};
            last_hash_ = first_prev();
        }
        ++chain_.rows;
        ++v_.rows;
        if (seq == chain_.last && chain_.rows > 1) {
            fault({Fault::Kind::fork, writer, seq, table, id,
                   QStringLiteral("%1 is there twice: %2 %3 bears its number too")
                       .arg(row_named(writer, seq, table, id), last_table_, last_id_)});
        } else if (seq > chain_.last + 1) {
            fault({Fault::Kind::removed,
                   writer,
                   chain_.last + 1,
                   {},
                   {},
                   seq == chain_.last + 2
                       ? QStringLiteral("%1 is missing: removed")
                             .arg(row_named(writer, chain_.last + 1))
                       : QStringLiteral("rows %1 to %2 of %3 are missing: removed")
                             .arg(chain_.last + 1)
                             .arg(seq - 1)
                             .arg(writer)});
        } else if (prev != last_hash_) {
            fault({Fault::Kind::reordered, writer, seq, table, id,
                   QStringLiteral("%1 does not follow the row before it: rows reordered, or "
                                  "the row before changed")
                       .arg(row_named(writer, seq, table, id))});
        }
        const auto signed_head = signed_.find(writer);
        if (signed_head != signed_.end() && signed_head->second.seq == seq &&
            signed_head->second.hash != hash) {
            fault({Fault::Kind::differs, writer, seq, table, id,
                   QStringLiteral("%1 differs from the checkpoint of %2")
                       .arg(row_named(writer, seq, table, id), signed_head->second.time)});
        }
        chain_.last = std::max(chain_.last, seq);
        last_hash_ = hash;
        last_table_ = table;
        last_id_ = id;
    }

    // Every chain's verdict, writers with checkpoints and no rows left
    // among them.
    void finish() {
        end_chain();
        for (const auto& [writer, c] : signed_) {
            if (!seen_.contains(writer)) {
                chain_ = Chain{writer, 0, 0, 0, {}, {}};
                end_chain();
            }
        }
        for (const auto& [writer, seq] : unanchored_) {
            if (!seen_.contains(writer)) {
                v_.chains.push_back(Chain{writer, 0, 0, 0, {}, {}});
                seen_.insert(writer);
            }
        }
        std::sort(v_.chains.begin(), v_.chains.end(),
                  [](const Chain& a, const Chain& b) { return a.writer < b.writer; });
        std::stable_sort(v_.faults.begin(), v_.faults.end(), [](const Fault& a, const Fault& b) {
            return std::tie(a.writer, a.seq) < std::tie(b.writer, b.seq);
        });
    }

  private:
    void end_chain() {
        if (chain_.writer.isEmpty() && chain_.rows == 0) {
            return;
        }
        const auto key = keys_.find(chain_.writer);
        if (key != keys_.end()) {
            chain_.anchor = key->second.from;
        }
        const auto signed_head = signed_.find(chain_.writer);
        if (signed_head != signed_.end()) {
            const Checkpoint& c = signed_head->second;
            if (c.seq > chain_.last) {
                fault({Fault::Kind::cut_short,
                       chain_.writer,
                       c.seq,
                       {},
                       {},
                       QStringLiteral("the checkpoint of %1 signs %2, but the chain ends at row "
                                      "%3: rows cut off")
                           .arg(c.time, row_named(chain_.writer, c.seq))
                           .arg(chain_.last)});
            } else {
                chain_.signed_up_to = c.seq;
                chain_.signed_at = c.time;
            }
        }
        seen_.insert(chain_.writer);
        v_.chains.push_back(chain_);
    }

    Verdict& v_;
    std::map<QString, Trusted> keys_;
    std::map<QString, Checkpoint> signed_;
    std::map<QString, int> unanchored_;
    std::set<QString> seen_;
    Chain chain_;
    QString last_hash_;
    QString last_table_;
    QString last_id_;
};

// Which rows are this register's own: those of the writers given (bound in
// `q` later; every writer for none), and in a SQLite register none of the
// copies it keeps of rows that wait, or waited, for another register (they
// are that register's, in that register's chains).  "" for every row.
QString own_rows(const Register::Db& db, const QStringList& writers) {
    QStringList conditions;
    if (!writers.isEmpty()) {
        QStringList marks;
        marks.fill(QStringLiteral("?"), writers.size());
        conditions << QStringLiteral("writer IN (%1)").arg(marks.join(QStringLiteral(", ")));
    }
    if (db.kind == Kind::sqlite) {
        conditions << QStringLiteral("uuid NOT IN (SELECT uuid FROM waiting)");
    }
    return conditions.join(QStringLiteral(" AND "));
}

QString where(const QString& conditions, const char* first = " WHERE ") {
    return conditions.isEmpty() ? QString() : QLatin1String(first) + conditions;
}

void bind_writers(QSqlQuery& q, const QStringList& writers, int times = 1) {
    for (int n = 0; n < times; ++n) {
        for (const QString& w : writers) {
            q.addBindValue(w);
        }
    }
}

// Every row of a table against its own hash.
template <class T>
bool check_rows(Register::Db& db, Walk& walk, const QStringList& writers, QString& error) {
    QSqlQuery q(db.database());
    q.prepare(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY id")
                  .arg(column_list<T>(db.version), QLatin1String(table_of<T>().name),
                       where(own_rows(db, writers))));
    bind_writers(q, writers);
    const QString table = QLatin1String(table_of<T>().name);
    return db.stream(
        q,
        [&] {
            const T row = row_of<T>(q, db.version);
            const Link& l = row.link;
            if (l.writer.isEmpty()) {
                walk.fault({Fault::Kind::outside,
                            {},
                            0,
                            table,
                            row.id,
                            QStringLiteral("%1 %2 is in no chain: added past the program")
                                .arg(table, row.id)});
            } else if (link_hash(Row(row), l.writer, l.seq, l.prev) != l.hash) {
                walk.fault({Fault::Kind::changed, l.writer, l.seq, table, row.id,
                            QStringLiteral("%1 does not match its hash: changed, or made up")
                                .arg(row_named(l.writer, l.seq, table, row.id))});
            }
        },
        error);
}

// The links of every chained table, in writer and number order.
QString links_query(const Register::Db& db, const QStringList& writers) {
    QStringList parts;
    for (const char* table : {table_of<Record>().name, table_of<Intervention>().name,
                              table_of<Change>().name, table_of<InterventionEnd>().name}) {
        parts << QStringLiteral("SELECT writer, writer_seq, prev_hash, row_hash, '%1' AS book, "
                                "CAST(uuid AS TEXT) AS row_id FROM %1 WHERE writer IS NOT NULL%2")
                     .arg(QLatin1String(table), where(own_rows(db, writers), " AND "));
    }
    return parts.join(QStringLiteral(" UNION ALL ")) +
           QStringLiteral(" ORDER BY writer, writer_seq, book, row_id");
}

} // namespace

const char* fault_code(Fault::Kind kind) {
    return std::find_if(std::begin(kFaults), std::end(kFaults),
                        [kind](const FaultRow& r) { return r.kind == kind; })
        ->code;
}

std::optional<Verdict> Register::verify(const Anchors& outside, QString& error,
                                        const QStringList& writers) const {
    Verdict verdict;
    if (db_->version < table_of<Link>().since) {
        verdict.chained = false;
        return verdict;
    }
    std::map<QString, Trusted> keys;
    QSqlQuery q(db_->database());
    q.prepare(QStringLiteral("SELECT writer, public_key FROM trusted_keys"));
    if (!db_->stream(
            q,
            [&] {
                keys[q.value(0).toString()] = {
                    QByteArray::fromBase64(q.value(1).toString().toLatin1()),
                    QStringLiteral("the register's trusted key")};
            },
            error)) {
        return std::nullopt;
    }
    std::vector<Fault> swapped;
    for (const NamedKey& k : outside.keys) {
        const auto held = keys.find(k.writer);
        if (held != keys.end() && held->second.key != k.key) {
            swapped.push_back({Fault::Kind::key_differs,
                               k.writer,
                               0,
                               QStringLiteral("trusted_keys"),
                               {},
                               QStringLiteral("the register trusts another key for %1 than %2")
                                   .arg(k.writer, outside.keys_from)});
        }
        keys[k.writer] = {k.key, QStringLiteral("the key in %1").arg(outside.keys_from)};
    }
    Walk walk(verdict, std::move(keys));
    for (Fault& f : swapped) {
        walk.fault(std::move(f));
    }
    for (const Checkpoint& c : outside.checkpoints) {
        if (writers.isEmpty() || writers.contains(c.writer)) {
            walk.take(c);
        }
    }
    q.prepare(QStringLiteral("SELECT %1 FROM checkpoints%2 ORDER BY id")
                  .arg(column_list<Checkpoint>(db_->version), where(own_rows(*db_, writers))));
    bind_writers(q, writers);
    if (!db_->stream(
            q, [&] { walk.take(row_of<Checkpoint>(q, db_->version)); }, error) ||
        !check_rows<Record>(*db_, walk, writers, error) ||
        !check_rows<Intervention>(*db_, walk, writers, error) ||
        !check_rows<Change>(*db_, walk, writers, error) ||
        !check_rows<InterventionEnd>(*db_, walk, writers, error)) {
        return std::nullopt;
    }
    q.prepare(links_query(*db_, writers));
    bind_writers(q, writers, 4);
    if (!db_->stream(
            q,
            [&] {
                walk.step(q.value(0).toString(), q.value(1).toInt(), q.value(2).toString(),
                          q.value(3).toString(), q.value(4).toString(), q.value(5).toString());
            },
            error)) {
        return std::nullopt;
    }
    walk.finish();
    return verdict;
}

bool Register::trust(const NamedKey& key, QString& error) {
    const QString text = QString::fromLatin1(key.key.toBase64());
    QSqlQuery q(db_->database());
    q.prepare(QStringLiteral("SELECT public_key FROM trusted_keys WHERE writer = ?"));
    q.addBindValue(key.writer);
    if (!db_->go_on() || !q.exec()) {
        error = db_->failure(q.lastError(), "read");
        db_->cut.disarm();
        return false;
    }
    db_->cut.disarm();
    if (q.next()) {
        if (q.value(0).toString() == text) {
            return true;
        }
        error = QStringLiteral("the register trusts another key for %1").arg(key.writer);
        return false;
    }
    q.finish();
    return db_->write(
        [&](QSqlQuery& w, QSqlError& failed) {
            w.prepare(QStringLiteral("INSERT INTO trusted_keys (writer, public_key, time, os_user) "
                                     "VALUES (?, ?, ?, ?)"));
            w.addBindValue(key.writer);
            w.addBindValue(text);
            w.addBindValue(local_time_text(QDateTime::currentDateTime()));
            w.addBindValue(os_user());
            if (!w.exec()) {
                failed = w.lastError();
                return false;
            }
            return true;
        },
        error);
}

std::optional<std::vector<Checkpoint>> Register::last_checkpoints(QString& error) const {
    std::map<QString, Checkpoint> last;
    if (db_->version >= table_of<Checkpoint>().since) {
        QSqlQuery q(db_->database());
        q.prepare(QStringLiteral("SELECT %1 FROM checkpoints ORDER BY writer, writer_seq, id")
                      .arg(column_list<Checkpoint>(db_->version)));
        if (!db_->stream(
                q,
                [&] {
                    Checkpoint c = row_of<Checkpoint>(q, db_->version);
                    last[c.writer] = std::move(c);
                },
                error)) {
            return std::nullopt;
        }
    }
    std::vector<Checkpoint> all;
    for (auto& [writer, c] : last) {
        all.push_back(std::move(c));
    }
    return all;
}

} // namespace tessal::reg
