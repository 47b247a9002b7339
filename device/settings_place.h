// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <filesystem>

namespace tessal::device {

// The user's folder of the application (its name set on the application
// object), as the file system takes it: UTF-16 and Windows' separators on
// Windows, where a narrow text would go through the ANSI code page.
std::filesystem::path user_settings_folder();

// The folder of the console's "rvt_ini.txt", "Jad.txt" and trace, for this
// program as it is installed or not; the console and tessal-cli find the
// same one.
std::filesystem::path console_settings_folder();

} // namespace tessal::device
