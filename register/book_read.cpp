// SPDX-License-Identifier: Apache-2.0
// The service book read back: entries chosen by device, SIM, seal, time or
// technician, streamed one at a time; the difference between two of a
// device's entries; the changes written out for a spreadsheet.
#include "columns.h"
#include "db.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <map>
#include <string_view>

namespace tessal::reg {

namespace {

// How the device layer keeps a secret's value.
constexpr QLatin1StringView kSecret("********");

// A table's columns, each named as `alias`.column.
template <class T> QString columns_of(const char* alias, int version, int& count) {
    QStringList names = column_list<T>(version).split(QStringLiteral(", "));
    count = int(names.size());
    for (QString& name : names) {
        name.prepend(QLatin1String(alias) + QLatin1Char('.'));
    }
    return names.join(QStringLiteral(", "));
}

// A text a LIKE pattern holds as it is.
QString escaped(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('%'), QLatin1String("\\%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return escaped;
}

// A whole number, or its beginning: found by the index from where it
// begins to where the next one would.
bool looked_up(const QString& text) {
    return text.size() >= 15 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// The first text after every one that begins with `digits`: its last digit
// not 9 counted up; empty when there is none (all nines).
QString after_all_beginning(QString digits) {
    while (!digits.isEmpty() && digits.back() == QLatin1Char('9')) {
        digits.chop(1);
    }
    if (!digits.isEmpty()) {
        digits.back() = QChar(digits.back().unicode() + 1);
    }
    return digits;
}

// The conditions of a filter, with the values they are bound to in order.
struct Where {
    QStringList conditions;
    QVariantList values;
    QString like;
    bool by_number = false; // a whole number looked up by its index

    void add(const QString& condition, const QVariantList& bound) {
        conditions << condition;
        values << bound;
    }
    // The column holds the text; a whole number begins it.
    void holding(const char* column, const QString& text) {
        if (text.isEmpty()) {
            return;
        }
        const QString c = QLatin1String(column);
        if (looked_up(text)) {
            by_number = true;
            const QString after = after_all_beginning(text);
            add(after.isEmpty() ? c + QStringLiteral(" >= ?")
                                : c + QStringLiteral(" >= ? AND ") + c + QStringLiteral(" < ?"),
                after.isEmpty() ? QVariantList{text} : QVariantList{text, after});
            return;
        }
        add(c + QLatin1Char(' ') + like + QStringLiteral(" ? ESCAPE '\\'"),
            {QLatin1Char('%') + escaped(text) + QLatin1Char('%')});
    }
    QString text() const {
        return conditions.isEmpty()
                   ? QString()
                   : QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    }
};

Where where_of(const BookFilter& f, bool server) {
    Where w;
    w.like = server ? QStringLiteral("ILIKE") : QStringLiteral("LIKE");
    if (!f.device.isEmpty()) {
        w.add(QStringLiteral("i.imei = ? AND i.entry IS NOT NULL"), {f.device});
        if (f.from > 0) {
            w.add(QStringLiteral("i.entry >= ?"), {f.from});
        }
        if (f.to > 0) {
            w.add(QStringLiteral("i.entry <= ?"), {f.to});
        }
    }
    if (!f.id.isEmpty()) {
        w.add(QStringLiteral("i.uuid = ?"), {f.id});
    }
    w.holding("i.imei", f.imei);
    w.holding("i.sim_id", f.sim);
    w.holding("i.technician", f.technician);
    if (!f.seal.isEmpty()) {
        const QString seal = QLatin1Char('%') + escaped(f.seal) + QLatin1Char('%');
        w.add(QStringLiteral("(i.seals_removed %1 ? ESCAPE '\\' OR EXISTS (SELECT 1 FROM "
                             "intervention_ends x WHERE x.intervention = i.uuid AND "
                             "x.seals_applied %1 ? ESCAPE '\\'))")
                  .arg(w.like),
              {seal, seal});
    }
    if (f.since.isValid()) {
        w.add(QStringLiteral("i.utc >= ?"), {utc_text(f.since.startOfDay())});
    }
    return w;
}

} // namespace

bool Register::each_entry(const BookFilter& filter, const std::function<void(const Entry&)>& take,
                          QString& error) const {
    const int v = db_->version;
    if (v < 4) {
        return true; // no book yet
    }
    // The entries with their changes and ends in one statement, an entry's
    // rows together: read as they come, an entry at a time in memory.
    int opened = 0;
    int changed = 0;
    int ended = 0;
    const QString i = columns_of<Intervention>("i", v, opened);
    const QString c = columns_of<Change>("c", v, changed);
    const QString e = columns_of<InterventionEnd>("e", v, ended);
    const Where where = where_of(filter, on_server());
    QSqlQuery q(db_->database());
    q.prepare(QStringLiteral("SELECT %1, i.entry, %2, %3 FROM interventions i LEFT JOIN changes c "
                             "ON c.intervention = i.uuid LEFT JOIN intervention_ends e ON "
                             "e.intervention = i.uuid %4 ORDER BY %5, c.seq, e.utc")
                  .arg(i, c, e, where.text(),
                       !filter.device.isEmpty() ? QStringLiteral("i.entry")
                       : where.by_number && !on_server()
                           // SQLite would rather walk the whole time index than
                           // sort the few entries a number's index finds.
                           ? QStringLiteral("+i.utc, i.uuid")
                           : QStringLiteral("i.utc, i.uuid")));
    for (const QVariant& value : where.values) {
        q.addBindValue(value);
    }
    const int change_at = opened + 1;
    const int end_at = change_at + changed;
    std::optional<Entry> entry;
    QString last_change;
    const bool read = db_->stream(
        q,
        [&] {
            if (!entry || entry->opened.id != q.value(0).toString()) {
                if (entry) {
                    take(*entry);
                }
                entry.emplace();
                entry->opened = row_of<Intervention>(q, v);
                const QVariant number = q.value(opened);
                entry->opened.entry =
                    number.isNull() ? std::nullopt : std::optional(number.toInt());
                last_change.clear();
            }
            // An entry ended twice comes with each change twice: the
            // first end counts.
            const QVariant change = q.value(change_at);
            if (!change.isNull() && change.toString() != last_change) {
                last_change = change.toString();
                entry->changes.push_back(row_of<Change>(q, v, change_at));
            }
            if (!entry->ended && !q.value(end_at).isNull()) {
                entry->ended = row_of<InterventionEnd>(q, v, end_at);
            }
        },
        error);
    if (read && entry) {
        take(*entry);
    }
    return read;
}

std::optional<std::vector<Entry>> Register::book(const QString& imei, QString& error) const {
    std::vector<Entry> entries;
    BookFilter filter;
    filter.device = imei;
    if (!each_entry(
            filter, [&entries](const Entry& e) { entries.push_back(e); }, error)) {
        return std::nullopt;
    }
    for (Entry& e : entries) {
        QString failed;
        e.signed_by = signed_entry(e, failed);
        if (!failed.isEmpty()) {
            error = failed;
            return std::nullopt;
        }
    }
    return entries;
}

std::optional<Checkpoint> Register::signed_entry(const Entry& entry, QString& error) const {
    const Link& last = entry.last_link();
    if (last.writer.isEmpty() || db_->version < table_of<Checkpoint>().since) {
        return std::nullopt;
    }
    QSqlQuery q(db_->database());
    q.prepare(QStringLiteral("SELECT %1 FROM checkpoints WHERE writer = ? AND writer_seq >= ? "
                             "ORDER BY writer_seq, id LIMIT 1")
                  .arg(column_list<Checkpoint>(db_->version)));
    q.addBindValue(last.writer);
    q.addBindValue(last.seq);
    std::optional<Checkpoint> found;
    if (!db_->stream(
            q, [&] { found = row_of<Checkpoint>(q, db_->version); }, error)) {
        return std::nullopt;
    }
    return found;
}

bool is_secret(const Change& change) {
    return change.wanted == kSecret;
}

std::optional<QString> value_left(const Change& change) {
    if (change.state == QLatin1String("written")) {
        return change.wanted;
    }
    if (change.state == QLatin1String("confirmed") ||
        change.state == QLatin1String("read_back_differs")) {
        return change.now;
    }
    return std::nullopt;
}

std::optional<std::vector<Difference>> Register::differences(const QString& imei, int a, int b,
                                                             Failure& failure) const {
    // Each field's value after an entry, and the entry that left it.
    struct Left {
        QString value;
        int entry = 0;
        bool secret = false;
    };
    std::map<QString, Left> after_a;
    std::map<QString, Left> after_b;
    int last = 0;
    BookFilter filter;
    filter.device = imei;
    filter.to = std::max(a, b);
    const bool read = each_entry(
        filter,
        [&](const Entry& e) {
            last = e.opened.entry.value_or(0);
            for (const Change& c : e.changes) {
                if (const std::optional<QString> value = value_left(c)) {
                    for (const auto& [state, upto] : {std::pair{&after_a, a}, {&after_b, b}}) {
                        if (last <= upto) {
                            (*state)[c.field] = {*value, last, is_secret(c)};
                        }
                    }
                }
            }
        },
        failure.text);
    if (!read) {
        failure.kind = Failure::Kind::register_unusable;
        return std::nullopt;
    }
    if (last < std::max(a, b) || std::min(a, b) < 1) {
        failure.kind = Failure::Kind::not_in_book;
        failure.text = QStringLiteral("the device %1 has no entry %2 in the register")
                           .arg(imei)
                           .arg(std::min(a, b) < 1 ? std::min(a, b) : std::max(a, b));
        return std::nullopt;
    }
    std::map<QString, Difference> differences;
    for (const auto& [state, other, from] :
         {std::tuple{&after_a, &after_b, true}, {&after_b, &after_a, false}}) {
        for (const auto& [field, left] : *state) {
            const auto there = other->find(field);
            const bool same = there != other->end() && there->second.value == left.value &&
                              (!left.secret || there->second.entry == left.entry);
            if (!same) {
                Difference& d = differences[field];
                d.field = field;
                d.secret = d.secret || left.secret;
                (from ? d.from : d.to) = left.value;
            }
        }
    }
    std::vector<Difference> list;
    for (auto& [field, d] : differences) {
        if (d.secret) {
            d.from = d.to = std::nullopt;
        }
        list.push_back(std::move(d));
    }
    return list;
}

QJsonObject entry_json(const Entry& e, bool whole) {
    QJsonObject o;
    for (const ColumnOf<Intervention>& c : table_of<Intervention>().columns) {
        o[QLatin1String(c.field)] = json_value(c, e.opened);
    }
    o[QLatin1String("entry")] = e.opened.entry ? QJsonValue(*e.opened.entry) : QJsonValue();
    o[QLatin1String("verdict")] = e.ended ? QJsonValue(e.ended->verdict) : QJsonValue();
    if (!whole) {
        return o;
    }
    QJsonArray changes;
    for (const Change& change : e.changes) {
        QJsonObject co;
        for (const ColumnOf<Change>& c : table_of<Change>().columns) {
            co[QLatin1String(c.field)] = json_value(c, change);
        }
        changes.append(co);
    }
    o[QLatin1String("changes")] = changes;
    QJsonObject end;
    for (const ColumnOf<InterventionEnd>& c : table_of<InterventionEnd>().columns) {
        end[QLatin1String(c.field)] = e.ended ? json_value(c, *e.ended) : QJsonValue();
    }
    o[QLatin1String("end")] = e.ended ? QJsonValue(end) : QJsonValue();
    return o;
}

namespace {

// One column of the book's export: its name in the CSV header and the JSON
// objects, and its value for a change of an entry (nothing for an entry
// without a change): a text, a number or null.
struct ExportColumn {
    const char* name;
    QVariant (*value)(const Entry&, const Change*);
};

QVariant text_or_null(const std::optional<QString>& text) {
    return text ? QVariant(*text) : QVariant();
}

const ExportColumn kExport[] = {
    {"entry",
     [](const Entry& e, const Change*) {
         return e.opened.entry ? QVariant(*e.opened.entry) : QVariant();
     }},
    {"date", [](const Entry& e, const Change*) { return QVariant(e.opened.time); }},
    {"imei", [](const Entry& e, const Change*) { return QVariant(e.opened.imei); }},
    {"sim_id", [](const Entry& e, const Change*) { return QVariant(e.opened.sim_id); }},
    {"technician", [](const Entry& e, const Change*) { return QVariant(e.opened.technician); }},
    {"authorization",
     [](const Entry& e, const Change*) { return QVariant(e.opened.authorization); }},
    {"kind", [](const Entry& e, const Change*) { return QVariant(e.opened.kind); }},
    {"seals_removed",
     [](const Entry& e, const Change*) { return QVariant(e.opened.seals_removed); }},
    {"seals_applied",
     [](const Entry& e, const Change*) {
         return text_or_null(e.ended ? std::optional(e.ended->seals_applied) : std::nullopt);
     }},
    {"verdict",
     [](const Entry& e, const Change*) {
         return text_or_null(e.ended ? std::optional(e.ended->verdict) : std::nullopt);
     }},
    {"field",
     [](const Entry&, const Change* c) {
         return text_or_null(c ? std::optional(c->field) : std::nullopt);
     }},
    {"before",
     [](const Entry&, const Change* c) { return c ? text_or_null(c->before) : QVariant(); }},
    {"wanted",
     [](const Entry&, const Change* c) {
         return text_or_null(c ? std::optional(c->wanted) : std::nullopt);
     }},
    {"now", [](const Entry&,
               const Change* c) { return text_or_null(c ? std::optional(c->now) : std::nullopt); }},
    {"state",
     [](const Entry&, const Change* c) {
         return text_or_null(c ? std::optional(c->state) : std::nullopt);
     }},
    {"id", [](const Entry& e, const Change*) { return QVariant(e.opened.id); }},
};

QByteArray csv_line(const Entry& e, const Change* c) {
    QByteArray line;
    for (const ExportColumn& column : kExport) {
        const QVariant value = column.value(e, c);
        line += (&column == kExport ? "" : ",") + (value.isNull() ? QByteArray()
                                                   : value.typeId() == QMetaType::Int
                                                       ? QByteArray::number(value.toInt())
                                                       : csv_field(value.toString()));
    }
    return line + "\r\n";
}

QByteArray json_line(const Entry& e, const Change* c, bool first) {
    QJsonObject o;
    for (const ExportColumn& column : kExport) {
        o[QLatin1String(column.name)] = QJsonValue::fromVariant(column.value(e, c));
    }
    return (first ? "[\n" : ",\n") + QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

std::optional<std::size_t> Register::export_book(const QString& file, Format format,
                                                 const BookFilter& filter, Failure& failure) const {
    // The rows go to the file as they are read, never all in memory.
    std::size_t rows = 0;
    return write_rows(
        file, format == Format::csv ? "CSV" : "JSON",
        [&](const settings::PieceWriter& write) {
            const auto put = [&write](const QByteArray& text) {
                return write(std::string_view(text.constData(), std::size_t(text.size())));
            };
            bool going = true;
            if (format == Format::csv) {
                QByteArray header = "\xEF\xBB\xBF";
                for (const ExportColumn& column : kExport) {
                    header += (&column == kExport ? "" : ",") + QByteArray(column.name);
                }
                going = put(header + "\r\n");
            }
            const auto row = [&](const Entry& e, const Change* c) {
                going = going &&
                        put(format == Format::csv ? csv_line(e, c) : json_line(e, c, rows == 0));
                ++rows;
            };
            const bool read = each_entry(
                filter,
                [&](const Entry& e) {
                    if (e.changes.empty()) {
                        row(e, nullptr);
                    }
                    for (const Change& c : e.changes) {
                        row(e, &c);
                    }
                },
                failure.text);
            if (format == Format::json) {
                going = going && put(rows == 0 ? "[]\n" : "\n]\n");
            }
            return read; // a write that failed is the writer's to tell
        },
        rows, failure);
}

} // namespace tessal::reg
