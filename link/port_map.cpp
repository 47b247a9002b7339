// SPDX-License-Identifier: Apache-2.0
#include "port_map.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace tessal::link {

bool PortEnumerator::exists(const std::string& device) const {
    const std::vector<PortInfo> listed = ports();
    return std::any_of(listed.begin(), listed.end(),
                       [&device](const PortInfo& port) { return port.device == device; });
}

std::string port_device(std::uint8_t n, const PortMap& map) {
    if (n < 1 || n > map.devices.size()) {
        return {};
    }
    const std::string& mapped = map.devices[n - 1];
    if (!mapped.empty()) {
        return mapped;
    }
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

bool natural_less(const std::string& a, const std::string& b) {
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t end_a = i;
            std::size_t end_b = j;
            while (end_a < a.size() && digit(a[end_a])) {
                ++end_a;
            }
            while (end_b < b.size() && digit(b[end_b])) {
                ++end_b;
            }
            // Leading zeros do not count; then the longer run is the larger number.
            std::string_view run_a(a.data() + i, end_a - i);
            std::string_view run_b(b.data() + j, end_b - j);
            while (run_a.size() > 1 && run_a.front() == '0') {
                run_a.remove_prefix(1);
            }
            while (run_b.size() > 1 && run_b.front() == '0') {
                run_b.remove_prefix(1);
            }
            if (run_a.size() != run_b.size()) {
                return run_a.size() < run_b.size();
            }
            if (run_a != run_b) {
                return run_a < run_b;
            }
            i = end_a;
            j = end_b;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

PortMap map_ports(const std::array<std::string, 8>& keys, std::vector<PortInfo> found) {
    PortMap map{keys};
#ifdef _WIN32
    (void)found;
#else
    std::stable_sort(found.begin(), found.end(), [](const PortInfo& a, const PortInfo& b) {
        if (a.adapter != b.adapter) {
            return a.adapter;
        }
        return natural_less(a.device, b.device);
    });
    std::erase_if(found, [&keys](const PortInfo& port) {
        return std::find(keys.begin(), keys.end(), port.device) != keys.end();
    });
    auto next = found.begin();
    for (std::string& device : map.devices) {
        if (device.empty() && next != found.end()) {
            device = (next++)->device;
        }
    }
#endif
    return map;
}

std::vector<PortDescription> describe_ports(const std::array<std::string, 8>& keys,
                                            const std::vector<PortInfo>& found) {
    const PortMap map = map_ports(keys, found);
    std::vector<PortDescription> ports;
    for (std::uint8_t n = 1; n <= map.devices.size(); ++n) {
        PortDescription port;
        port.number = n;
        port.device = port_device(n, map);
        const auto info = std::find_if(found.begin(), found.end(),
                                       [&](const PortInfo& p) { return p.device == port.device; });
        if (info != found.end()) {
            port.listed = *info;
        } else {
            std::error_code ec;
            port.missing = keys[n - 1].empty() || !std::filesystem::exists(port.device, ec);
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

} // namespace tessal::link
