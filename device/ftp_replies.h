// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "settings/settings.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessal::device {

// Reading the device's replies to the FTP parameter requests.  No widgets
// here, so that the rules can be exercised on their own.

// The server address as the device reports it, split at full stops into the
// four octet boxes.  Each of the first three boxes takes the text before the
// first full stop of what is left, which then loses that part and the stop;
// when no full stop is left the box stays empty.  The fourth box takes what
// remains.  Digits and ranges are not checked: "10.0.0" gives "10", "0", ""
// and "0", and a text without a full stop lands whole in the fourth box.
std::array<std::string, 4> split_address(std::string_view value);

// The four octets of "A.B.C.D" as typed, the fourth taking all after the
// third full stop; nothing when the address has fewer than three.
std::optional<std::array<std::string, 4>> four_octets(std::string_view address);

// The octets joined with full stops.
std::string joined_address(const std::array<std::string, 4>& octets);

// The address as the device is sent it: the first three octets without
// blanks and padded with zeros to three places, the fourth without blanks.
std::string sent_address(const std::array<std::string, 4>& octets);
// One of the first three octets as sent.
std::string padded_octet(const std::string& octet);
// The address "A.B.C.D" as the device is sent it; a text that is not four
// octets stays as it is.
std::string address_as_sent(std::string_view address);

// The first operator, from 0 to the last used index, whose GPRS parameter
// string is exactly the value (letter case counts); an unset string counts as
// empty text.  Nothing when none matches.
std::optional<std::size_t> match_gprs(const settings::Settings& settings, std::string_view value);

} // namespace tessal::device
