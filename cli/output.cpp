// SPDX-License-Identifier: Apache-2.0
#include "output.h"

#include "device/device_text.h"
#include "link/signal_handover.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace tessal::cli {

namespace {

QJsonValue json_value(const Field& field) {
    switch (field.state) {
    case Field::State::value:
        return device::from_device(field.value);
    case Field::State::number:
        return std::stoi(field.value);
    case Field::State::missing:
        break;
    }
    return QJsonValue();
}

// The error a signal leaves, when one came.
std::optional<Result::Error> signal_error(int caught_signal) {
    if (caught_signal == 0) {
        return std::nullopt;
    }
    return Result::Error{"interrupted",
                         caught_signal == SIGINT ? "interrupted (SIGINT)" : "interrupted (SIGTERM)",
                         {}};
}

void write_json(const Result& result, int exit, const std::optional<Result::Error>& error) {
    QJsonObject object = result.values;
    object["schema"] = 1;
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
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n';
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
    if (!result.text.empty() && (exit == 0 || result.raw || exit == kMismatch)) {
        if (result.as_it_came) {
            write_as_it_came(result.text);
        } else {
            std::cout << result.text;
        }
        if (!result.raw) {
            std::cout << '\n';
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

void add_fields(QJsonObject& into, const std::vector<Field>& fields) {
    for (const Field& field : fields) {
        into[QString::fromStdString(field.name)] = json_value(field);
    }
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

Result single(const Field& field) {
    Result r;
    add_fields(r.values, {field});
    r.text = printable(field_text(field));
    return r;
}

Result as_it_came(const Field& field) {
    Result r;
    add_fields(r.values, {field});
    r.text = field_text(field);
    r.raw = true;
    r.as_it_came = true;
    return r;
}

Result grouped(const std::string& name, const std::vector<Field>& fields, std::string text) {
    Result r;
    QJsonObject group;
    add_fields(group, fields);
    r.values[QString::fromStdString(name)] = group;
    r.text = std::move(text);
    return r;
}

std::string printable(const std::string& text) {
    return device::visible(device::from_device(text)).toStdString();
}

std::string shown(const std::string& value) {
    return value.empty() ? "\"\"" : printable(value);
}

void list_values(Result& r, const std::vector<device::ValueState>& values) {
    QJsonArray list;
    for (const device::ValueState& v : values) {
        QJsonObject entry;
        for (const auto& [name, text] : device::value_parts(v)) {
            if (!text.empty()) {
                entry[name] = device::from_device(text);
            }
        }
        list.append(entry);
        r.text += printable(device::value_line(v)) + "\n";
    }
    r.values["values"] = list;
    r.raw = true;
}

int report(const Result& result, bool json) {
    int exit = result.exit;
    std::optional<Result::Error> error = result.error;
    if (const int caught_signal = link::last_signal(); caught_signal != 0) {
        exit = 128 + caught_signal;
        error = signal_error(caught_signal);
    }
    if (json) {
        write_json(result, exit, error);
    } else {
        write_text(result, exit, error);
    }
    return exit;
}

} // namespace tessal::cli
