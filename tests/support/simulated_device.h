// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "devsim/pty_simulator.h"
#include "link/device_link.h"
#include "link/qt_serial_port.h"

#include <QTemporaryDir>

#include <memory>
#include <string>

namespace tessal::testing {

// A device with one fault.
template <class T> devsim::Faults with(T devsim::Faults::*fault, T value) {
    devsim::Faults faults;
    faults.*fault = value;
    return faults;
}
inline devsim::Faults with(bool devsim::Faults::*fault) {
    return with(fault, true);
}

// The simulated device on a pseudo-terminal in a temporary directory, and a
// device link whose port 1 is that terminal.
struct SimulatedDevice {
    SimulatedDevice()
        : simulator(std::make_unique<devsim::PtySimulator>(dir.path().toStdString() + "/ttySIM")) {
        started = simulator->start();
        map.devices[0] = simulator->link_path().string();
        link.set_port_map(map);
    }

    // Opens port 1 at the given speed.
    std::string open(std::int32_t speed = 38400) {
        std::uint8_t number = 1;
        return link.init_port(number, speed);
    }

    QTemporaryDir dir;
    std::unique_ptr<devsim::PtySimulator> simulator;
    link::PortMap map;
    link::DeviceLink link{std::make_unique<link::QtSerialPort>()};
    bool started = false;
};

} // namespace tessal::testing
