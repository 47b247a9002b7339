// SPDX-License-Identifier: Apache-2.0
#include "sim_dialog.h"

#include "console/look.h"
#include "console/transaction.h"
#include "device/operations.h"
#include "dialogs/closing.h"
#include "link/frame.h"
#include "link/messages.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace tessal::dialogs {

namespace {

using console::place;

} // namespace

SimDialog::SimDialog(console::Transaction& transaction, QWidget* parent)
    : QDialog(parent), transaction_(transaction) {
    build();
}

void SimDialog::build() {
    setWindowTitle(QStringLiteral("Podesavanje SIM kartice"));
    setFixedSize(470, 250);
    console::apply_console_look(*this);

    const auto row = [this](int top, const char* button_name, const char* caption,
                            const char* box_name, const char* spoken_name, QPushButton*& button,
                            QLineEdit*& box) {
        button = console::console_button(this, button_name, caption, {12, top, 160, 34});
        box = console::spoken(place(new QLineEdit(this), box_name, {184, top + 4, 274, 26}),
                              spoken_name);
    };
    row(12, "ReadSIM", "Citanje SIM-a", "SIMtext", "SIM identifikacija (citanje)", ReadSIM,
        SIMtext);
    row(58, "SendPSW", "Slanje lozinke", "PassText", "Lozinka", SendPSW, PassText);
    row(104, "SendSIM", "Slanje SIM-a", "SimtextS", "SIM identifikacija (slanje)", SendSIM,
        SimtextS);
    row(150, "SendPin", "Slanje PIN-a", "PINText", "PIN", SendPin, PINText);
    // The identification read can be selected and copied, not typed into.
    SIMtext->setReadOnly(true);
    // Typed text goes to the device byte for byte; nothing that would change
    // on the way or break the request frame is taken.  Enter in a typed box
    // presses its row's button.
    auto* device_text = new console::DeviceTextValidator(this);
    for (QLineEdit* typed : {PassText, SimtextS, PINText}) {
        typed->setValidator(device_text);
    }
    console::enter_presses(PassText, SendPSW);
    console::enter_presses(SimtextS, SendSIM);
    console::enter_presses(PINText, SendPin);
    Izlaz = console::console_button(this, "Izlaz", "Izlaz", {12, 202, 446, 36});

    connect(ReadSIM, &QPushButton::clicked, this, [this] { ReadSIM_Click(); });
    connect(SendPSW, &QPushButton::clicked, this, [this] { SendPSW_Click(); });
    connect(SendSIM, &QPushButton::clicked, this, [this] { SendSIM_Click(); });
    connect(SendPin, &QPushButton::clicked, this, [this] { SendPin_Click(); });
    connect(Izlaz, &QPushButton::clicked, this, [this] { Izlaz_Click(); });
}

void SimDialog::ReadSIM_Click() {
    if (!transaction_.idle()) {
        return;
    }
    // A failed read leaves the box empty.
    SIMtext->clear();
    transaction_.run(this, device::read_sim_id, [this](const std::optional<std::string>& shown) {
        if (shown) {
            SIMtext->setText(console::from_device(*shown));
        }
    });
}

void SimDialog::SendPSW_Click() {
    const std::string password = console::to_device(PassText->text());
    transaction_.run(
        this, [password](device::Session& session) { device::send_password(session, password); });
}

void SimDialog::SendSIM_Click() {
    const std::string identification = console::to_device(SimtextS->text());
    transaction_.run(this, [identification](device::Session& session) {
        device::send_sim_id(session, identification);
    });
}

void SimDialog::SendPin_Click() {
    const std::string pin = console::to_device(PINText->text());
    transaction_.run(this, [pin](device::Session& session) { device::unlock_sim(session, pin); });
}

void SimDialog::Izlaz_Click() {
    reject();
}

void SimDialog::reject() {
    close_dialog(transaction_, *this);
}

} // namespace tessal::dialogs
