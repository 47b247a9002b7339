// SPDX-License-Identifier: Apache-2.0
// What the POSIX and the Windows replacement of a file share.
#pragma once

#include <filesystem>

namespace tessal::settings {

// A name for the temporary file beside the target that no other save of
// this process (`process`, its id) uses at the same time.
std::filesystem::path temporary_path(const std::filesystem::path& target, unsigned long process,
                                     unsigned attempt);

// A settings file kept as a symbolic link is replaced at the link's target,
// so that the link itself stays.
std::filesystem::path replacement_target(const std::filesystem::path& path);

} // namespace tessal::settings
