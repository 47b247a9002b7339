// The JAD descriptor parse on arbitrary text.
#include "dialogs/jad_descriptor.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tessal::dialogs::JadParameterTable table;
    const bool parsed = tessal::dialogs::parse_descriptor(text, table);
    if (table.count < 0 || table.count > tessal::dialogs::JadParameterTable::kCapacity) {
        std::abort();
    }
    if (parsed) {
        std::size_t total = 0;
        for (int i = 0; i < table.count; ++i) {
            total += table.names[static_cast<std::size_t>(i)].size() +
                     table.values[static_cast<std::size_t>(i)].size();
        }
        if (total > size) {
            std::abort(); // entries come from the text and nowhere else
        }
    }
    return 0;
}
