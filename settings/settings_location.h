// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <filesystem>
#include <vector>

namespace tessal::settings {

// The folder that holds "rvt_ini.txt" and "Jad.txt".
//
// A program with "rvt_ini.txt" beside it keeps its files there, and so does
// any copy that was not installed (a build, a copied folder, the demo).  An
// installed program without a settings file beside it uses `user_dir`, the
// per-user folder of the application.
//
// A program counts as installed when `install_marker` (a path relative to the
// program's folder) exists: the installation lays the desktop entry at
// "../share/applications/tessal.desktop" from the program, and nothing else
// does.  Judging by that layout rather than by a folder fixed when building
// keeps the rule right for any install prefix, a package's or a temporary
// one.  An empty marker or user folder means "never installed".
//
// On Windows a program also counts as installed when its folder lies under
// one of the system's program folders or no file can be made in it (see
// installed_folder); it then keeps its files in `user_dir` even with a
// "rvt_ini.txt" beside it, which it could not save.
std::filesystem::path settings_directory(const std::filesystem::path& program_dir,
                                         const std::filesystem::path& user_dir,
                                         const std::filesystem::path& install_marker);

#ifdef _WIN32
// The system's program folders, %ProgramFiles%, %ProgramFiles(x86)% and
// %ProgramW6432%, those that are set.
std::vector<std::filesystem::path> system_program_folders();

// True when `dir` lies in one of `program_folders` (compared as Windows
// compares names, regardless of case) or a file cannot be made in it.
bool installed_folder(const std::filesystem::path& dir,
                      const std::vector<std::filesystem::path>& program_folders);
#endif

} // namespace tessal::settings
