// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessal::link {

// One serial device the machine reports.
struct PortInfo {
    std::string device;        // the path or name the port opens, "/dev/ttyUSB0", "COM3"
    std::string description;   // the adapter's own description, when known
    std::string serial_number; // the adapter's serial number, when known
    bool adapter = false;      // a USB or ACM adapter rather than a built-in port
};

// Lists the serial devices of the machine.  The program asks Qt's serial-port
// enumeration; tests give a made-up machine.
class PortEnumerator {
  public:
    virtual ~PortEnumerator() = default;
    virtual std::vector<PortInfo> ports() const = 0;
    // Whether the port of that name is there now.  The list's ports are; a
    // machine may know more (a Windows COM name that the list misses).
    virtual bool exists(const std::string& device) const;
};

// Port numbers 1 to 8 and the serial devices they stand for.  An empty entry
// means the platform's default device for that number.
struct PortMap {
    std::array<std::string, 8> devices;
};

// The device of port n, or empty text when no device may have that number
// (0 or above 8).
std::string port_device(std::uint8_t n, const PortMap& map);

// What each port number reaches: a "COMn" key decides port n.  On Linux the
// numbers without a key take the devices found, adapters first, then
// built-in ports, each group in natural order of the device name
// (ttyUSB2 before ttyUSB10); a device that a key already names is not given
// out again, and numbers left over keep their default device.  On Windows
// every number without a key keeps "COMn".
PortMap map_ports(const std::array<std::string, 8>& keys, std::vector<PortInfo> found);

// What one port number reaches, as the port list and the port tips tell it.
struct PortDescription {
    std::uint8_t number = 0;
    std::string device;
    // The machine lists the device: its adapter, description and serial number.
    std::optional<PortInfo> listed;
    // Neither listed nor, for a device a "COMn" key names, there at all (a
    // pseudo-terminal is not listed but is there).
    bool missing = false;
};

// Ports 1 to 8 as `map_ports` maps them, each with what the machine tells of it.
std::vector<PortDescription> describe_ports(const std::array<std::string, 8>& keys,
                                            const std::vector<PortInfo>& found);

// True when a sorts before b with digit runs compared as numbers.
bool natural_less(const std::string& a, const std::string& b);

} // namespace tessal::link
