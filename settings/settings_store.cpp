// SPDX-License-Identifier: Apache-2.0
#include "settings/settings_store.h"

#include "settings/ini_file.h"
#include "settings/number_text.h"
#include "settings/text_file.h"

#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace tessal::settings {

namespace {

constexpr const char* marker_section = "kalmo";
constexpr const char* marker_key = "NE DIRAJ";
constexpr const char* marker = "REGISTER";
constexpr const char* operator_section = "PROVAJDER";
constexpr const char* port_section = "PORT";
constexpr const char* cash_section = "KASA";
constexpr int stored_operators = 6;
constexpr int cash_entries = 50;

std::string numbered(const char* key, int i) {
    return key + std::to_string(i);
}

std::string strip_spaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Type numbers that the CashTypeList leaves out.
bool offered_cash_type(const std::string& number) {
    return !number.empty() && number != "1" && number != "2" && number != "6";
}

// The operator table's names and GPRS strings.
void read_operators(const IniFile& ini, Settings& s) {
    for (int i = 0; i < stored_operators; ++i) {
        s.operator_names[i] = ini.read(operator_section, numbered("IME", i));
        s.gprs_strings[i] = ini.read(operator_section, numbered("GPRS", i));
        // Files of earlier versions have no network codes: left unset.
        const std::string code = ini.read(operator_section, numbered("MREZA", i));
        s.network_codes[i] = code.empty() ? Text() : Text(code);
    }
}

// Every cash-register entry as the file has it, and the CashTypeList: the
// entries whose type is offered, in the file's order.
void read_cash_types(const IniFile& ini, Settings& s) {
    s.cash_type_count = 0;
    for (int i = 1; i <= cash_entries; ++i) {
        const std::string name = ini.read(cash_section, numbered("NAZIV", i));
        const std::string number = ini.read(cash_section, numbered("BROJ", i));
        s.cash_names[i] = name;
        s.cash_numbers[i] = number;
        if (offered_cash_type(number)) {
            s.cash_type_names[s.cash_type_count] = name;
            s.cash_type_numbers[s.cash_type_count] = number;
            ++s.cash_type_count;
        }
    }
}

} // namespace

SettingsStore::SettingsStore(fs::path directory, Reporter report, bool make_directory)
    : directory_(std::move(directory)), report_(std::move(report)),
      make_directory_(make_directory) {}

void SettingsStore::prepare_directory() const {
    if (make_directory_) {
        std::error_code ec;
        fs::create_directories(directory_, ec);
    }
}

fs::path SettingsStore::program_directory() {
#ifdef _WIN32
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            break;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return fs::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        return executable.parent_path();
    }
#endif
    // Without a way to find the executable, the working directory stands in.
    std::error_code cwd_ec;
    return fs::current_path(cwd_ec);
}

SettingsStore SettingsStore::for_file(const fs::path& file, Reporter report) {
    SettingsStore store(file.has_parent_path() ? file.parent_path() : fs::path("."),
                        std::move(report));
    store.file_name_ = file.filename();
    return store;
}

fs::path SettingsStore::settings_path() const {
    return directory_ / file_name_;
}

void SettingsStore::report(const std::string& description) const {
    if (report_) {
        report_(description);
    }
}

bool SettingsStore::load_settings(Settings& s) {
    const fs::path path = settings_path();
    IniFile ini;
    std::string error;
    const bool readable = load_ini_file(path, ini, error);

    // The port map counts whatever the marker says, so that a hand-written
    // file with only a "PORT" section still maps the ports.
    for (std::size_t n = 0; n < s.com_devices.size(); ++n) {
        s.com_devices[n] = ini.read(port_section, numbered("COM", static_cast<int>(n + 1)));
    }
    if (!readable) {
        report("Podesavanja nisu ucitana. " + error);
        return false;
    }

    if (strip_spaces(ini.read(marker_section, marker_key)) != marker) {
        return false;
    }
    read_operators(ini, s);

    const auto convert = [&](const char* key, std::int64_t low,
                             std::int64_t high) -> std::optional<std::int64_t> {
        const std::string text = ini.read(port_section, key);
        const std::optional<std::int64_t> number = rounded_number(text, low, high);
        if (!number) {
            report("Podesavanja nisu ucitana iz " + display_path(path) + ". Vrednost \"" + text +
                   "\" kljuca \"" + key + "\" u odeljku \"" + port_section + "\" nije broj od " +
                   std::to_string(low) + " do " + std::to_string(high) + ".");
        }
        return number;
    };
    const std::optional<std::int64_t> port = convert("BROJ", 0, 255);
    if (!port) {
        return false;
    }
    s.port_number = static_cast<std::uint8_t>(*port);
    const std::optional<std::int64_t> speed = convert(
        "BOUD", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!speed) {
        return false;
    }
    s.speed = static_cast<std::int32_t>(*speed);

    read_cash_types(ini, s);
    return true;
}

bool SettingsStore::save_settings(const Settings& s) {
    prepare_directory();
    const fs::path path = settings_path();
    IniFile ini;
    std::string error;
    if (!load_ini_file(path, ini, error)) {
        report("Podesavanja nisu sacuvana. " + error);
        return false;
    }

    ini.write(marker_section, marker_key, marker);
    for (int i = 0; i < stored_operators; ++i) {
        ini.write(operator_section, numbered("IME", i), s.operator_names[i]);
        ini.write(operator_section, numbered("GPRS", i), s.gprs_strings[i]);
        if (s.network_codes[i]) {
            ini.write(operator_section, numbered("MREZA", i), s.network_codes[i]);
        }
    }
    ini.write(port_section, "BROJ", std::to_string(static_cast<unsigned>(s.port_number)));
    ini.write(port_section, "BOUD", std::to_string(s.speed));
    // The cash-register entries are kept by hand in the file; only those
    // with a name are written back, as they were read.
    for (int i = 1; i <= cash_entries; ++i) {
        if (s.cash_names[i] && !s.cash_names[i]->empty()) {
            ini.write(cash_section, numbered("NAZIV", i), s.cash_names[i]);
            ini.write(cash_section, numbered("BROJ", i), s.cash_numbers[i]);
        }
    }

    if (!save_ini_file(path, ini, error)) {
        report("Podesavanja nisu sacuvana. " + error);
        return false;
    }
    return true;
}

} // namespace tessal::settings
