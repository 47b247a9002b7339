#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tessal::link {

// Port numbers 1 to 8 and the serial devices they stand for.  An empty entry
// means the platform's default device for that number.
struct PortMap {
    std::array<std::string, 8> devices;
};

// The device of port n, or empty text when no device may have that number
// (0 or above 8).
std::string port_device(std::uint8_t n, const PortMap& map);

} // namespace tessal::link
