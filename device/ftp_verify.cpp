// SPDX-License-Identifier: Apache-2.0
#include "ftp_verify.h"

#include <utility>

namespace tessal::device {

FtpValues ftp_wanted(const FtpRows& rows, const settings::Settings& settings) {
    FtpValues wanted;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        wanted[row.parameter] = ftp_value_to_send(rows, row.parameter, settings);
    }
    return wanted;
}

std::optional<FtpValues> read_back_ftp(Session& session, const settings::Settings& settings) {
    FtpRead read = read_ftp(session, settings);
    if (read.rows_read < kFtpParameterTable.size()) {
        return std::nullopt;
    }
    return std::move(read.values);
}

bool read_back_sent(Session& session, Outcome& sent, const FtpRows& rows,
                    const settings::Settings& settings, bool every) {
    const std::optional<FtpValues> now = read_back_ftp(session, settings);
    if (!now) {
        return false;
    }
    const FtpValues wanted = ftp_wanted(rows, settings);
    for (const FtpParameterRow& row : kFtpParameterTable) {
        ValueState* value = sent.value(ftp_field(row.parameter));
        using State = ValueState::State;
        if (value == nullptr ||
            !(value->state == State::unknown || (every && value->state == State::written))) {
            continue;
        }
        const std::string& held = (*now)[row.parameter];
        settle(*value, row.secret ? kHidden : held, held == wanted[row.parameter]);
    }
    sent.reads_back = sent.reads_back || every;
    return true;
}

} // namespace tessal::device
