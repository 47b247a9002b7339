// SPDX-License-Identifier: Apache-2.0
// tessal-minimal-version: the least a program can do to read the device's
// software version, as the baseline for tessal-cli's start-to-exit time.
// It opens the port at 38400 8N1, sends the request frame for "V", reads up
// to the reply frame's end, acknowledges it and prints the payload: no
// settings, no trace, no port list.
#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessal-minimal-version <device-path>\n");
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud38400);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], port.errorString().toLocal8Bit().constData());
        return 3;
    }
    // STX, "V", the two checksum characters of "V", ETX.
    const char request[] = {0x02, 0x56, 0x39, 0x3A, 0x03};
    port.write(request, sizeof request);
    if (!port.waitForBytesWritten(5000)) {
        return 5;
    }
    // The reply: STX, payload, two checksum characters, ETX.
    QByteArray reply;
    while (!reply.endsWith('\x03')) {
        if (!port.waitForReadyRead(5000)) {
            std::fprintf(stderr, "no reply\n");
            return 4;
        }
        reply += port.readAll();
    }
    port.write("\x06", 1);
    port.waitForBytesWritten(5000);
    const qsizetype start = reply.indexOf('\x02');
    if (start < 0 || reply.size() - start < 4) {
        std::fprintf(stderr, "broken reply\n");
        return 5;
    }
    const QByteArray payload = reply.mid(start + 1, reply.size() - start - 4);
    std::fwrite(payload.constData(), 1, static_cast<std::size_t>(payload.size()), stdout);
    std::fputc('\n', stdout);
    return 0;
}
