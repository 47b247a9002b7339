// SPDX-License-Identifier: Apache-2.0
#include "wire.h"

#include "link/frame.h"

#include <algorithm>
#include <cstdio>

namespace tessal::devsim {

using link::kAck;
using link::kFrameEnd;
using link::kFrameStart;
using link::kNak;

void RequestReader::reset() {
    in_request_ = false;
    raw_.clear();
}

std::optional<RequestReader::Event> RequestReader::feed(char byte) {
    using Kind = Event::Kind;
    if (byte == kFrameStart) {
        in_request_ = true;
        raw_.clear();
        return Event{Kind::RequestStarted, {}, 0};
    }
    if (!in_request_) {
        if (byte == kAck) {
            return Event{Kind::Ack, {}, 0};
        }
        if (byte == kNak) {
            return Event{Kind::Nak, {}, 0};
        }
        return std::nullopt;
    }
    if (byte != kFrameEnd) {
        raw_.push_back(byte);
        return std::nullopt;
    }

    in_request_ = false;
    const std::size_t wire_bytes = raw_.size() + 2;
    if (raw_.size() < 2) {
        return Event{Kind::BadRequest, {}, wire_bytes};
    }
    std::string command = raw_.substr(0, raw_.size() - 2);
    const int c = link::checksum(command);
    if (raw_[raw_.size() - 2] != link::checksum_low(c) ||
        raw_[raw_.size() - 1] != link::checksum_high(c)) {
        return Event{Kind::BadRequest, {}, wire_bytes};
    }
    return Event{Kind::Request, std::move(command), wire_bytes};
}

ReplyPlan plan_reply(const Reply& reply, const Faults& faults) {
    ReplyPlan plan;
    std::string bytes;
    switch (reply.kind) {
    case Reply::Kind::None:
        return plan;
    case Reply::Kind::Ack:
        bytes.push_back(kAck);
        break;
    case Reply::Kind::Nak:
        bytes.push_back(kNak);
        break;
    case Reply::Kind::Frame: {
        bytes = faults.stray_prefix + link::build_frame(reply.payload);
        if (faults.corrupt_checksum) {
            // Any other nibble value still looks like a checksum character.
            const int c = link::checksum(reply.payload);
            bytes[bytes.size() - 3] = link::checksum_low(c + 1);
        }
        if (faults.ack_before_frame) {
            plan.writes.push_back({std::string(1, kAck), 0});
        }
        break;
    }
    }

    if (faults.hang_up_mid_reply) {
        bytes.resize(bytes.size() / 2);
        plan.hang_up_after = true;
    } else if (faults.trailing_byte) {
        bytes.push_back('\n');
    }

    // The trailing byte travels with the closing 0x03, never on its own.
    const std::size_t tail = !faults.hang_up_mid_reply && faults.trailing_byte ? 1 : 0;
    const std::size_t chunk =
        faults.chunk_size > 0 ? static_cast<std::size_t>(faults.chunk_size) : bytes.size();
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = std::min(chunk, bytes.size() - at);
        if (bytes.size() - (at + length) <= tail) {
            length = bytes.size() - at;
        }
        int pause = plan.writes.empty() ? 0 : faults.chunk_pause_ms;
        if (!plan.writes.empty() && at == 0 && pause == 0) {
            pause = kAckLeadMs;
        }
        plan.writes.push_back({bytes.substr(at, length), pause});
        at += length;
    }
    return plan;
}

std::string printable(std::string_view bytes) {
    std::string out;
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(ch);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

} // namespace tessal::devsim
