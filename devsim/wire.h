// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device.h"
#include "faults.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessal::devsim {

// Reassembles the console's byte stream into requests and acknowledgements.
// A request runs from 0x02 to 0x03 (its body never holds 0x03); a 0x02
// inside a request starts it afresh.  Outside a request only ACK and NAK
// bytes mean anything; other bytes are dropped.
class RequestReader {
  public:
    struct Event {
        enum class Kind {
            RequestStarted, // the frame start of a request was seen
            Request,        // a complete request with a good checksum
            BadRequest,     // a complete request with a bad checksum
            Ack,
            Nak,
        };
        Kind kind;
        std::string command;        // Request: its command text
        std::size_t wire_bytes = 0; // Request and BadRequest: frame length on the line
    };

    // Takes one byte; tells what it completed, if anything.
    std::optional<Event> feed(char byte);

    bool in_request() const { return in_request_; }
    void reset();

  private:
    bool in_request_ = false;
    std::string raw_; // between frame start and frame end
};

// One write to the line, made after a pause.
struct LineWrite {
    std::string bytes;
    int pause_before_ms = 0;
};

// How a reply goes out on the line under the given faults.
struct ReplyPlan {
    std::vector<LineWrite> writes;
    bool hang_up_after = false;
};

// Gap between the lone ACK of `ack_before_frame` and the frame when no chunk
// pause is set, long enough for the console to see the ACK on its own.
inline constexpr int kAckLeadMs = 50;

// The writes that carry `reply`: the frame (or acknowledgement byte) with
// the stray prefix, corrupted checksum, leading ACK, chunking, trailing byte
// or cut-off half that `faults` ask for.  Timing faults other than the
// pauses between writes are the transport's business.
ReplyPlan plan_reply(const Reply& reply, const Faults& faults);

// Bytes shown readably: printable characters as they are, CR and LF as \r
// and \n, anything else as \xNN.
std::string printable(std::string_view bytes);

} // namespace tessal::devsim
