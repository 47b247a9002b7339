// SPDX-License-Identifier: Apache-2.0
#include "ftp_verify.h"

#include <algorithm>
#include <utility>

namespace tessal::device {

bool ftp_acknowledged(const FtpSent& sent, FtpParameter row) {
    return std::find(sent.acknowledged.begin(), sent.acknowledged.end(), row) !=
           sent.acknowledged.end();
}

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

std::optional<std::vector<FtpParameter>> verify_ftp(Session& session, const FtpRows& rows,
                                                    const settings::Settings& settings) {
    const std::optional<FtpValues> now = read_back_ftp(session, settings);
    if (!now) {
        return std::nullopt;
    }
    const FtpValues wanted = ftp_wanted(rows, settings);
    std::vector<FtpParameter> differing;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (rows.ticked[row.parameter] && wanted[row.parameter] != (*now)[row.parameter]) {
            differing.push_back(row.parameter);
        }
    }
    return differing;
}

std::optional<FtpParameter> ftp_lost_row(const FtpRows& rows, const FtpSent& sent,
                                         const Report& report) {
    if (sent.complete || !acknowledgement_lost(report)) {
        return std::nullopt;
    }
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (rows.ticked[row.parameter] && !ftp_acknowledged(sent, row.parameter)) {
            return row.parameter;
        }
    }
    return std::nullopt;
}

std::optional<bool> ftp_lost_row_taken(Session& session, const FtpRows& rows, FtpParameter row,
                                       const settings::Settings& settings) {
    const std::optional<FtpValues> now = read_back_ftp(session, settings);
    if (!now) {
        return std::nullopt;
    }
    return (*now)[row] == ftp_value_to_send(rows, row, settings);
}

} // namespace tessal::device
