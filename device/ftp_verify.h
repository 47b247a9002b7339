// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/ftp_parameters.h"
#include "device/operations.h"
#include "device/session.h"
#include "settings/settings.h"

#include <optional>
#include <string>
#include <vector>

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

// The ticked parameters that read back other than sent, in the table's
// order; nothing when the read failed.
std::optional<std::vector<FtpParameter>> verify_ftp(Session& session, const FtpRows& rows,
                                                    const settings::Settings& settings);

// Whether the device acknowledged the row in that send.
bool ftp_acknowledged(const FtpSent& sent, FtpParameter row);

// The first ticked row that went out unacknowledged because the line
// dropped after its request: the device may have taken it.
std::optional<FtpParameter> ftp_lost_row(const FtpRows& rows, const FtpSent& sent,
                                         const Report& report);

// Whether the device holds the lost row's value: read back to decide it;
// nothing when the read failed.
std::optional<bool> ftp_lost_row_taken(Session& session, const FtpRows& rows, FtpParameter row,
                                       const settings::Settings& settings);

} // namespace tessal::device
