// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "settings/settings.h"

#include <filesystem>
#include <functional>
#include <string>

namespace tessal::settings {

// Reads and writes the Settings record from and to the settings file
// "rvt_ini.txt" in one directory (the program's own, in the program).
class SettingsStore {
  public:
    // Receives the description of a failure; the window layer shows it in a
    // message box.  Without a reporter failures are only returned.
    using Reporter = std::function<void(const std::string& description)>;

    // With `make_directory` the directory is made, parents included, when a
    // file is first written into it (the per-user folder of an installed
    // program); otherwise a missing directory is a failure.
    SettingsStore(std::filesystem::path directory, Reporter report = {},
                  bool make_directory = false);

    // A store on a settings file of another name than "rvt_ini.txt" (read by
    // the command-line companion when it is told which file to use).
    static SettingsStore for_file(const std::filesystem::path& file, Reporter report = {});

    // Makes the directory if this store may and it is missing.
    void prepare_directory() const;

    // The directory of the running executable.
    static std::filesystem::path program_directory();

    std::filesystem::path settings_path() const;

    // Reads the port map, then, if the file carries the marker, the operator
    // table, port, speed and cash-register entries, and builds the
    // CashTypeList.  Returns false, leaving the fields not read yet as they
    // were, when the marker is missing (silently) or a value fails to convert
    // or the file cannot be read (reported).
    bool load_settings(Settings& s);

    // Writes the marker, the operator table, port and speed, and the
    // cash-register entries that have a name, keeping every other line of the
    // file, and replaces the file in one atomic step.  Returns false after
    // reporting a failure; the file is then as it was.
    bool save_settings(const Settings& s);

  private:
    void report(const std::string& description) const;

    std::filesystem::path directory_;
    std::filesystem::path file_name_ = "rvt_ini.txt";
    Reporter report_;
    bool make_directory_ = false;
};

} // namespace tessal::settings
