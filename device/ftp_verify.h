// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/ftp_parameters.h"
#include "device/operations.h"
#include "device/outcome.h"
#include "device/session.h"
#include "settings/settings.h"

#include <optional>

// The FTP parameters read back after a send and compared with what was sent:
// whether the device holds the values, and whether a value whose
// acknowledgement was lost reached it.
namespace tessal::device {

// What the device holds once it took `rows`: each value as it is sent
// (ftp_value_to_send).
FtpValues ftp_wanted(const FtpRows& rows, const settings::Settings& settings);

// The six parameters as the device holds them now, the address joined
// ("192.168.10.20"); nothing when they could not all be read (the session's
// report says why).
std::optional<FtpValues> read_back_ftp(Session& session, const settings::Settings& settings);

// The send of `rows` (its outcome `sent`) read back: the value whose
// acknowledgement was lost is settled (taken, not taken or read back
// otherwise), and with `every` each value written as well.  False when the
// read failed; the outcome is then as it was.
bool read_back_sent(Session& session, Outcome& sent, const FtpRows& rows,
                    const settings::Settings& settings, bool every);

} // namespace tessal::device
