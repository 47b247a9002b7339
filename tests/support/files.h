// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tessal::testing {

// The whole file's bytes; empty when it cannot be read.
inline std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
