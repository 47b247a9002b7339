// SPDX-License-Identifier: Apache-2.0
#include "settings/ini_file.h"

#include "settings/text_file.h"

#include <algorithm>

namespace tessal::settings {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_quote(char c) {
    return c == '"' || c == '\'';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lower(x) == lower(y); });
}

// What one line of the file holds.
struct Line {
    enum class Kind { other, section, key } kind = Kind::other;
    std::string_view name;  // section name or key, without the blanks around it
    std::string_view value; // the key's value as read, outer quotes taken off
};

Line parse(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    line = trim(line);
    if (line.empty() || line.front() == ';') {
        return {};
    }
    if (line.front() == '[') {
        // The name runs to the first "]"; a line without one still opens its
        // section, named by the rest of the line.
        const std::size_t close = line.find(']');
        const std::size_t length = close == std::string_view::npos ? line.size() - 1 : close - 1;
        return {Line::Kind::section, trim(line.substr(1, length)), {}};
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        // A key without "=" has an empty value.
        return {Line::Kind::key, line, {}};
    }
    std::string_view value = trim(line.substr(equals + 1));
    if (value.size() >= 2 && is_quote(value.front()) && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return {Line::Kind::key, trim(line.substr(0, equals)), value};
}

// The value as it can be stored on one line.
std::string storable(std::string_view value) {
    std::string text(value.substr(0, value.find('\0')));
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string key_line(std::string_view key, const std::string& value) {
    const bool wrap = !value.empty() && (is_blank(value.front()) || is_blank(value.back()) ||
                                         is_quote(value.front()) || is_quote(value.back()));
    std::string line(key);
    line += '=';
    if (wrap) {
        line += '"' + value + '"';
    } else {
        line += value;
    }
    line += "\r\n";
    return line;
}

} // namespace

IniFile::IniFile(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines_.emplace_back(text.substr(0, length));
        text.remove_prefix(length);
    }
}

std::string IniFile::text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
    }
    return text;
}

std::size_t IniFile::find_section(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line line = parse(lines_[i]);
        if (line.kind == Line::Kind::section && same_name(line.name, section)) {
            return i;
        }
    }
    return lines_.size();
}

std::string IniFile::read(std::string_view section, std::string_view key) const {
    for (std::size_t i = find_section(section) + 1; i < lines_.size(); ++i) {
        const Line line = parse(lines_[i]);
        if (line.kind == Line::Kind::section) {
            break;
        }
        if (line.kind == Line::Kind::key && same_name(line.name, key)) {
            return std::string(line.value.substr(0, max_value_length));
        }
    }
    return {};
}

void IniFile::end_last_line() {
    if (lines_.empty() || lines_.back().back() == '\n') {
        return;
    }
    lines_.back() += lines_.back().back() == '\r' ? "\n" : "\r\n";
}

void IniFile::write(std::string_view section, std::string_view key, const Text& value) {
    const std::optional<std::string> stored =
        value ? std::optional<std::string>(storable(*value)) : std::nullopt;
    const std::size_t header = find_section(section);
    if (header == lines_.size()) {
        if (stored) {
            end_last_line();
            lines_.push_back("[" + std::string(section) + "]\r\n");
            lines_.push_back(key_line(key, *stored));
        }
        return;
    }
    std::size_t insert_at = header + 1;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        const Line line = parse(lines_[i]);
        if (line.kind == Line::Kind::section) {
            break;
        }
        if (line.kind != Line::Kind::key) {
            continue;
        }
        if (same_name(line.name, key)) {
            if (!stored) {
                lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            } else if (line.value != *stored) {
                // A line that already reads as the value keeps its own bytes.
                lines_[i] = key_line(line.name, *stored);
            }
            return;
        }
        insert_at = i + 1;
    }
    if (!stored) {
        return;
    }
    if (insert_at == lines_.size()) {
        end_last_line();
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), key_line(key, *stored));
}

bool load_ini_file(const std::filesystem::path& path, IniFile& ini, std::string& error) {
    std::string text;
    const ReadOutcome outcome = read_text_file(path, text, error);
    ini = IniFile(text);
    return outcome != ReadOutcome::failed;
}

bool save_ini_file(const std::filesystem::path& path, const IniFile& ini, std::string& error) {
    return replace_file(path, ini.text(), error);
}

} // namespace tessal::settings
