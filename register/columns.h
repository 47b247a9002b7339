// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "register.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QVariant>

#include <span>
#include <variant>

// The register's own: nothing outside register/ includes this.
namespace tessal::reg {

// One column of the register, in one row of its own: the table's name, the
// name in the CSV file and the JSON object, the schema version that brought
// it, and the row's member it holds.  Binding, reading, the CSV and the JSON
// all come from it; adding a column is a row here (and the schema step that
// makes it).
struct Column {
    // How a value beyond its member's own is made or shown.
    enum class Rule {
        plain,
        made_when_empty, // a fresh UUID for a row without one
        from_time,       // worked out from `time` when empty
        json_text,       // JSON text, shown in the JSON object as what it holds
    };
    using Member = std::variant<QString Record::*, int Record::*, std::optional<int> Record::*,
                                bool Record::*>;
    const char* sql;
    const char* field;
    int since; // the schema version that added it
    Member member;
    Rule rule = Rule::plain;
};

// The columns in their order: the table's, the CSV file's and the JSON object's.
std::span<const Column> columns();

// The column names of a schema version, separated by commas.
QString column_list(int version);

// A column's value of a row, as bound into the table.
QVariant bound(const Column& column, const Record& record);
// A column's value read from the table into the row.
void read_into(const Column& column, const QVariant& value, Record& record);
// A column's value as a CSV field, as a JSON value.
QByteArray csv_value(const Column& column, const Record& record);
QJsonValue json_value(const Column& column, const Record& record);

} // namespace tessal::reg
