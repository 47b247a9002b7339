// SPDX-License-Identifier: Apache-2.0
// The JAD descriptor parse on arbitrary text: the table stays within its
// capacity and holds nothing that the text did not.
#include "device/jad_descriptor.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessal::device::JadParameterTable table;
    const bool parsed = tessal::device::parse_descriptor(
        std::string_view(reinterpret_cast<const char*>(data), size), table);
    std::size_t total = 0;
    for (int i = 0; parsed && i < table.count; ++i) {
        total += table.names[static_cast<std::size_t>(i)].size() +
                 table.values[static_cast<std::size_t>(i)].size();
    }
    if (table.count < 0 || table.count > table.kCapacity || total > size) {
        std::abort();
    }
    return 0;
}
