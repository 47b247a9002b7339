// Every reply reading of the console and the dialogs on arbitrary replies.
#include "console/clock.h"
#include "console/replies.h"
#include "dialogs/ftp_replies.h"
#include "dialogs/sim_replies.h"
#include "settings/settings.h"

#include <cstdlib>

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const console::SignalReading signal = console::read_signal(reply);
    bool bad = console::extract_imei(reply).size() > 15 || signal.bar < 0 || signal.bar > 96 ||
               dialogs::sim_identification(reply).size() > size + 3;
    if (const auto device = console::read_device_clock(reply)) {
        for (int offset : {console::kSummerOffset, console::kWinterOffset}) {
            if (const auto local = console::device_to_local(*device, offset)) {
                const auto hour = console::parse_number((*local)[console::kHour]);
                bad |= !hour || *hour >= 24; // no hour of 24 or more is ever shown
            }
        }
    }
    (void)dialogs::split_address(reply);
    settings::Settings settings;
    settings.gprs_strings[0] = reply.substr(0, size / 2);
    settings.last_used_index = static_cast<std::uint8_t>(size % 6);
    const auto match = dialogs::match_gprs(settings, reply);
    (void)dialogs::pin_state(reply);
    (void)dialogs::modem_error(reply);
    (void)dialogs::attempts_message(reply);
    if (bad || (match && *match > settings.last_used_index)) {
        std::abort();
    }
    return 0;
}
