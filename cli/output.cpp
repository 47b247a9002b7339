// SPDX-License-Identifier: Apache-2.0
#include "output.h"

#include "device/device_text.h"
#include "link/signal_handover.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <iostream>

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

void write_text(const Result& result, int exit, const std::optional<Result::Error>& error) {
    for (const std::string& warning : result.warnings) {
        std::cerr << warning << '\n';
    }
    for (const QString& note : result.notes) {
        std::cerr << note.toLatin1().toStdString() << '\n';
    }
    if (!result.text.empty() && (exit == 0 || result.raw || exit == kMismatch)) {
        std::cout << result.text;
        if (!result.raw) {
            std::cout << '\n';
        }
    }
    if (exit != 0 && error) {
        const std::string& shown = !error->message.empty()  ? error->message
                                   : !error->detail.empty() ? error->detail
                                                            : error->code;
        std::cerr << shown << '\n';
        if (!error->message.empty() && !error->detail.empty()) {
            std::cerr << error->detail << '\n';
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
        text += (text.empty() ? "" : "\n") + field.name + ": " +
                device::from_device(field_text(field)).toStdString();
    }
    return text;
}

Result single(const Field& field) {
    Result r;
    add_fields(r.values, {field});
    r.text = field_text(field);
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
    std::string out;
    for (const char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            constexpr const char* kHex = "0123456789ABCDEF";
            out += {'\\', 'x', kHex[code >> 4], kHex[code & 0x0F]};
        } else {
            out += ch;
        }
    }
    return out;
}

std::string shown(const std::string& value) {
    return value.empty() ? "\"\"" : printable(value);
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
