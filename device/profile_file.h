// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/profile.h"

#include <QString>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

// A configuration profile as a file: read, parsed and checked against what
// the console's boxes take in one place, so that every front end opens the
// same file names and refuses the same files.
namespace tessal::device {

// Why a profile file cannot be read, for a front end that shows it as one
// line with the reason beside it.
inline constexpr const char* kMsgProfileUnreadable = "the profile file cannot be read";

// The largest profile file read: a device's whole configuration takes a
// few kilobytes.  A larger file is no profile and is not read further.
inline constexpr std::size_t kLargestProfileFile = 1024 * 1024;

// A file name as the file system takes it: UTF-16 on Windows, where a narrow
// text would go through the ANSI code page and lose "č", UTF-8 elsewhere.
std::filesystem::path file_path(const QString& file);
// The same for a name given as UTF-8.
std::filesystem::path file_path(const std::string& file);

struct LoadedProfile {
    enum class Outcome {
        loaded,        // the profile is there and every value fits
        missing,       // there is no file by that name
        unreadable,    // the file is there but could not be read
        not_a_profile, // the text is not a profile (parse_profile's problem), or the
                       // file is larger than kLargestProfileFile
        does_not_fit,  // a value the device cannot hold (profile_problem's)
    };
    Outcome outcome = Outcome::unreadable;
    std::optional<Profile> profile; // only when loaded
    // kMsgProfileUnreadable when the file could not be read; empty otherwise.
    std::string message;
    // The reason: "<path>: No such file or directory", the system's text
    // for an unreadable file, or the field and why ("ftp.user: longer than
    // 32 characters").
    std::string problem;
    // The file's bytes as SHA-256 in lower-case hex, once they were read.
    std::string sha256;

    // The file was read, whether or not it holds a usable profile.
    bool read() const { return outcome != Outcome::missing && outcome != Outcome::unreadable; }
};

// Reads the file, parses the profile and checks its values.
LoadedProfile load_profile(const QString& file);
LoadedProfile load_profile(const std::string& file);

// Writes the profile's JSON in place of the file, whole or not at all; with
// `with_secrets` the password goes in and the file is its owner's alone.
// False, with `error` saying why, when the file could not be written.
bool save_profile(const QString& file, const Profile& profile, bool with_secrets,
                  std::string& error);
bool save_profile(const std::string& file, const Profile& profile, bool with_secrets,
                  std::string& error);

} // namespace tessal::device
