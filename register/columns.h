// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "register.h"

#include "settings/text_file.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QVariant>

#include <concepts>
#include <span>
#include <variant>

// The register's own: nothing outside register/ includes this.
namespace tessal::reg {

// One column of one of the register's tables, in one row of its own: the
// column's name, the name in the CSV file and the JSON object, the schema
// version that brought it, and the row's member it holds.  Binding, reading,
// the CSV and the JSON all come from it; adding a column is a row of its
// table (and the schema step that makes it).
template <class T> struct ColumnOf {
    // How a value beyond its member's own is made or shown.
    enum class Rule {
        plain,
        made_when_empty, // a fresh UUID for a row without one
        from_time,       // worked out from `time` when empty
        json_text,       // JSON text, shown in the JSON object as what it holds
    };
    using Member = std::variant<QString T::*, int T::*, std::optional<int> T::*, bool T::*,
                                std::optional<QString> T::*>;
    const char* sql;
    const char* field;
    int since; // the schema version that added it
    Member member;
    Rule rule = Rule::plain;
};

// One table: its name, the version that made it, its columns in their order
// (the table's, the CSV file's and the JSON object's).
template <class T> struct TableOf {
    const char* name;
    int since;
    std::span<const ColumnOf<T>> columns;
};

using Column = ColumnOf<Record>;

template <class T> const TableOf<T>& table_of();
template <> const TableOf<Record>& table_of<Record>();
template <> const TableOf<Intervention>& table_of<Intervention>();
template <> const TableOf<Change>& table_of<Change>();
template <> const TableOf<InterventionEnd>& table_of<InterventionEnd>();
template <> const TableOf<Checkpoint>& table_of<Checkpoint>();
// The columns of a row's link, which every chained table holds after its
// own (`name` is empty).
template <> const TableOf<Link>& table_of<Link>();

// Whether the rows of a table are chained: every table of rows but the
// checkpoints, which sign the chains.
template <class T>
concept chained = requires(T row) {
    { row.link } -> std::convertible_to<Link>;
};

// The commissioning rows' columns.
inline std::span<const Column> columns() {
    return table_of<Record>().columns;
}

// The column names of a schema version, separated by commas, its link's
// after them.
template <class T> QString column_list(int version);
inline QString column_list(int version) {
    return column_list<Record>(version);
}

// A column's value of a row, as bound into the table.
template <class T> QVariant bound(const ColumnOf<T>& column, const T& row);
// A column's value read from the table into the row.
template <class T> void read_into(const ColumnOf<T>& column, const QVariant& value, T& row);
// A column's value as a CSV field, as a JSON value.
template <class T> QByteArray csv_value(const ColumnOf<T>& column, const T& row);
template <class T> QJsonValue json_value(const ColumnOf<T>& column, const T& row);

// A text as a CSV field: quoted, kept text (see csv_text).
QByteArray csv_field(const QString& text);

// Writes a file whole with `produce`, which counts its `rows` (a file
// that cannot be written is told as the `kind` of file it is); the rows,
// or nothing with the failure.
std::optional<std::size_t> write_rows(const QString& file, const char* kind,
                                      const settings::Producer& produce, const std::size_t& rows,
                                      Failure& failure);

// The id, the table and the instant of any row.
QString id_of(const Row& row);
const char* table_name(const Row& row);

} // namespace tessal::reg
