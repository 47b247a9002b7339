// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/commands.h"
#include "device/outcome.h"

#include <QJsonObject>

#include <string>
#include <vector>

// tessal-cli's output in one place: a command gives its fields, and they are
// written as text for a person or as members of the one JSON object.
namespace tessal::cli {

struct Field {
    enum class State {
        value,   // a text the device gave
        number,  // a whole number, written out: a JSON number
        missing, // nothing to show: JSON null, an empty text
    };
    std::string name;  // the JSON member, and the label of a line of text
    std::string value; // in the device's character set
    State state = State::value;
};

// A field that holds `value` when there is one, and is missing otherwise.
Field maybe(std::string name, const std::optional<std::string>& value);

// The fields as JSON members of `into`.
void add_fields(QJsonObject& into, const std::vector<Field>& fields);
// One field's value, in the device's character set; empty when missing.
std::string field_text(const Field& field);
// The fields as lines "name: value" for a person, in UTF-8, without the last
// line end.
std::string field_lines(const std::vector<Field>& fields);

// A result of one field: its JSON member, and its value as the text.
Result single(const Field& field);
// The same, the text the device's bytes as they came (see Result::as_it_came).
Result as_it_came(const Field& field);
// A result whose JSON member `name` is an object of `fields`, and whose text
// is given.
Result grouped(const std::string& name, const std::vector<Field>& fields, std::string text);

// The values of a write as the result's "values": a JSON array of objects
// of their parts (device::value_parts), each without its empty members, and
// a line each for a person (device::value_line), shown whatever the
// outcome.
void list_values(Result& r, const std::vector<device::ValueState>& values);

// A text in the device's character set (from the device, a file, the
// machine) as a line for a person shows it: device::visible, in UTF-8.
std::string printable(const std::string& text);
// A value in a line for a person: an empty one as "".
std::string shown(const std::string& value);

// Writes the result: one JSON object, or the text for a person with
// failures on standard error.  The exit status, 128 and the signal's number
// after SIGINT or SIGTERM.
int report(const Result& result, bool json);

} // namespace tessal::cli
