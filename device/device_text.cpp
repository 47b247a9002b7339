// SPDX-License-Identifier: Apache-2.0
#include "device_text.h"

#include "device/replies.h"

#include <algorithm>
#include <iterator>
#include <utility>

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

namespace {

// A character beyond the device's character set that a terminal does not
// show as a character of its own.
bool invisible(char32_t code) {
    switch (QChar::category(code)) {
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// The characters shown as a backslash and a letter.
constexpr std::pair<char16_t, char16_t> kNamed[] = {
    {u'\\', u'\\'}, {u'\r', u'r'}, {u'\n', u'n'}, {u'\t', u't'}};

QString hex(char32_t code, int digits) {
    return QString::number(code, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

} // namespace

QString visible(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const auto named = std::find_if(std::begin(kNamed), std::end(kNamed),
                                        [unit](const auto& n) { return n.first == unit; });
        if (named != std::end(kNamed)) {
            out += QLatin1Char('\\');
            out += QChar(named->second);
        } else if (unit <= 0xFF && !is_device_char(unit)) {
            out += QStringLiteral("\\x") + hex(unit, 2);
        } else if (unit <= 0xFF) {
            out += QChar(unit);
        } else {
            // A pair of surrogates is one character.
            const bool pair =
                QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            const char32_t code =
                pair ? QChar::surrogateToUcs4(unit, text[i + 1].unicode()) : char32_t(unit);
            if (!invisible(code)) {
                out += text.mid(i, pair ? 2 : 1);
            } else if (code > 0xFFFF) {
                out += QStringLiteral("\\U") + hex(code, 8);
            } else {
                out += QStringLiteral("\\u") + hex(code, 4);
            }
            i += pair ? 1 : 0;
        }
    }
    return out;
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
