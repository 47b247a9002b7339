// SPDX-License-Identifier: Apache-2.0
#include "settings/text_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace tessal::settings {

std::string display_path(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifdef _WIN32

std::string utf8_from_wide(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int wide_length = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, out.data(), length, nullptr,
                            nullptr);
    }
    return out;
}

std::string windows_error_text(unsigned long code, unsigned short language) {
    // The message as UTF-16: the narrow form would give it in the ANSI code
    // page, which is not UTF-8.
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, language, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring_view text;
    if (length > 0 && buffer != nullptr) {
        text = std::wstring_view(buffer, length);
    }
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'\t')) {
        text.remove_suffix(1);
    }
    std::string out = utf8_from_wide(text);
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    if (out.empty()) {
        out = "greska " + std::to_string(code);
    }
    return out;
}

#endif

std::string error_text(const std::error_code& error) {
#ifdef _WIN32
    if (error.category() == std::system_category()) {
        return windows_error_text(static_cast<unsigned long>(error.value()));
    }
#endif
    return error.message();
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

namespace {

// A name for the temporary file beside the target that no other save of
// this process uses at the same time.
fs::path temporary_path(const fs::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const long process = static_cast<long>(::getpid());
#endif
    fs::path name = ".";
    name += target.filename();
    name += ".tmp" + std::to_string(process) + "-" + std::to_string(counter++) + "-" +
            std::to_string(attempt);
    return target.parent_path() / name;
}

// A settings file kept as a symbolic link is replaced at the link's target,
// so that the link itself stays.
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

} // namespace

#ifdef _WIN32

namespace {

// A security descriptor that grants the current user full access and no one
// else, and inherits nothing from the folder.  Empty when the process's
// user cannot be read.
class OwnerOnly {
  public:
    OwnerOnly() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            return;
        }
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        const bool have_user =
            size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
        CloseHandle(token);
        if (!have_user) {
            return;
        }
        PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        auto* acl = reinterpret_cast<PACL>(acl_.data());
        ready_ = InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
                 AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
                 InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
                 SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        attributes_.nLength = sizeof(attributes_);
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }
    bool ready() const { return ready_; }

  private:
    std::vector<unsigned char> user_;
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

} // namespace

bool others_may_write(const fs::path&) {
    return false;
}

namespace {

std::string with_cause(const std::string& what, DWORD code) {
    return what + ": " + windows_error_text(code);
}

// Makes a new temporary file beside the target, tried under a few names.
HANDLE create_temporary(const fs::path& target, SECURITY_ATTRIBUTES* security, fs::path& temp) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = temporary_path(target, attempt);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    return file;
}

// Writes the content into the temporary file, flushes and closes it
// (`file` is then no handle).  True when all of it went; otherwise
// GetLastError says why.
bool write_temporary(HANDLE& file, std::string_view content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        left -= written;
    }
    if (!FlushFileBuffers(file)) {
        return false;
    }
    const BOOL closed = CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    return closed != 0;
}

// A target held open by another program refuses the replacement with a
// sharing violation or "access denied" until it lets go: tried again in
// small steps for a short while before the failure is reported.  False with
// GetLastError saying why.
bool move_into_place(const fs::path& temp, const fs::path& target) {
    const auto held = [](DWORD code) {
        return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
               code == ERROR_LOCK_VIOLATION;
    };
    const auto give_up = std::chrono::steady_clock::now() + kHeldRetryFor;
    while (!MoveFileExW(temp.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        if (!held(code) || std::chrono::steady_clock::now() >= give_up) {
            SetLastError(code);
            return false;
        }
        Sleep(static_cast<DWORD>(kHeldRetryStep.count()));
    }
    return true;
}

} // namespace

bool replace_file(const fs::path& path, std::string_view content, std::string& error,
                  FileAccess access) {
    const fs::path target = replacement_target(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = "Datoteka " + display_path(target) + " je zasticena od upisa.";
        return false;
    }
    // A secret is never written where others could read it, not even for
    // a moment: the temporary file is made with the owner's access alone.
    OwnerOnly owner_only;
    if (access == FileAccess::owner_only && !owner_only.ready()) {
        error = with_cause("Datoteka " + display_path(target) + " ne moze da se zastiti",
                           GetLastError());
        return false;
    }
    fs::path temp;
    HANDLE file = create_temporary(
        target, access == FileAccess::owner_only ? owner_only.attributes() : nullptr, temp);
    if (file == INVALID_HANDLE_VALUE) {
        error = with_cause("Privremena datoteka " + display_path(temp) + " ne moze da se napravi",
                           GetLastError());
        return false;
    }
    std::string failed;
    if (!write_temporary(file, content)) {
        failed = "Upis u " + display_path(temp) + " nije uspeo";
    } else if (!move_into_place(temp, target)) {
        failed = display_path(temp) + " ne moze da zameni " + display_path(target);
    } else {
        return true;
    }
    const DWORD code = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    DeleteFileW(temp.c_str());
    error = with_cause(failed, code);
    return false;
}

#else

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
        temp = temporary_path(target, attempt);
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
std::optional<std::string> write_temporary(int& fd, const fs::path& temp, std::string_view content,
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
    if (!write_all(fd, content) || ::fsync(fd) != 0) {
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

bool replace_file(const fs::path& path, std::string_view content, std::string& error,
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
        write_temporary(fd, temp, content, owner_only, exists ? &old_file : nullptr);
    if (!failed && ::rename(temp.c_str(), target.c_str()) != 0) {
        failed = display_path(temp) + " ne moze da zameni " + display_path(target);
    }
    if (failed) {
        const int code = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temp.c_str());
        error = with_cause(*failed, code);
        return false;
    }
    sync_directory(target.parent_path());
    return true;
}

#endif

} // namespace tessal::settings
