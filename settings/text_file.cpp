// SPDX-License-Identifier: Apache-2.0
// Reading a file, and the parts of its replacement that do not depend on
// the platform (text_file_posix.cpp and text_file_windows.cpp hold the rest).
#include "settings/text_file.h"
#include "settings/text_file_shared.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace tessal::settings {

std::string display_path(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

ReadOutcome read_text_file(const fs::path& path, std::string& content, std::string& error,
                           std::size_t longest) {
    content.clear();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return ReadOutcome::missing;
    }
    if (ec) {
        error = "Datoteka " + display_path(path) + " ne moze da se procita: " + error_text(ec);
        return ReadOutcome::failed;
    }
    if (fs::is_directory(status)) {
        error = display_path(path) + " je direktorijum, a ne datoteka.";
        return ReadOutcome::failed;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(64 * 1024);
    while (in && content.size() <= longest) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        content.append(block.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (!in.is_open() || in.bad()) {
        const int code = errno != 0 ? errno : EIO;
        content.clear();
        error = "Datoteka " + display_path(path) +
                " ne moze da se procita: " + std::generic_category().message(code);
        return ReadOutcome::failed;
    }
    if (content.size() > longest) {
        content.clear();
        return ReadOutcome::too_large;
    }
    return ReadOutcome::read;
}

fs::path temporary_path(const fs::path& target, unsigned long process, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    fs::path name = ".";
    name += target.filename();
    name += ".tmp" + std::to_string(process) + "-" + std::to_string(counter++) + "-" +
            std::to_string(attempt);
    return target.parent_path() / name;
}

fs::path replacement_target(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::canonical(path, ec);
        if (!ec) {
            return resolved;
        }
    }
    return path;
}

bool replace_file(const fs::path& path, std::string_view content, std::string& error,
                  FileAccess access) {
    return replace_file(
        path,
        [content](const PieceWriter& write) {
            write(content);
            return true; // a write that failed is the writer's to tell
        },
        error, access);
}

} // namespace tessal::settings
