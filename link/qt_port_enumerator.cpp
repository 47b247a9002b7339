// SPDX-License-Identifier: Apache-2.0
#include "qt_port_enumerator.h"

#include <QSerialPortInfo>

namespace tessal::link {

std::vector<PortInfo> QtPortEnumerator::ports() const {
    std::vector<PortInfo> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
#ifdef Q_OS_WIN
        port.device = info.portName().toStdString();
#else
        port.device = info.systemLocation().toStdString();
#endif
        port.description = info.description().toStdString();
        port.serial_number = info.serialNumber().toStdString();
        // USB serial adapters and modems (ttyUSB, ttyACM) carry a USB vendor
        // identifier; built-in UARTs do not.
        port.adapter = info.hasVendorIdentifier() || info.portName().startsWith(u"ttyUSB") ||
                       info.portName().startsWith(u"ttyACM");
        out.push_back(std::move(port));
    }
    return out;
}

} // namespace tessal::link
