#include "messages.h"

#include "frame.h"

namespace tessal::link {

bool is_acknowledgement_status(const std::string& result) {
    return result == kOk || result == kNok || result == kTimeout || result == kPortFailure;
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

} // namespace tessal::link
