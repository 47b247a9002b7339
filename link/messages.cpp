// SPDX-License-Identifier: Apache-2.0
#include "messages.h"

#include "device_link.h"
#include "frame.h"

namespace tessal::link {

bool is_acknowledgement_status(const std::string& result) {
    return is_status_word(result) && result != kChecksumError;
}

std::string acknowledgement_message(const std::string& result) {
    if (result == kOk) {
        return kMsgOk;
    }
    if (result == kNok) {
        return kMsgNotOk;
    }
    if (result == kTimeout) {
        return kMsgNoReplyShort;
    }
    if (result == kPortFailure) {
        return kMsgError;
    }
    return result;
}

std::optional<std::string> data_message(const std::string& result, const char* timeout_text) {
    if (result == kChecksumError) {
        return kMsgBadChecksum;
    }
    if (result == kTimeout) {
        return timeout_text;
    }
    if (result == kPortFailure) {
        return kMsgError;
    }
    if (result == kNok) {
        return kMsgNotOk;
    }
    return std::nullopt;
}

std::string port_failure_cause(const PortFailure& failure) {
    if (failure.device.empty()) {
        return "Nijedan uredjaj nije dodeljen ovom broju porta.";
    }
    std::string cause;
    switch (failure.fault.kind) {
    case PortFault::Kind::NoDevice:
        cause = "Nema takvog uredjaja.";
        break;
    case PortFault::Kind::PermissionDenied:
        cause = failure.fault.group.empty()
                    ? "Pristup odbijen: dodajte korisnika u grupu koja je vlasnik uredjaja, pa se "
                      "ponovo prijavite."
                    : "Pristup odbijen: dodajte korisnika u grupu " + failure.fault.group +
                          " (sudo usermod -aG " + failure.fault.group +
                          " $USER), pa se ponovo prijavite.";
        break;
    case PortFault::Kind::InUse:
        cause = "Port je zauzet: koristi ga drugi program.";
        break;
    case PortFault::Kind::SpeedRefused:
        cause = "Port ne prihvata brzinu " + std::to_string(failure.speed) + " bps.";
        break;
    case PortFault::Kind::None:
    case PortFault::Kind::Other:
        cause = failure.fault.system_text.empty() ? "Greska porta."
                                                  : "Greska porta: " + failure.fault.system_text;
        break;
    }
    return cause;
}

std::string port_failure_details(const PortFailure& failure) {
    if (failure.device.empty()) {
        return port_failure_cause(failure);
    }
    return "Uredjaj: " + failure.device + "\n" + port_failure_cause(failure);
}

} // namespace tessal::link
