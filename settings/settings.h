// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tessal::settings {

// A text field of the settings.  std::nullopt means the field was never set
// (saving it removes its key from the settings file); "" is empty text, which
// is written as an empty value.
using Text = std::optional<std::string>;

// The one settings record of the program.  Every window reads and changes it;
// SettingsStore fills it from the settings file and writes it back.
struct Settings {
    // Serial port number (1 to 8 are offered) and bit rate.
    std::uint8_t port_number = 1;
    std::int32_t speed = 38400;

    // Operator table: display name and GPRS parameter string of each mobile
    // operator.  Slots 0 to 5 are stored in the file; 6 to 10 stay unset.
    std::array<Text, 11> operator_names;
    std::array<Text, 11> gprs_strings;
    // The code of operator i's network, as the modem names it ("22001":
    // country and network), when the file gives one (key "MREZA" and i);
    // unset otherwise, and then its key stays out of the file.
    std::array<Text, 11> network_codes;
    // Operators 0 to this index are in use; derived from the names, not stored.
    std::uint8_t last_used_index = 5;

    // Cash-register entries 1 to 50 exactly as read from section "KASA"
    // (slot 0 is never filled).
    std::array<Text, 51> cash_names;
    std::array<Text, 51> cash_numbers;

    // The cash-register types offered for selection, packed from slot 0:
    // the entries whose type number is none of "", "1", "2" and "6".
    std::array<Text, 51> cash_type_names;
    std::array<Text, 51> cash_type_numbers;
    std::int32_t cash_type_count = 0;

    // Serial devices of ports 1 to 8 (keys "COM1" to "COM8" of section
    // "PORT"); an empty entry means the platform's default device.  Only read,
    // never written.
    std::array<std::string, 8> com_devices;
};

// Operators 0 to the one before the first of 1 to 5 without a name are in
// use (operator 0 always is): sets the last used index from the names.
inline void count_operators_in_use(Settings& settings) {
    settings.last_used_index = 5;
    for (std::uint8_t i = 1; i <= 5; ++i) {
        const Text& name = settings.operator_names[i];
        if (!name || name->empty()) {
            settings.last_used_index = static_cast<std::uint8_t>(i - 1);
            return;
        }
    }
}

// How many operators are in use, 1 to 6: operator 0 always is.  The one cap
// keeps a bad record from reaching past the six stored slots.
inline std::size_t operators_in_use(const Settings& settings) {
    return std::min<std::size_t>(settings.last_used_index, 5) + 1;
}

} // namespace tessal::settings
