// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/commands.h"
#include "device/outcome.h"
#include "device/service_book.h"

#include <QJsonObject>

#include <span>
#include <string>
#include <vector>

// tessal-cli's output in one place: a command gives its fields, records and
// lists, and they are written as text for a person or as members of the
// one JSON object.  No command writes either itself.
namespace tessal::cli {

// Where a line for a person shows a field: after `before`, then `after`.  A
// field without `before` is for the JSON object alone.
struct Line {
    enum class Shown {
        plain,      // a device's text as visible characters, the program's own as it is
        quoted,     // as visible characters, an empty one as ""
        when_given, // as visible characters; left out, with the text around it, when empty
    };
    const char* before = nullptr;
    const char* after = "";
    Shown shown = Shown::plain;
};

struct Field {
    enum class State {
        value,    // a text the device gave, in its character set
        text,     // the program's or the machine's own text, in UTF-8: a path, a line
        number,   // a whole number, written out: a JSON number
        truth,    // "true" or "false": a JSON boolean
        missing,  // nothing to show: JSON null, an empty text
        left_out, // nothing to show, and no JSON member either
        // The JSON members of a record that its own layer renders (a
        // register row): they stand in the object itself, under no name.
        members,
    };
    std::string name;  // the JSON member, and the label of a line of text
    std::string value; // in the device's character set, or UTF-8 for `text`
    State state = State::value;
    Line line = {};
    QJsonObject members = {};
};

// A field that holds `value` when there is one, and is missing otherwise.
Field maybe(std::string name, const std::optional<std::string>& value);

// The value of a record's column (its name and line are the column's).
Field device_text(std::string value);
Field own_text(std::string value);
Field number(long long value);
Field truth(bool value);
// A device's text, or no member at all when it is empty.
Field unless_empty(std::string value);
Field left_out();
Field members(QJsonObject members);

// One column of a kind of record: its JSON member (none for a column of
// the line alone, or for a record's own members), its value in a record,
// and where the record's line shows it.
template <class T> struct Column {
    const char* name;
    Field (*value)(const T&);
    Line line = {};
};

// One field's value, in the device's character set; empty when missing.
std::string field_text(const Field& field);
// The fields as lines "name: value" for a person, in UTF-8, without the last
// line end.
std::string field_lines(const std::vector<Field>& fields);

// The fields as members of the result's JSON object, and their line (those
// of them a line shows) as a line of its text.
void add_fields(Result& r, const std::vector<Field>& fields);
// A JSON object of `fields` as the member `name`; the text stays as it is.
void add_group(Result& r, const std::string& name, const std::vector<Field>& fields);
// A JSON array of texts as the member `name`; the text stays as it is.
void add_names(Result& r, const std::string& name, const std::vector<std::string>& names);

// Records as rows of fields, column by column.
template <class T, class Items>
std::vector<std::vector<Field>> rows_of(const Items& items, std::span<const Column<T>> columns) {
    std::vector<std::vector<Field>> rows;
    for (const T& item : items) {
        std::vector<Field>& row = rows.emplace_back();
        for (const Column<T>& column : columns) {
            Field field = column.value(item);
            field.name = column.name;
            field.line = column.line;
            row.push_back(std::move(field));
        }
    }
    return rows;
}

// The rows as a JSON array of objects, the member `name`, and a line each
// in the text.
void add_rows(Result& r, const std::string& name, const std::vector<std::vector<Field>>& rows);
template <class T, std::size_t N, class Items>
void add_list(Result& r, const std::string& name, const Items& items,
              const Column<T> (&columns)[N]) {
    add_rows(r, name, rows_of<T>(items, std::span(columns)));
}

// One record on a line of its own, at once: its line for a person, or with
// --json one whole object with "schema": 1.  For a command that goes on
// (the station, device after device).
void write_fields(const std::vector<Field>& fields, bool json);
template <class T, std::size_t N>
void write_record(const T& item, const Column<T> (&columns)[N], bool json) {
    write_fields(rows_of<T>(std::span(&item, 1), std::span(columns)).front(), json);
}
// A list written as its rows come, so that memory does not grow with them:
// each row's line for a person at once, or with --json each row's object as
// an element of the member `name` of the one JSON object, which report()
// ends with the result's other members.
class StreamedList {
  public:
    StreamedList(std::string name, bool json) : name_(std::move(name)), json_(json) {}
    template <class T, std::size_t N> void add(const T& item, const Column<T> (&columns)[N]) {
        add_row(rows_of<T>(std::span(&item, 1), std::span(columns)).front());
    }
    void add_row(const std::vector<Field>& row);
    std::size_t rows() const { return rows_; }
    // The result the list ends with: its rows already out, or none.
    Result ended(Result r) const;

  private:
    std::string name_;
    bool json_;
    std::size_t rows_ = 0;
};

// A line for the person at the terminal on standard error; nothing with
// --json.
void tell_person(const std::string& line, bool json);

// What became of the rows a run gave the service book: the JSON member
// "record", {"entry", "kept", "technician", "waiting", "why"} ("kept" is
// "recorded", "waiting" or "unrecorded"; null for what is not known), and
// for rows that did not reach the register a line for the person at the
// terminal on standard error.  `by`: the technician of the entry recorded.
void add_record(Result& r, const device::BookState& state, const device::Technician& by);

// A result of one field: its JSON member, and its value as the text.
Result single(const Field& field);
// The same, the text the device's bytes as they came (see Result::as_it_came).
Result as_it_came(const Field& field);
// A result whose JSON member `name` is an object of `fields`, and whose text
// is given.
Result grouped(const std::string& name, const std::vector<Field>& fields, std::string text);

// A text in the device's character set (from the device, a file, the
// machine) as a line for a person shows it: device::visible, in UTF-8.
std::string printable(const std::string& text);
// A value in a line for a person: an empty one as "".
std::string shown(const std::string& value);

// Writes the result: one JSON object, or the text for a person with
// failures on standard error.  The exit status; after SIGINT or SIGTERM,
// theirs.
int report(const Result& result, bool json);

} // namespace tessal::cli
