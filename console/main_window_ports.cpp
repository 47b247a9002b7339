// SPDX-License-Identifier: Apache-2.0
// The port and speed lists: what each port number reaches, and the choice
// kept in the settings.
#include "main_window.h"

namespace tessal::console {

void PortList::showPopup() {
    if (before_popup) {
        before_popup();
    }
    QComboBox::showPopup();
}

void MainWindow::set_port_enumerator(const link::PortEnumerator& ports) {
    ports_ = &ports;
    engine_.set_port_enumerator(ports_);
}

void MainWindow::refresh_port_tips() {
    // The link reads the ports too, so that the list and the port opened
    // agree.
    for (const link::PortDescription& port :
         link::describe_ports(settings_.com_devices, engine_.refresh_ports())) {
        QString tip =
            QStringLiteral("Com%1: %2").arg(port.number).arg(QString::fromStdString(port.device));
        if (const std::optional<link::PortInfo>& info = port.listed) {
            if (info->adapter) {
                tip += QStringLiteral(", USB adapter");
                if (!info->description.empty()) {
                    tip += QLatin1Char(' ') + QString::fromStdString(info->description);
                }
            } else if (!info->description.empty()) {
                tip += QStringLiteral(", ") + QString::fromStdString(info->description);
            }
            if (!info->serial_number.empty()) {
                tip += QStringLiteral(", serijski broj ") +
                       QString::fromStdString(info->serial_number);
            }
        } else if (port.missing) {
            tip += QStringLiteral(", nema uredjaja");
        }
        Combo1->setItemData(port.number - 1, tip, Qt::ToolTipRole);
    }
}

void MainWindow::Combo1_Change() {
    settings_.port_number = static_cast<std::uint8_t>(Combo1->currentIndex() + 1);
    show_service_state();
}

void MainWindow::Combo2_Change() {
    const int entry = Combo2->findText(Combo2->currentText(), Qt::MatchExactly);
    if (entry >= 0 && entry < static_cast<int>(kSpeeds.size())) {
        settings_.speed = kSpeeds[static_cast<std::size_t>(entry)];
    }
}

} // namespace tessal::console
