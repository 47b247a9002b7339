// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>

namespace tessal::devsim {

// Misbehaviours the simulated device can show on the line.  All are off by
// default; several may be combined.
struct Faults {
    bool silent = false;            // read requests, answer nothing
    bool nak_all = false;           // answer every request with NAK
    bool corrupt_checksum = false;  // reply frames carry a wrong checksum
    int chunk_size = 0;             // >0: send a reply in chunks of this many bytes ...
    int chunk_pause_ms = 0;         // ... with this pause between chunks
    bool trailing_byte = false;     // one extra '\n' after the closing 0x03, in the same write
    std::string stray_prefix;       // bytes put before the frame start (empty = none)
    bool ack_before_frame = false;  // a lone ACK byte, then the reply frame
    int reply_delay_ms = 0;         // wait this long before answering
    bool hang_up_mid_reply = false; // send about half the reply frame, then hang up the line
    bool vanish_on_request = false; // on a request, hang up at once without answering
    // Answer the moment a request's first byte is seen, before the rest of it
    // is read, with the reply to `instant_command`.  Taken from the global
    // faults only: the command is not known yet.
    bool instant = false;
    std::string instant_command = "V";
    // >0: pace the line at this bit rate (10 bits per byte) both ways: wait
    // for the request's wire time before answering, emit reply bytes at that
    // rate.
    int line_speed = 0;
};

// Faults for single commands: applied instead of the global ones when the
// request's command text starts with `prefix` (the first matching rule wins).
struct CommandFault {
    std::string prefix;
    Faults faults;
};

} // namespace tessal::devsim
