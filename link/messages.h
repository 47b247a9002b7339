// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <optional>
#include <string>

namespace tessal::link {

struct PortFailure;

// Texts that the transactions show.
inline constexpr const char* kMsgPortNotOpened =
    "Port nije dobro izabran, podesite port i pokusajte ponovo!";
inline constexpr const char* kMsgOk = "OK!";
inline constexpr const char* kMsgNotOk = "Not OK!";
inline constexpr const char* kMsgNoReplyShort = "Uredjaj ne odgovara !";
inline constexpr const char* kMsgNoReplyLong =
    "Uredjaj ne odgovara, proverite vezu i brzinu prenosa!";
inline constexpr const char* kMsgNoReplyClock = "Uredjaj ne odgovara, proverite vezu!";
inline constexpr const char* kMsgError = "Greska!";
inline constexpr const char* kMsgBadChecksum = "Checksum nije dobar!";
inline constexpr const char* kMsgConfirm = "Jeste li sigurni?";

// True for "OK", "NOK", "TO" and "ERja", the outcomes that the
// acknowledgement scheme names; anything else ("CS" too) is reply text.
bool is_acknowledgement_status(const std::string& result);

// The message for the result of a command that expects only ACK or NAK.
// Results other than the four status words are shown as they are.
std::string acknowledgement_message(const std::string& result);

// The message for the result of a command that expects data, or nothing when
// the result is the data itself ("OK" included).
std::optional<std::string> data_message(const std::string& result,
                                        const char* timeout_text = kMsgNoReplyLong);

// The cause of a failed init_port as the port message's details: the device
// tried on the first line, what went wrong on the second.
std::string port_failure_details(const PortFailure& failure);
// The cause alone, one line: "Nema takvog uredjaja.".
std::string port_failure_cause(const PortFailure& failure);

} // namespace tessal::link
