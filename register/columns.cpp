// SPDX-License-Identifier: Apache-2.0
#include "columns.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <algorithm>

namespace tessal::reg {

namespace {

using Rule = Column::Rule;

// "result" holds PASS or FAIL; a speed of 0 and a signal not read are NULL.
const Column kColumns[] = {
    {"time", "time", 1, &Record::time},
    {"port", "port", 1, &Record::port},
    {"speed", "speed", 1, &Record::speed},
    {"version", "version", 1, &Record::version},
    {"imei", "imei", 1, &Record::imei},
    {"sim_id", "sim_id", 1, &Record::sim_id},
    {"signal", "signal", 1, &Record::signal},
    {"profile_file", "profile_file", 1, &Record::profile_file},
    {"profile_sha256", "profile_sha256", 1, &Record::profile_sha256},
    {"apply_result", "apply_result", 1, &Record::apply_result, Rule::json_text},
    {"result", "result", 1, &Record::pass},
    {"failed", "failed", 1, &Record::failed},
    {"trace_file", "trace_file", 1, &Record::trace_file},
    {"uuid", "id", 2, &Record::id, Rule::made_when_empty},
    {"station", "station", 2, &Record::station},
    {"os_user", "user", 2, &Record::user},
    {"utc", "utc", 2, &Record::utc, Rule::from_time},
    {"check_result", "check_result", 3, &Record::check_result, Rule::json_text},
};

template <class... F> struct Visit : F... { using F::operator()...; };
template <class... F> Visit(F...) -> Visit<F...>;

QString pass_text(bool pass) {
    return pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

// The text a column holds for a row, its rule applied.
QString text_of(const Column& column, const Record& r) {
    const QString& value = r.*std::get<QString Record::*>(column.member);
    if (!value.isEmpty()) {
        return value;
    }
    switch (column.rule) {
    case Rule::made_when_empty:
        return QUuid::createUuid().toString(QUuid::WithoutBraces);
    case Rule::from_time:
        return utc_text(QDateTime::fromString(r.time, Qt::ISODate));
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

QByteArray csv_text_field(const QString& text) {
    QString quoted = formula_like(text) || long_digits(text) ? QLatin1Char('\'') + text : text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

} // namespace

std::span<const Column> columns() {
    return kColumns;
}

QString column_list(int version) {
    QString names;
    for (const Column& c : kColumns) {
        if (c.since <= version) {
            names += (names.isEmpty() ? "" : ", ") + QLatin1String(c.sql);
        }
    }
    return names;
}

QVariant bound(const Column& column, const Record& r) {
    return std::visit(
        Visit{[&](QString Record::*) { return QVariant(text_of(column, r)); },
              [&](int Record::*m) { return r.*m == 0 ? QVariant() : QVariant(r.*m); },
              [&](std::optional<int> Record::*m) { return r.*m ? QVariant(*(r.*m)) : QVariant(); },
              [&](bool Record::*m) { return QVariant(pass_text(r.*m)); }},
        column.member);
}

void read_into(const Column& column, const QVariant& value, Record& r) {
    std::visit(Visit{[&](QString Record::*m) { r.*m = value.toString(); },
                     [&](int Record::*m) { r.*m = value.toInt(); },
                     [&](std::optional<int> Record::*m) {
                         r.*m = value.isNull() ? std::nullopt : std::optional<int>(value.toInt());
                     },
                     [&](bool Record::*m) { r.*m = value.toString() == pass_text(true); }},
               column.member);
}

QByteArray csv_value(const Column& column, const Record& r) {
    return std::visit(
        Visit{[&](QString Record::*m) { return csv_text_field(r.*m); },
              [&](int Record::*m) { return r.*m == 0 ? QByteArray() : QByteArray::number(r.*m); },
              [&](std::optional<int> Record::*m) {
                  return r.*m ? QByteArray::number(*(r.*m)) : QByteArray();
              },
              [&](bool Record::*m) { return '"' + pass_text(r.*m).toLatin1() + '"'; }},
        column.member);
}

QJsonValue json_value(const Column& column, const Record& r) {
    return std::visit(
        Visit{[&](QString Record::*m) {
                  if (column.rule == Rule::json_text) {
                      const QJsonDocument held = QJsonDocument::fromJson((r.*m).toUtf8());
                      return held.isArray() ? QJsonValue(held.array()) : QJsonValue(r.*m);
                  }
                  return QJsonValue(r.*m);
              },
              [&](int Record::*m) { return r.*m == 0 ? QJsonValue() : QJsonValue(r.*m); },
              [&](std::optional<int> Record::*m) {
                  return r.*m ? QJsonValue(*(r.*m)) : QJsonValue();
              },
              [&](bool Record::*m) { return QJsonValue(pass_text(r.*m)); }},
        column.member);
}

} // namespace tessal::reg
