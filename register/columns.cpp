// SPDX-License-Identifier: Apache-2.0
#include "columns.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <algorithm>

namespace tessal::reg {

namespace {

// "result" holds PASS or FAIL; a speed of 0 and a signal not read are NULL.
const Column kDevices[] = {
    {"time", "time", 1, &Record::time},
    {"port", "port", 1, &Record::port},
    {"speed", "speed", 1, &Record::speed},
    {"version", "version", 1, &Record::version},
    {"imei", "imei", 1, &Record::imei},
    {"sim_id", "sim_id", 1, &Record::sim_id},
    {"signal", "signal", 1, &Record::signal},
    {"profile_file", "profile_file", 1, &Record::profile_file},
    {"profile_sha256", "profile_sha256", 1, &Record::profile_sha256},
    {"apply_result", "apply_result", 1, &Record::apply_result, Column::Rule::json_text},
    {"result", "result", 1, &Record::pass},
    {"failed", "failed", 1, &Record::failed},
    {"trace_file", "trace_file", 1, &Record::trace_file},
    {"uuid", "id", 2, &Record::id, Column::Rule::made_when_empty},
    {"station", "station", 2, &Record::station},
    {"os_user", "user", 2, &Record::user},
    {"utc", "utc", 2, &Record::utc, Column::Rule::from_time},
    {"check_result", "check_result", 3, &Record::check_result, Column::Rule::json_text},
};

// The service book's tables.  An entry's number is not among its columns:
// the register that keeps the book gives it as the row arrives.
using I = Intervention;
const ColumnOf<I> kInterventions[] = {
    {"uuid", "id", 4, &I::id, ColumnOf<I>::Rule::made_when_empty},
    {"time", "time", 4, &I::time},
    {"utc", "utc", 4, &I::utc, ColumnOf<I>::Rule::from_time},
    {"imei", "imei", 4, &I::imei},
    {"version", "version", 4, &I::version},
    {"sim_id", "sim_id", 4, &I::sim_id},
    {"port", "port", 4, &I::port},
    {"technician", "technician", 4, &I::technician},
    {"authorization_number", "authorization", 4, &I::authorization},
    {"company", "company", 4, &I::company},
    {"station", "station", 4, &I::station},
    {"os_user", "user", 4, &I::user},
    {"kind", "kind", 4, &I::kind},
    {"seals_removed", "seals_removed", 4, &I::seals_removed},
};

using C = Change;
const ColumnOf<C> kChanges[] = {
    {"uuid", "id", 4, &C::id, ColumnOf<C>::Rule::made_when_empty},
    {"intervention", "intervention", 4, &C::intervention},
    {"seq", "seq", 4, &C::seq},
    {"time", "time", 4, &C::time},
    {"utc", "utc", 4, &C::utc, ColumnOf<C>::Rule::from_time},
    {"write_kind", "write", 4, &C::write},
    {"field", "field", 4, &C::field},
    {"before_value", "before", 4, &C::before},
    {"wanted", "wanted", 4, &C::wanted},
    {"now_value", "now", 4, &C::now},
    {"state", "state", 4, &C::state},
    {"why", "why", 4, &C::why},
};

using E = InterventionEnd;
const ColumnOf<E> kEnds[] = {
    {"uuid", "id", 4, &E::id, ColumnOf<E>::Rule::made_when_empty},
    {"intervention", "intervention", 4, &E::intervention},
    {"time", "time", 4, &E::time},
    {"utc", "utc", 4, &E::utc, ColumnOf<E>::Rule::from_time},
    {"seals_applied", "seals_applied", 4, &E::seals_applied},
    {"note", "note", 4, &E::note},
    {"verdict", "verdict", 4, &E::verdict},
};

using K = Checkpoint;
const ColumnOf<K> kCheckpoints[] = {
    {"uuid", "id", 5, &K::id, ColumnOf<K>::Rule::made_when_empty},
    {"writer", "writer", 5, &K::writer},
    {"writer_seq", "seq", 5, &K::seq},
    {"row_hash", "hash", 5, &K::hash},
    {"time", "time", 5, &K::time},
    {"utc", "utc", 5, &K::utc, ColumnOf<K>::Rule::from_time},
    {"signature", "signature", 5, &K::signature},
};

// A row's place in its writer's chain, in every table of rows the program
// adds; none for a row in no chain.
using L = Link;
const ColumnOf<L> kLinks[] = {
    {"writer", "writer", 5, &L::writer},
    {"writer_seq", "writer_seq", 5, &L::seq},
    {"prev_hash", "prev_hash", 5, &L::prev},
    {"row_hash", "row_hash", 5, &L::hash},
};

template <class... F> struct Visit : F... { using F::operator()...; };
template <class... F> Visit(F...) -> Visit<F...>;

QString pass_text(bool pass) {
    return pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

// The text a column holds for a row, its rule applied.
template <class T> QString text_of(const ColumnOf<T>& column, const T& r) {
    using Rule = typename ColumnOf<T>::Rule;
    const QString& value = r.*std::get<QString T::*>(column.member);
    if (!value.isEmpty()) {
        return value;
    }
    switch (column.rule) {
    case Rule::made_when_empty:
        return QUuid::createUuid().toString(QUuid::WithoutBraces);
    case Rule::from_time:
        if constexpr (requires { r.time; }) {
            return utc_text(QDateTime::fromString(r.time, Qt::ISODate));
        }
        break;
    case Rule::plain:
    case Rule::json_text:
        break;
    }
    return QLatin1String(""); // empty text, never NULL
}

// A spreadsheet takes a cell beginning with one of these for a formula.
bool formula_like(const QString& text) {
    static const QString starts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && starts.contains(text.front());
}

// More digits than a spreadsheet shows of a number: it would round them.
bool long_digits(const QString& text) {
    return text.size() > 11 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

} // namespace

QByteArray csv_field(const QString& text) {
    QString quoted = formula_like(text) || long_digits(text) ? QLatin1Char('\'') + text : text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

template <> const TableOf<Record>& table_of<Record>() {
    static const TableOf<Record> table{"devices", 1, kDevices};
    return table;
}
template <> const TableOf<Intervention>& table_of<Intervention>() {
    static const TableOf<Intervention> table{"interventions", 4, kInterventions};
    return table;
}
template <> const TableOf<Change>& table_of<Change>() {
    static const TableOf<Change> table{"changes", 4, kChanges};
    return table;
}
template <> const TableOf<InterventionEnd>& table_of<InterventionEnd>() {
    static const TableOf<InterventionEnd> table{"intervention_ends", 4, kEnds};
    return table;
}
template <> const TableOf<Checkpoint>& table_of<Checkpoint>() {
    static const TableOf<Checkpoint> table{"checkpoints", 5, kCheckpoints};
    return table;
}
template <> const TableOf<Link>& table_of<Link>() {
    static const TableOf<Link> table{"", 5, kLinks};
    return table;
}

QString id_of(const Row& row) {
    return std::visit([](const auto& r) { return r.id; }, row);
}

const char* table_name(const Row& row) {
    return std::visit([](const auto& r) { return table_of<std::decay_t<decltype(r)>>().name; },
                      row);
}

template <class T> QString column_list(int version) {
    QString names;
    for (const ColumnOf<T>& c : table_of<T>().columns) {
        if (c.since <= version) {
            names += (names.isEmpty() ? "" : ", ") + QLatin1String(c.sql);
        }
    }
    if constexpr (chained<T>) {
        if (version >= table_of<Link>().since) {
            names += QStringLiteral(", ") + column_list<Link>(version);
        }
    }
    return names;
}

template <class T> QVariant bound(const ColumnOf<T>& column, const T& r) {
    return std::visit(
        Visit{[&](QString T::*) { return QVariant(text_of(column, r)); },
              [&](int T::*m) { return r.*m == 0 ? QVariant() : QVariant(r.*m); },
              [&](std::optional<int> T::*m) { return r.*m ? QVariant(*(r.*m)) : QVariant(); },
              [&](bool T::*m) { return QVariant(pass_text(r.*m)); },
              [&](std::optional<QString> T::*m) {
                  // Not read is NULL; read as empty, the empty text.
                  return r.*m ? QVariant(*(r.*m) + QLatin1String("")) : QVariant();
              }},
        column.member);
}

template <class T> void read_into(const ColumnOf<T>& column, const QVariant& value, T& r) {
    std::visit(Visit{[&](QString T::*m) { r.*m = value.toString(); },
                     [&](int T::*m) { r.*m = value.toInt(); },
                     [&](std::optional<int> T::*m) {
                         r.*m = value.isNull() ? std::nullopt : std::optional<int>(value.toInt());
                     },
                     [&](bool T::*m) { r.*m = value.toString() == pass_text(true); },
                     [&](std::optional<QString> T::*m) {
                         r.*m = value.isNull() ? std::nullopt
                                               : std::optional<QString>(value.toString());
                     }},
               column.member);
}

template <class T> QByteArray csv_value(const ColumnOf<T>& column, const T& r) {
    return std::visit(
        Visit{
            [&](QString T::*m) { return csv_field(r.*m); },
            [&](int T::*m) { return r.*m == 0 ? QByteArray() : QByteArray::number(r.*m); },
            [&](std::optional<int> T::*m) {
                return r.*m ? QByteArray::number(*(r.*m)) : QByteArray();
            },
            [&](bool T::*m) { return '"' + pass_text(r.*m).toLatin1() + '"'; },
            [&](std::optional<QString> T::*m) { return r.*m ? csv_field(*(r.*m)) : QByteArray(); }},
        column.member);
}

template <class T> QJsonValue json_value(const ColumnOf<T>& column, const T& r) {
    return std::visit(
        Visit{[&](QString T::*m) {
                  if (column.rule == ColumnOf<T>::Rule::json_text) {
                      const QJsonDocument held = QJsonDocument::fromJson((r.*m).toUtf8());
                      return held.isArray() ? QJsonValue(held.array()) : QJsonValue(r.*m);
                  }
                  return QJsonValue(r.*m);
              },
              [&](int T::*m) { return r.*m == 0 ? QJsonValue() : QJsonValue(r.*m); },
              [&](std::optional<int> T::*m) { return r.*m ? QJsonValue(*(r.*m)) : QJsonValue(); },
              [&](bool T::*m) { return QJsonValue(pass_text(r.*m)); },
              [&](std::optional<QString> T::*m) {
                  return r.*m ? QJsonValue(*(r.*m)) : QJsonValue();
              }},
        column.member);
}

// Every table's.
#define TESSAL_ROW_FUNCTIONS(T)                                                                    \
    template QString column_list<T>(int);                                                          \
    template QVariant bound<T>(const ColumnOf<T>&, const T&);                                      \
    template void read_into<T>(const ColumnOf<T>&, const QVariant&, T&);                           \
    template QByteArray csv_value<T>(const ColumnOf<T>&, const T&);                                \
    template QJsonValue json_value<T>(const ColumnOf<T>&, const T&);
TESSAL_ROW_FUNCTIONS(Record)
TESSAL_ROW_FUNCTIONS(Intervention)
TESSAL_ROW_FUNCTIONS(Change)
TESSAL_ROW_FUNCTIONS(InterventionEnd)
TESSAL_ROW_FUNCTIONS(Checkpoint)
TESSAL_ROW_FUNCTIONS(Link)
#undef TESSAL_ROW_FUNCTIONS

} // namespace tessal::reg
