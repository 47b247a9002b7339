// SPDX-License-Identifier: Apache-2.0
// Frame reception fed arbitrary chunks (a length byte, then that many bytes;
// 255 is a failing read): every exchange ends within its time-out, with a
// payload only when a well-formed frame came last and was acknowledged.
#include "link/device_link.h"
#include "link/frame.h"
#include "support/scripted_port.h"

#include <cstdlib>

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int64_t now = 0;
    auto owned = std::make_unique<testing::ScriptedPort>(&now);
    testing::ScriptedPort* port = owned.get();
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = data[at++];
        const std::size_t take = length == 255 ? 0 : std::min(length % 64, size - at);
        length == 255 ? port->fail_next_read()
                      : port->arrive(std::string(reinterpret_cast<const char*>(data + at), take));
        at += take;
    }
    link::DeviceLink link(std::move(owned), [&now] { return now; });
    link.constants().reply_timeout_ms = 100;
    std::uint8_t number = 1;
    std::int32_t speed = 38400;
    const std::string result = link.init_port(number, speed) == "OK" ? link.get_frame("V") : "";
    const std::string& got = link.receive_buffer();
    const bool payload =
        result != "OK" && result != "NOK" && result != "TO" && result != "CS" && result != "ERja";
    if (now > 100 ||
        (payload && (got.size() < 4 || got.back() != '\x03' ||
                     got.substr(1, got.size() - 4) != result || port->writes.back() != "\x06"))) {
        std::abort();
    }
    return 0;
}
