// SPDX-License-Identifier: Apache-2.0
#include "ftp_verify.h"

#include "device/ftp_replies.h"

#include <algorithm>

namespace tessal::device {

namespace {

std::size_t at(FtpParameter parameter) {
    return static_cast<std::size_t>(parameter);
}

// The four text parameters, as FtpRows and FtpRead hold them.
constexpr std::array<FtpParameter, 4> kTexts{FtpParameter::user, FtpParameter::password,
                                             FtpParameter::for_send, FtpParameter::command};

} // namespace

bool ftp_acknowledged(const FtpSent& sent, FtpParameter row) {
    return std::find(sent.acknowledged.begin(), sent.acknowledged.end(), at(row)) !=
           sent.acknowledged.end();
}

FtpValues ftp_wanted(const FtpRows& rows, const settings::Settings& settings) {
    FtpValues wanted;
    wanted[at(FtpParameter::address)] = sent_address(rows.address);
    for (std::size_t i = 0; i < kTexts.size(); ++i) {
        wanted[at(kTexts[i])] = rows.texts[i];
    }
    const auto chosen = static_cast<std::size_t>(std::max(rows.operator_index, 0));
    wanted[at(FtpParameter::gprs)] =
        rows.gprs ? *rows.gprs : settings.gprs_strings[chosen].value_or("");
    return wanted;
}

std::optional<FtpValues> read_back_ftp(Session& session, const settings::Settings& settings) {
    const FtpRead read = read_ftp(session, settings);
    if (read.rows_read < kFtpParameterTable.size()) {
        return std::nullopt;
    }
    FtpValues now;
    now[at(FtpParameter::address)] = joined_address(read.address);
    for (std::size_t i = 0; i < kTexts.size(); ++i) {
        now[at(kTexts[i])] = read.texts[i];
    }
    now[at(FtpParameter::gprs)] = read.gprs;
    return now;
}

std::optional<std::vector<FtpParameter>> verify_ftp(Session& session, const FtpRows& rows,
                                                    const settings::Settings& settings) {
    const std::optional<FtpValues> now = read_back_ftp(session, settings);
    if (!now) {
        return std::nullopt;
    }
    const FtpValues wanted = ftp_wanted(rows, settings);
    std::vector<FtpParameter> differing;
    for (std::size_t row = 0; row < kFtpParameterTable.size(); ++row) {
        if (rows.ticked[row] && wanted[row] != (*now)[row]) {
            differing.push_back(ftp_parameter_at(row));
        }
    }
    return differing;
}

std::optional<FtpParameter> ftp_lost_row(const FtpRows& rows, const FtpSent& sent,
                                         const Report& report) {
    if (sent.complete || !acknowledgement_lost(report)) {
        return std::nullopt;
    }
    for (std::size_t row = 0; row < rows.ticked.size(); ++row) {
        if (rows.ticked[row] && !ftp_acknowledged(sent, ftp_parameter_at(row))) {
            return ftp_parameter_at(row);
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
    return (*now)[at(row)] == ftp_wanted(rows, settings)[at(row)];
}

} // namespace tessal::device
