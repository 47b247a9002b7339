// SPDX-License-Identifier: Apache-2.0
#include "settings_location.h"

namespace tessal::settings {

namespace fs = std::filesystem;

fs::path settings_directory(const fs::path& program_dir, const fs::path& user_dir,
                            const fs::path& install_marker) {
    std::error_code ec;
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
