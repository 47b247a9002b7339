// SPDX-License-Identifier: Apache-2.0
// The replacement of a file, and the system's error texts, on Windows.
#include "settings/text_file.h"
#include "settings/text_file_shared.h"

#include <chrono>
#include <system_error>
#include <vector>

#include <windows.h>

namespace fs = std::filesystem;

namespace tessal::settings {

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

std::string error_text(const std::error_code& error) {
    if (error.category() == std::system_category()) {
        return windows_error_text(static_cast<unsigned long>(error.value()));
    }
    return error.message();
}

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
        temp = temporary_path(target, GetCurrentProcessId(), attempt);
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
bool write_piece(HANDLE file, std::string_view content) {
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
    return true;
}

// `produced` false: the content's own failure, nothing written wrong.
bool write_temporary(HANDLE& file, const Producer& produce, bool& produced) {
    bool wrote = true;
    produced = produce([&](std::string_view piece) {
        wrote = wrote && write_piece(file, piece);
        return wrote;
    });
    if (!wrote || !produced || !FlushFileBuffers(file)) {
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

bool replace_file(const fs::path& path, const Producer& produce, std::string& error,
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
    bool produced = true;
    if (!write_temporary(file, produce, produced)) {
        failed = produced ? "Upis u " + display_path(temp) + " nije uspeo" : std::string();
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
    error = failed.empty() ? std::string() : with_cause(failed, code);
    return false;
}

} // namespace tessal::settings
