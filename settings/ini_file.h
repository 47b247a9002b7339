// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "settings/settings.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessal::settings {

// Values are read into a 255-character buffer that ends with a NUL, so a read
// returns at most this many characters.
inline constexpr std::size_t max_value_length = 254;

// The text of an INI file in memory, read and written one value at a time by
// the rules of the platform's profile functions, so that files written with
// those functions and files edited by hand read and change as they always did:
//
// Reading: a line whose first non-blank character is '[' opens a section named
// by the text up to the first ']' or, without one, up to the line's end.
// Section and key names match ignoring letter case; blanks and tabs
// around section names, keys and values are ignored, then one outer pair of
// matching quotes (both " or both ') is taken off the value.  A line whose
// first non-blank character is ';' is a comment; ';' later in a line is part
// of the value.  The first matching section and the first matching key in it
// count.  A missing section or key reads as empty text.
//
// Writing: an existing key's line is replaced in place (keeping the file's
// spelling of the key), a missing key goes right after the last key line of
// its section, a missing section goes at the end.  An unset value removes the
// key's line.  Every other line keeps its exact bytes and its place.  Written
// lines end with CR LF; files with LF or CR LF line ends are both read.
//
// A value that starts or ends with a blank, a tab or a quote is written inside
// one extra pair of double quotes, so that it reads back exactly as it was
// written, here and in any reader with the profile functions' rules.
class IniFile {
  public:
    IniFile() = default;
    explicit IniFile(std::string_view text);

    // The file's bytes.
    std::string text() const;

    std::string read(std::string_view section, std::string_view key) const;

    // Section and key are names without line breaks, ']' or '=' (the
    // program's own names).  Line breaks inside a value would split it into
    // lines of their own, so each is written as a blank; a NUL ends the value.
    void write(std::string_view section, std::string_view key, const Text& value);

  private:
    std::size_t find_section(std::string_view section) const;
    void end_last_line();

    // Each line with its own line end (the last one may have none).
    std::vector<std::string> lines_;
};

// Reads the file into the IniFile.  A missing file gives an empty IniFile.
// Returns false, with a description in error, when the file exists but
// cannot be read.
bool load_ini_file(const std::filesystem::path& path, IniFile& ini, std::string& error);

// Replaces the file with the IniFile's text in one atomic step (see
// replace_file).  Returns false, with a description in error, on failure.
bool save_ini_file(const std::filesystem::path& path, const IniFile& ini, std::string& error);

} // namespace tessal::settings
