// SPDX-License-Identifier: Apache-2.0
// The clock frame: the PC's time, live or typed, the device's clock read
// and set, and the season's offset.
#include "main_window.h"

#include "device/operations.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace tessal::console {

void MainWindow::Check2_Click() {
    Timer1->setInterval(1000);
    if (Check2->isChecked()) {
        Timer1->start();
    } else {
        Timer1->stop();
    }
}

void MainWindow::Timer1_Timer() {
    pc_time_ = device::clock_texts(now_());
    for (std::size_t i = 0; i < Vreme.size(); ++i) {
        Vreme[i]->setText(from_device(pc_time_[i]));
    }
}

void MainWindow::Vreme_Change() {
    if (Check2->isChecked()) {
        return;
    }
    for (std::size_t i = 0; i < Vreme.size(); ++i) {
        pc_time_[i] = to_device(Vreme[i]->text());
    }
}

int MainWindow::season_offset() const {
    if (Option1->isChecked()) {
        return device::kSummerOffset;
    }
    if (Option2->isChecked()) {
        return device::kWinterOffset;
    }
    return 0;
}

void MainWindow::ReadTime_Click() {
    const int offset = season_offset();
    run_locked([offset](device::Session& session) { return device::read_clock(session, offset); },
               [this](const std::optional<device::ClockTexts>& local) {
                   if (!local) {
                       return;
                   }
                   for (std::size_t i = 0; i < local->size(); ++i) {
                       device_clock_boxes_[i]->setText(from_device((*local)[i]));
                   }
               });
}

void MainWindow::SendTime_Click() {
    // The time is taken now; ticks of the PC clock during the send do not
    // change what goes out.
    const int offset = season_offset();
    const device::ClockTexts local = pc_time_;
    // The device's clock as last read, if it was, is what the device held.
    device::ClockTexts read;
    for (std::size_t i = 0; i < read.size(); ++i) {
        read[i] = to_device(device_clock_boxes_[i]->text());
    }
    const bool was_read =
        std::any_of(read.begin(), read.end(), [](const std::string& t) { return !t.empty(); });
    const std::optional<device::ClockTexts> before = was_read ? std::optional(read) : std::nullopt;
    transaction_.run(this, [offset, local, before](device::Session& session) {
        device::set_clock(session, local, offset, before);
    });
}

} // namespace tessal::console
