// SPDX-License-Identifier: Apache-2.0
#include "settings_location.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

namespace tessal::settings {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

// The full path with short (8.3) names made long, so that
// "C:\PROGRA~1\Tessal" and "C:\Program Files\Tessal" compare alike.
fs::path full_long_path(const fs::path& path) {
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec) {
        full = path;
    }
    full = full.lexically_normal();
    const DWORD length = GetLongPathNameW(full.c_str(), nullptr, 0);
    if (length > 0) {
        std::wstring buffer(length, L'\0');
        const DWORD got = GetLongPathNameW(full.c_str(), buffer.data(), length);
        if (got > 0 && got < length) {
            buffer.resize(got);
            full = fs::path(buffer);
        }
    }
    return full;
}

bool same_name(const fs::path& a, const fs::path& b) {
    const std::wstring& x = a.native();
    const std::wstring& y = b.native();
    return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

// True when every name of `folder` starts `dir` (a trailing separator's
// empty name aside).
bool lies_in(const fs::path& dir, const fs::path& folder) {
    const fs::path inner = full_long_path(dir);
    const fs::path outer = full_long_path(folder);
    auto name = inner.begin();
    for (const fs::path& part : outer) {
        if (part.empty()) {
            continue;
        }
        if (name == inner.end() || !same_name(*name, part)) {
            return false;
        }
        ++name;
    }
    return true;
}

// Makes a file in the folder and takes it away again: the one test of the
// right to write there that agrees with every way Windows may refuse it
// (permissions, a read-only medium, a protected folder).
bool can_make_file(const fs::path& dir) {
    for (unsigned attempt = 0; attempt < 10; ++attempt) {
        const fs::path probe =
            dir / (L".tessal-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt) + L".tmp");
        const HANDLE file = CreateFileW(
            probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

} // namespace

std::vector<fs::path> system_program_folders() {
    std::vector<fs::path> folders;
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        const DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
        if (length <= 1) {
            continue;
        }
        std::wstring value(length, L'\0');
        const DWORD got = GetEnvironmentVariableW(name, value.data(), length);
        if (got > 0 && got < length) {
            value.resize(got);
            folders.emplace_back(value);
        }
    }
    return folders;
}

bool installed_folder(const fs::path& dir, const std::vector<fs::path>& program_folders) {
    for (const fs::path& folder : program_folders) {
        if (!folder.empty() && lies_in(dir, folder)) {
            return true;
        }
    }
    return !can_make_file(dir);
}

#endif

fs::path settings_directory(const fs::path& program_dir, const fs::path& user_dir,
                            const fs::path& install_marker) {
    std::error_code ec;
#ifdef _WIN32
    // A program under the system's program folders, or in a folder it may
    // not write, could not save a settings file beside it.
    if (!user_dir.empty() && installed_folder(program_dir, system_program_folders())) {
        return user_dir;
    }
#endif
    if (fs::exists(program_dir / "rvt_ini.txt", ec)) {
        return program_dir;
    }
    if (user_dir.empty() || install_marker.empty() ||
        !fs::exists(program_dir / install_marker, ec)) {
        return program_dir;
    }
    return user_dir;
}

} // namespace tessal::settings
