// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace tessal::settings {

enum class ReadOutcome {
    read,      // the whole file is in the content
    missing,   // there is no file at the path (the content is empty)
    failed,    // the file exists but could not be read; the error says why
    too_large, // the file holds more bytes than asked for (the content is empty)
};

// Reads the file's bytes as they are; a file of more than `longest` bytes is
// read no further than that.
ReadOutcome read_text_file(const std::filesystem::path& path, std::string& content,
                           std::string& error,
                           std::size_t longest = std::numeric_limits<std::size_t>::max());

// Replaces the file with the content so that the file at the path is always
// either the old one or the new one, whole: the content goes to a temporary
// file in the same directory, is flushed to the disk and then renamed over the
// old file.  A file marked read-only is refused.  On failure the old file is
// untouched, the temporary file is removed, and the error says what went wrong.
// On Windows a target that another program holds open (an editor, a virus
// scanner, a file synchronizer) refuses to be replaced for a moment: the
// replacement is tried again every kHeldRetryStep until kHeldRetryFor has
// passed, and only then reported.
// `owner_only` is for a file that holds a secret: it is made readable and
// writable by its owner alone (mode 0600 on POSIX; on Windows a protected
// access list that grants the current user alone and inherits nothing from
// the folder), whatever the old file allowed.  Otherwise the replacement
// keeps the old file's permissions.
enum class FileAccess { usual, owner_only };
bool replace_file(const std::filesystem::path& path, std::string_view content, std::string& error,
                  FileAccess access = FileAccess::usual);

// The same for content made while it is written, never all in memory:
// `produce` hands its pieces to the writer it is given, which is false once
// a write failed.  A `produce` that gives false (its own failure) leaves the
// old file as it was, with the error empty.
using PieceWriter = std::function<bool(std::string_view piece)>;
using Producer = std::function<bool(const PieceWriter& write)>;
bool replace_file(const std::filesystem::path& path, const Producer& produce, std::string& error,
                  FileAccess access = FileAccess::usual);

// True when users other than the file's owner may write the file (group or
// others write permission on POSIX).  Windows' access lists are not looked
// at: false there.
bool others_may_write(const std::filesystem::path& path);

#ifdef _WIN32
inline constexpr std::chrono::milliseconds kHeldRetryFor{2000};
inline constexpr std::chrono::milliseconds kHeldRetryStep{50};

// The system's text for a Windows error code in the user's language (or in
// `language`, a LANGID), read as UTF-16 and given as UTF-8, without the line
// end the system puts after it; "greska <code>" when the system has no text
// for the code.
std::string windows_error_text(unsigned long code, unsigned short language = 0);

// UTF-16 text as UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string utf8_from_wide(std::wstring_view text);
#endif

// The system's text for an error code, as UTF-8 (Windows' own codes through
// windows_error_text).
std::string error_text(const std::error_code& error);

// The path as UTF-8 text, for messages.
std::string display_path(const std::filesystem::path& path);

} // namespace tessal::settings
