// SPDX-License-Identifier: Apache-2.0
#include "output.h"

#include "device/device_text.h"
#include "link/signal_handover.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace tessal::cli {

namespace {

// The schema of every JSON object the program writes.
constexpr int kSchema = 1;

QString member_name(const Field& field) {
    return device::from_device(field.name);
}

QJsonValue json_value(const Field& field) {
    switch (field.state) {
    case Field::State::value:
        return device::from_device(field.value);
    case Field::State::text:
        return QString::fromStdString(field.value);
    case Field::State::number:
        return static_cast<qint64>(std::stoll(field.value));
    case Field::State::truth:
        return field.value == "true";
    case Field::State::members:
        return field.members;
    case Field::State::missing:
    case Field::State::left_out:
        break;
    }
    return QJsonValue();
}

// The fields as members of `into`: each under its name, a record's own
// members beside them, none for a field left out or of the line alone.
void put_members(QJsonObject& into, const std::vector<Field>& fields) {
    for (const Field& field : fields) {
        if (field.state == Field::State::members) {
            for (auto member = field.members.begin(); member != field.members.end(); ++member) {
                into[member.key()] = member.value();
            }
        } else if (field.state != Field::State::left_out && !field.name.empty()) {
            into[member_name(field)] = json_value(field);
        }
    }
}

QJsonObject object_of(const std::vector<Field>& fields) {
    QJsonObject object;
    put_members(object, fields);
    return object;
}

// Any text as a line for a person shows it: the device's in its character
// set, the program's own in UTF-8.
std::string visible(const Field& field) {
    return field.state == Field::State::text
               ? device::visible(QString::fromStdString(field.value)).toStdString()
               : printable(field_text(field));
}

// The line of the fields a line shows; empty when it shows none.
std::string line_of(const std::vector<Field>& fields) {
    std::string line;
    for (const Field& field : fields) {
        if (field.line.before == nullptr) {
            continue;
        }
        const std::string text = field_text(field);
        std::string value;
        switch (field.line.shown) {
        case Line::Shown::plain:
            value = field.state == Field::State::value ? printable(text) : text;
            break;
        case Line::Shown::quoted:
            value = text.empty() ? "\"\"" : visible(field);
            break;
        case Line::Shown::when_given:
            if (text.empty()) {
                continue;
            }
            value = visible(field);
            break;
        }
        line += field.line.before + value + field.line.after;
    }
    return line;
}

// A line added to the text, below those it holds.
void add_line(Result& r, const std::string& line) {
    r.text += (r.text.empty() ? "" : "\n") + line;
}

// The failure a signal leaves, when one came.
std::optional<Result> signal_failure(int caught_signal) {
    if (caught_signal == 0) {
        return std::nullopt;
    }
    return caught_signal == SIGINT ? failure(Own::sigint, "interrupted (SIGINT)")
                                   : failure(Own::sigterm, "interrupted (SIGTERM)");
}

void write_json(const Result& result, int exit, const std::optional<Result::Error>& error) {
    QJsonObject object = result.values;
    const auto finish = [&result](const QByteArray& text) {
        // The streamed list's array ends, and the object with the rest.
        return result.streamed.empty() ? text : "]," + text.mid(1);
    };
    object["schema"] = kSchema;
    object["ok"] = exit == 0;
    if (!result.notes.isEmpty()) {
        object["messages"] = QJsonArray::fromStringList(result.notes);
    }
    if (exit != 0 && error) {
        QJsonObject e;
        e["code"] = QString::fromStdString(error->code);
        e["message"] = device::from_device(error->message);
        e["detail"] = device::from_device(error->detail);
        object["error"] = e;
    }
    std::cout << finish(QJsonDocument(object).toJson(QJsonDocument::Compact)).toStdString() << '\n';
}

// The device's bytes on standard output as they came.  On Windows standard
// output is in text mode, which puts a CR before every LF (a device's CR LF
// would go out as CR CR LF): it is in binary mode while they are written,
// and only then, so that every line the program makes itself still ends as
// the system's text does.
void write_as_it_came(const std::string& bytes) {
#ifdef _WIN32
    std::cout.flush();
    std::fflush(stdout);
    const int mode = _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::cout << bytes;
#ifdef _WIN32
    std::cout.flush();
    std::fflush(stdout);
    if (mode != -1) {
        _setmode(_fileno(stdout), mode);
    }
#endif
}

void write_text(const Result& result, int exit, const std::optional<Result::Error>& error) {
    for (const std::string& warning : result.warnings) {
        std::cerr << warning << '\n';
    }
    for (const QString& note : result.notes) {
        std::cerr << device::visible(note).toStdString() << '\n';
    }
    if (!result.text.empty() && (exit == 0 || result.as_it_came || result.shown_on_failure)) {
        if (result.as_it_came) {
            write_as_it_came(result.text);
        } else {
            std::cout << result.text << '\n';
        }
    }
    if (exit != 0 && error) {
        const auto told = [&error](const std::string& text) {
            return error->quotes_device ? printable(text) : text;
        };
        const std::string& first = !error->message.empty()  ? error->message
                                   : !error->detail.empty() ? error->detail
                                                            : error->code;
        std::cerr << told(first) << '\n';
        if (!error->message.empty() && !error->detail.empty()) {
            std::cerr << told(error->detail) << '\n';
        }
    }
}

} // namespace

Field maybe(std::string name, const std::optional<std::string>& value) {
    return value ? Field{std::move(name), *value}
                 : Field{std::move(name), {}, Field::State::missing};
}

Field device_text(std::string value) {
    return {{}, std::move(value)};
}

Field own_text(std::string value) {
    return {{}, std::move(value), Field::State::text};
}

Field number(long long value) {
    return {{}, std::to_string(value), Field::State::number};
}

Field truth(bool value) {
    return {{}, value ? "true" : "false", Field::State::truth};
}

Field unless_empty(std::string value) {
    return value.empty() ? left_out() : device_text(std::move(value));
}

Field left_out() {
    return {{}, {}, Field::State::left_out};
}

Field members(QJsonObject members) {
    return {{}, {}, Field::State::members, {}, std::move(members)};
}

std::string field_text(const Field& field) {
    return field.state == Field::State::missing ? std::string() : field.value;
}

std::string field_lines(const std::vector<Field>& fields) {
    std::string text;
    for (const Field& field : fields) {
        text += (text.empty() ? "" : "\n") + field.name + ": " + printable(field_text(field));
    }
    return text;
}

void add_fields(Result& r, const std::vector<Field>& fields) {
    put_members(r.values, fields);
    if (std::any_of(fields.begin(), fields.end(),
                    [](const Field& field) { return field.line.before != nullptr; })) {
        add_line(r, line_of(fields));
    }
}

void add_group(Result& r, const std::string& name, const std::vector<Field>& fields) {
    r.values[QString::fromStdString(name)] = object_of(fields);
}

void add_names(Result& r, const std::string& name, const std::vector<std::string>& names) {
    QJsonArray list;
    for (const std::string& text : names) {
        list.append(device::from_device(text));
    }
    r.values[QString::fromStdString(name)] = list;
}

void add_rows(Result& r, const std::string& name, const std::vector<std::vector<Field>>& rows) {
    QJsonArray list;
    for (const std::vector<Field>& row : rows) {
        list.append(object_of(row));
        add_line(r, line_of(row));
    }
    r.values[QString::fromStdString(name)] = list;
}

void add_record(Result& r, const device::BookState& state, const device::Technician& by) {
    const bool unrecorded = state.handed < state.given || state.unrecorded > 0;
    const bool waiting = !unrecorded && state.waiting > 0;
    const auto named = [](std::string name, Field field) {
        field.name = std::move(name);
        return field;
    };
    const auto known = [&named](std::string name, bool known, Field field) {
        return known ? named(std::move(name), std::move(field))
                     : Field{std::move(name), {}, Field::State::missing};
    };
    add_group(r, "record",
              {known("entry", state.entry.has_value(), number(state.entry.value_or(0))),
               named("kept", own_text(unrecorded ? "unrecorded"
                                      : waiting  ? "waiting"
                                                 : "recorded")),
               known("technician", by.named(), own_text(by.name)),
               named("waiting", number(state.waiting)),
               known("why", !state.why.empty(), own_text(state.why))});
    if (waiting) {
        r.warnings.push_back("record: kept locally, " + std::to_string(state.waiting) +
                             " waiting for the register");
    } else if (unrecorded) {
        r.warnings.push_back("record: not recorded" +
                             (state.why.empty() ? std::string() : ": " + state.why));
    }
}

void write_fields(const std::vector<Field>& fields, bool json) {
    if (json) {
        QJsonObject object = object_of(fields);
        object["schema"] = kSchema;
        std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    } else {
        std::cout << line_of(fields);
    }
    std::cout << std::endl;
}

void StreamedList::add_row(const std::vector<Field>& row) {
    if (json_) {
        // The member's name is the program's own: it needs no escape.
        std::cout << (rows_ == 0 ? "{\"" + name_ + "\":[" : std::string(","))
                  << QJsonDocument(object_of(row)).toJson(QJsonDocument::Compact).toStdString();
    } else {
        std::cout << line_of(row) << '\n';
    }
    ++rows_;
}

Result StreamedList::ended(Result r) const {
    if (rows_ > 0) {
        r.streamed = json_ ? name_ : std::string();
    } else if (!r.error) {
        r.values[QString::fromStdString(name_)] = QJsonArray();
    }
    return r;
}

void tell_person(const std::string& line, bool json) {
    if (!json) {
        std::cerr << line << std::endl;
    }
}

Result single(const Field& field) {
    Result r;
    Field alone = field;
    alone.line = {""};
    add_fields(r, {alone});
    return r;
}

Result as_it_came(const Field& field) {
    Result r;
    add_fields(r, {field});
    r.text = field_text(field);
    r.as_it_came = true;
    return r;
}

Result grouped(const std::string& name, const std::vector<Field>& fields, std::string text) {
    Result r;
    add_group(r, name, fields);
    r.text = std::move(text);
    return r;
}

std::string printable(const std::string& text) {
    return device::visible(device::from_device(text)).toStdString();
}

std::string shown(const std::string& value) {
    return value.empty() ? "\"\"" : printable(value);
}

int report(const Result& result, bool json) {
    const std::optional<Result> stopped = signal_failure(link::last_signal());
    const int exit = stopped ? stopped->exit : result.exit;
    const std::optional<Result::Error>& error = stopped ? stopped->error : result.error;
    if (json) {
        write_json(result, exit, error);
    } else {
        write_text(result, exit, error);
    }
    return exit;
}

} // namespace tessal::cli
