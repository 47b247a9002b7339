// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessal::settings {

enum class ReadOutcome {
    read,    // the whole file is in the content
    missing, // there is no file at the path (the content is empty)
    failed,  // the file exists but could not be read; the error says why
};

// Reads the file's bytes as they are.
ReadOutcome read_text_file(const std::filesystem::path& path, std::string& content,
                           std::string& error);

// Replaces the file with the content so that the file at the path is always
// either the old one or the new one, whole: the content goes to a temporary
// file in the same directory, is flushed to the disk and then renamed over the
// old file.  A file marked read-only is refused.  On failure the old file is
// untouched, the temporary file is removed, and the error says what went wrong.
bool replace_file(const std::filesystem::path& path, std::string_view content, std::string& error);

// The path as UTF-8 text, for messages.
std::string display_path(const std::filesystem::path& path);

} // namespace tessal::settings
