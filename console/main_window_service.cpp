// SPDX-License-Identifier: Apache-2.0
// The service book in the window: an entry opened on the port with the
// device's identity, ended with its seals and verdict, and the status line
// that says what is open and what waits for the register.
#include "main_window.h"
#include "service_dialogs.h"

#include "device/operations.h"

#include <QLabel>
#include <QTimer>

namespace tessal::console {

namespace {

// How often and how long the window looks for the number the register
// gives an entry that was ended.
constexpr int kNumberPollMs = 100;
constexpr int kNumberPolls = 60;

// The identity read for a new entry, and whether the port was reached.
struct IdentityRead {
    device::Identity identity;
    std::string device;
    bool reached = false;
};

// "Popravka, Petar Petrovic, IMEI 356871044629016".
QString entry_text(const device::OpenEntry& entry) {
    const device::Opening& o = entry.opening;
    const device::BookWord* kind = device::book_word(device::work_kinds(), o.kind);
    QStringList parts{kind != nullptr ? QString::fromLatin1(kind->words)
                                      : QString::fromStdString(o.kind),
                      QString::fromStdString(o.technician.name)};
    parts << (o.device.known() ? QStringLiteral("IMEI ") + from_device(o.device.imei)
                               : QStringLiteral("uredjaj nije identifikovan"));
    return QStringLiteral("Intervencija: ") + parts.join(QStringLiteral(", "));
}

} // namespace

std::optional<device::OpenEntry> MainWindow::open_entry() const {
    const auto found = entry_devices_.find(settings_.port_number);
    return found == entry_devices_.end() ? std::nullopt : book_.open_on(found->second);
}

void MainWindow::show_service_state() {
    const std::optional<device::OpenEntry> entry = open_entry();
    QString text = entry ? entry_text(*entry) : QStringLiteral("Nema otvorene intervencije");
    const device::BookState state = book_.state();
    if (const int waiting = state.waiting + state.unrecorded; waiting > 0) {
        text += QStringLiteral("; na cekanju za registar: %1").arg(waiting);
    }
    ServiceState->setText(text);
}

void MainWindow::NewIntervention_Click() {
    if (!transaction_.idle() || open_entry()) {
        return;
    }
    const std::optional<device::Technician> kept = device::load_technician();
    OpeningDialog dialog(kept.value_or(device::Technician{}), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    device::Opening opening = dialog.opening();
    if (opening.technician != kept && !device::save_technician(opening.technician)) {
        transaction_.inform(QStringLiteral("Podaci o serviseru nisu sacuvani."));
    }
    // The device's identity in one action; the entry is opened on the device
    // the port reached, once the read's own messages were shown.
    auto read = std::make_shared<IdentityRead>();
    const std::uint8_t port = settings_.port_number;
    run_locked(
        [](device::Session& session) {
            IdentityRead r{device::read_identity(session), session.device(),
                           !session.report().port_failure && !session.cancelled()};
            return r;
        },
        [read](const IdentityRead& r) { *read = r; },
        [this, read, opening, port]() mutable {
            if (!read->reached) {
                transaction_.inform(
                    QStringLiteral("Intervencija nije otvorena: port nije otvoren."));
                return;
            }
            opening.port = read->device;
            opening.device = read->identity;
            book_.open(opening);
            entry_devices_[port] = read->device;
            show_service_state();
            if (!opening.device.known()) {
                transaction_.inform(QStringLiteral(
                    "Uredjaj nije identifikovan: intervencija je otvorena bez IMEI-a."));
            }
        });
}

void MainWindow::EndIntervention_Click() {
    const std::optional<device::OpenEntry> entry = open_entry();
    if (!transaction_.idle() || !entry) {
        return;
    }
    // The device on a line of its own.
    QString shown = entry_text(*entry);
    shown.replace(shown.lastIndexOf(QStringLiteral(", ")), 2, QLatin1Char('\n'));
    ClosingDialog dialog(shown, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    book_.close(entry->opening.port, dialog.closing());
    entry_devices_.erase(settings_.port_number);
    show_service_state();
    tell_entry_number(entry->id, entry->opening.device.known(), kNumberPolls);
}

void MainWindow::tell_entry_number(const std::string& id, bool identified, int polls) {
    const device::BookState state = book_.state();
    const bool handed = state.ended == id;
    if (!handed && polls > 0) {
        QTimer::singleShot(kNumberPollMs, this, [this, id, identified, polls] {
            tell_entry_number(id, identified, polls - 1);
        });
        return;
    }
    show_service_state();
    QString text = QStringLiteral("Intervencija je zavrsena");
    if (handed && state.entry) {
        text += QStringLiteral(": Unos br. %1.").arg(*state.entry);
    } else if (handed && !identified) {
        text += QStringLiteral(". Uredjaj nije identifikovan: unos nema broj.");
    } else if (handed) {
        // The register did not take it: the rows wait locally, or in memory
        // when not even the local register could be written.
        text += QStringLiteral(". Registar nije dostupan: zapis je sacuvan lokalno i dobija "
                               "broj unosa kada stigne u registar.");
    } else {
        text += QStringLiteral(". Zapis ceka registar i dobija broj unosa kada stigne u registar.");
    }
    transaction_.show({text.toStdString(), device::Message::Kind::info, state.why});
}

} // namespace tessal::console
