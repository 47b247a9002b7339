// SPDX-License-Identifier: Apache-2.0
// The replacement of a file, and the system's error texts, on POSIX systems.
#include "settings/text_file.h"
#include "settings/text_file_shared.h"

#include <cerrno>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessal::settings {

std::string error_text(const std::error_code& error) {
    return error.message();
}

namespace {

// Writes all bytes, resuming after interruptions and partial writes.
bool write_all(int fd, std::string_view content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// Makes the rename itself lasting.  The new file is already complete and in
// place when this runs, so a failure here is not a failed save.
void sync_directory(const fs::path& directory) {
    const int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool others_may_write(const fs::path& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 && (file.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

namespace {

std::string with_cause(const std::string& what, int code) {
    return what + ": " + std::generic_category().message(code);
}

// Opens a new temporary file beside the target, tried under a few names;
// -1 with errno saying why when none could be made.
int open_temporary(const fs::path& target, bool owner_only, fs::path& temp) {
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporary_path(target, static_cast<unsigned long>(::getpid()), attempt);
        fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, owner_only ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    return fd;
}

// Gives the temporary file its permissions and the content, and closes it
// (`fd` is then -1).  Nothing when that worked; otherwise what failed, with
// errno saying why.
std::optional<std::string> write_temporary(int& fd, const fs::path& temp, const Producer& produce,
                                           bool owner_only, const struct stat* old_file) {
    // A secret is for its owner alone, whatever the old file allowed; a
    // failure to make it so fails the save.
    if (owner_only && ::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        return "Datoteka " + display_path(temp) + " ne moze da se zastiti";
    }
    // Otherwise the replacement keeps the old file's permissions.  Failing to
    // copy them leaves the usual permissions of a new file, which does not
    // harm the settings, so the save goes on.
    if (!owner_only && old_file != nullptr && ::fchmod(fd, old_file->st_mode & 07777) != 0) {
        errno = 0;
    }
    bool wrote = true;
    const bool produced = produce([&](std::string_view piece) {
        wrote = wrote && write_all(fd, piece);
        return wrote;
    });
    if (wrote && !produced) {
        return std::string(); // the content's own failure: its maker says why
    }
    if (!wrote || ::fsync(fd) != 0) {
        return "Upis u " + display_path(temp) + " nije uspeo";
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return "Upis u " + display_path(temp) + " nije uspeo";
    }
    return std::nullopt;
}

} // namespace

bool replace_file(const fs::path& path, const Producer& produce, std::string& error,
                  FileAccess access) {
    const fs::path target = replacement_target(path);
    const bool owner_only = access == FileAccess::owner_only;
    struct stat old_file {};
    const bool exists = ::stat(target.c_str(), &old_file) == 0;
    if (exists && S_ISREG(old_file.st_mode) && ::access(target.c_str(), W_OK) != 0) {
        error = with_cause("Datoteka " + display_path(target) + " je zasticena od upisa", errno);
        return false;
    }
    fs::path temp;
    int fd = open_temporary(target, owner_only, temp);
    if (fd < 0) {
        error = with_cause("Privremena datoteka " + display_path(temp) + " ne moze da se napravi",
                           errno);
        return false;
    }
    std::optional<std::string> failed =
        write_temporary(fd, temp, produce, owner_only, exists ? &old_file : nullptr);
    if (!failed && ::rename(temp.c_str(), target.c_str()) != 0) {
        failed = display_path(temp) + " ne moze da zameni " + display_path(target);
    }
    if (failed) {
        const int code = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temp.c_str());
        error = failed->empty() ? std::string() : with_cause(*failed, code);
        return false;
    }
    sync_directory(target.parent_path());
    return true;
}

} // namespace tessal::settings
