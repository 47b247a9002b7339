// SPDX-License-Identifier: Apache-2.0
// The INI layer on arbitrary text (byte 0 picks the key, then the file up to a
// NUL, then the value): a written value reads back, every other key as before.
#include "settings/ini_file.h"

#include <cstdlib>

using namespace tessal::settings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const sections[] = {"kalmo", "PROVAJDER", "PORT", "KASA"};
    static const char* const keys[] = {"NE DIRAJ", "IME0", "GPRS0", "BROJ", "BOUD", "COM1"};
    if (size < 2) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string file = rest.substr(0, rest.find('\0'));
    std::string value = file.size() < rest.size() ? rest.substr(file.size() + 1, 254) : "";
    for (char& ch : value) { // the program's values hold no line breaks or NULs
        ch = ch == '\r' || ch == '\n' || ch == '\0' ? ' ' : ch;
    }
    IniFile ini(file);
    const std::size_t pick = data[0] % 24;
    std::string before[24];
    for (std::size_t i = 0; i < 24; ++i) {
        before[i] = ini.read(sections[i % 4], keys[i / 4]);
    }
    ini.write(sections[pick % 4], keys[pick / 4], value);
    const IniFile reread(ini.text());
    for (std::size_t i = 0; i < 24; ++i) {
        if (reread.read(sections[i % 4], keys[i / 4]) != (i == pick ? value : before[i]) ||
            IniFile(file).text() != file) {
            std::abort();
        }
    }
    return 0;
}
