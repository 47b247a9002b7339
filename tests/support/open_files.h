// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <filesystem>
#include <string>

namespace tessal::testing {

// Descriptors this process has open (Linux); with `device`, only those open
// on it.
inline int open_files(const std::string& device = {}) {
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        count += device.empty() || std::filesystem::read_symlink(fd.path(), ec) == device;
    }
    return count;
}

} // namespace tessal::testing
