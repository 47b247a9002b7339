#include "port_map.h"

namespace tessal::link {

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

} // namespace tessal::link
