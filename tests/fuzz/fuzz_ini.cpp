// The INI layer on arbitrary file text: a written value reads back, and
// every other key reads as before.
#include "settings/ini_file.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace tessal::settings;

namespace {

constexpr std::array<const char*, 4> kSections{"kalmo", "PROVAJDER", "PORT", "KASA"};
constexpr std::array<const char*, 6> kKeys{"NE DIRAJ", "IME0", "GPRS0", "BROJ", "BOUD", "COM1"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // First byte: which key to write; the text up to the first NUL after it
    // is the file, the rest the value to write.
    const std::size_t pick = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t nul = rest.find('\0');
    const std::string file = rest.substr(0, nul);
    std::string value = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
    // Values the program writes hold no line breaks or NULs; they read back
    // in full up to the read limit.
    for (char& ch : value) {
        if (ch == '\r' || ch == '\n' || ch == '\0') {
            ch = ' ';
        }
    }
    value = value.substr(0, 254);

    IniFile ini(file);
    if (ini.text() != file) {
        std::abort(); // reading the text must not change it
    }
    const char* section = kSections[pick % kSections.size()];
    const char* key = kKeys[(pick / kSections.size()) % kKeys.size()];

    std::array<std::array<std::string, kKeys.size()>, kSections.size()> before;
    for (std::size_t s = 0; s < kSections.size(); ++s) {
        for (std::size_t k = 0; k < kKeys.size(); ++k) {
            before[s][k] = ini.read(kSections[s], kKeys[k]);
        }
    }
    ini.write(section, key, value);
    IniFile reread(ini.text());
    for (std::size_t s = 0; s < kSections.size(); ++s) {
        for (std::size_t k = 0; k < kKeys.size(); ++k) {
            const std::string now = reread.read(kSections[s], kKeys[k]);
            const bool written = kSections[s] == section && kKeys[k] == key;
            if (written ? now != value : now != before[s][k]) {
                std::abort();
            }
        }
    }
    return 0;
}
