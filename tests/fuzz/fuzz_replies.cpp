// SPDX-License-Identifier: Apache-2.0
// Every reply reading of the console and the dialogs on arbitrary replies.
#include "device/clock.h"
#include "device/ftp_replies.h"
#include "device/replies.h"
#include "device/sim_replies.h"
#include "settings/settings.h"

#include <cstdlib>

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const device::SignalReading signal = device::read_signal(reply);
    bool bad = device::extract_imei(reply).size() > 15 || signal.bar < 0 || signal.bar > 96 ||
               device::sim_identification(reply).size() > size + 3;
    if (const auto device = device::read_device_clock(reply)) {
        for (int offset : {device::kSummerOffset, device::kWinterOffset}) {
            if (const auto local = device::device_to_local(*device, offset)) {
                const auto hour = device::parse_number((*local)[device::kHour]);
                bad |= !hour || *hour >= 24; // no hour of 24 or more is ever shown
            }
        }
    }
    (void)device::split_address(reply);
    settings::Settings settings;
    settings.gprs_strings[0] = reply.substr(0, size / 2);
    settings.last_used_index = static_cast<std::uint8_t>(size % 6);
    const auto match = device::match_gprs(settings, reply);
    (void)device::pin_state(reply);
    (void)device::modem_error(reply);
    (void)device::attempts_message(reply);
    if (bad || (match && *match > settings.last_used_index)) {
        std::abort();
    }
    return 0;
}
