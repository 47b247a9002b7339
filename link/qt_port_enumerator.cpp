// SPDX-License-Identifier: Apache-2.0
#include "qt_port_enumerator.h"

#include <QSerialPortInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

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

bool QtPortEnumerator::exists(const std::string& device) const {
    if (PortEnumerator::exists(device)) {
        return true;
    }
#ifdef Q_OS_WIN
    // Opened for no reading or writing: only whether the name leads to a
    // device.  A port another program holds is refused, but is there.
    const std::wstring path = L"\\\\.\\" + QString::fromStdString(device).toStdWString();
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
           error != ERROR_INVALID_NAME;
#else
    return false;
#endif
}

} // namespace tessal::link
