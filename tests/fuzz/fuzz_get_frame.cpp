// Frame reception fed arbitrary chunks: every exchange ends, with a payload
// only when a well-formed frame came last.
#include "link/device_link.h"
#include "link/frame.h"
#include "support/scripted_port.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace tessal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int64_t now = 0;
    auto owned = std::make_unique<testing::ScriptedPort>(&now);
    testing::ScriptedPort* port = owned.get();
    // The input is a row of chunks: a length byte, then that many bytes; the
    // length 255 stands for a failing read.
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = data[at++];
        if (length == 255) {
            port->fail_next_read();
            continue;
        }
        const std::size_t take = std::min(length % 64, size - at);
        port->arrive(std::string(reinterpret_cast<const char*>(data + at), take));
        at += take;
    }
    link::DeviceLink link(std::move(owned), [&now] { return now; });
    link.constants().reply_timeout_ms = 100;
    std::uint8_t number = 1;
    std::int32_t speed = 38400;
    if (link.init_port(number, speed) != link::kOk) {
        std::abort();
    }
    const std::string result = link.get_frame("V");
    const bool status = result == link::kOk || result == link::kNok || result == link::kTimeout ||
                        result == link::kChecksumError || result == link::kPortFailure;
    if (!status) {
        // A payload: the buffer held a frame with the right checksum, and
        // the device was told so.
        const std::string& buffer = link.receive_buffer();
        if (buffer.size() < 4 || buffer.back() != link::kFrameEnd ||
            buffer.substr(1, buffer.size() - 4) != result ||
            port->writes.back() != std::string(1, link::kAck)) {
            std::abort();
        }
    }
    if (now > 100) {
        std::abort(); // the wait overran its time-out
    }
    return 0;
}
