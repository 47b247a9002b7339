#include "sim_dialog.h"

#include "console/look.h"
#include "console/transaction.h"
#include "dialogs/closing.h"
#include "dialogs/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace tessal::dialogs {

namespace {

constexpr const char* kMsgNoSim = "SIM kartica nije prisutna";
constexpr const char* kMsgNoPinNeeded = "Oslobodjeno od PIN koda";
constexpr const char* kMsgPinSet = "PIN kod uspesno setovan";

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
    transaction_.run([this] {
        SIMtext->clear();
        QCoreApplication::processEvents();
        if (!transaction_.open_port()) {
            return;
        }
        const std::string result = transaction_.get_frame(kCmdSimIdentification);
        if (const auto message = link::data_message(result)) {
            transaction_.inform(*message);
            return;
        }
        SIMtext->setText(console::from_device(sim_identification(result)));
    });
}

void SimDialog::send_acknowledged(const std::string& command) {
    transaction_.run([&] {
        if (transaction_.open_port()) {
            transaction_.inform(link::acknowledgement_message(transaction_.get_frame(command)));
        }
    });
}

void SimDialog::SendPSW_Click() {
    send_acknowledged(kCmdPassword + console::to_device(PassText->text()));
}

void SimDialog::SendSIM_Click() {
    send_acknowledged(kCmdSimParameter + console::to_device(SimtextS->text()));
}

void SimDialog::SendPin_Click() {
    transaction_.run([this] {
        const std::string pin = trim_blanks(console::to_device(PINText->text()));
        if (transaction_.open_port()) {
            pin_sequence(pin);
        }
    });
}

void SimDialog::pin_sequence(const std::string& pin) {
    const auto inform = [&](const std::string& text) { transaction_.inform(text); };

    // Step 1: is a PIN wanted at all?  A status result is reported and the
    // PIN is sent anyway.
    const std::string state = transaction_.get_frame(kCmdPinState);
    if (link::is_acknowledgement_status(state)) {
        inform(link::acknowledgement_message(state));
    } else {
        switch (pin_state(state)) {
        case PinState::no_sim:
            inform(kMsgNoSim);
            return;
        case PinState::ready:
            inform(kMsgNoPinNeeded);
            return;
        case PinState::unexpected:
            inform("Nedozvoljena operacija ==" + state + "==");
            return;
        case PinState::pin_wanted:
            break;
        }
    }

    // Step 2: the PIN itself.  A refused PIN ends with the attempts left
    // (step 3); otherwise the PIN request is switched off (step 4).
    const std::string entry = transaction_.get_frame(kCmdPinEntry + pin);
    if (link::is_acknowledgement_status(entry)) {
        inform(link::acknowledgement_message(entry));
    } else if (modem_error(entry)) {
        const std::string attempts = transaction_.get_frame(kCmdPinAttempts + pin);
        if (!link::is_acknowledgement_status(attempts)) {
            inform(attempts_message(attempts));
            return;
        }
        inform(link::acknowledgement_message(attempts));
    }

    // Step 4: PIN request off.
    const std::string off = transaction_.get_frame(kCmdPinRequestOff + pin);
    if (off == link::kOk) {
        inform("OK");
    } else if (link::is_acknowledgement_status(off)) {
        inform(link::acknowledgement_message(off));
    } else if (modem_error(off)) {
        inform(off);
    } else {
        inform(kMsgPinSet);
    }
}

void SimDialog::Izlaz_Click() {
    reject();
}

void SimDialog::reject() {
    close_dialog(transaction_, *this);
}

} // namespace tessal::dialogs
