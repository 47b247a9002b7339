// SPDX-License-Identifier: Apache-2.0
#include "device_text.h"

#include "device/replies.h"

#include <algorithm>

namespace tessal::device {

QString from_device(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string to_device(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<std::string> device_bytes(const QString& text) {
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; })) {
        return std::nullopt;
    }
    return to_device(text);
}

bool is_device_text(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char ch) { return is_device_char(static_cast<unsigned char>(ch)); });
}

std::optional<std::string> typed_value_problem(std::string_view value, std::size_t longest) {
    if (trim_blanks(value).empty()) {
        return "empty";
    }
    if (value.size() > longest) {
        return "longer than " + std::to_string(longest) + " characters";
    }
    if (!is_device_text(std::string(value))) {
        return "a character the device cannot carry";
    }
    return std::nullopt;
}

} // namespace tessal::device
