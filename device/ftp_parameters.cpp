// SPDX-License-Identifier: Apache-2.0
#include "ftp_parameters.h"

#include "device/device_text.h"
#include "device/ftp_replies.h"
#include "device/replies.h"

#include <algorithm>

namespace tessal::device {

std::string ftp_field(FtpParameter parameter) {
    return std::string("ftp.") + ftp_parameter(parameter).field;
}

std::optional<std::string> octet_problem(std::string_view octet) {
    const std::string digits = trim_blanks(octet);
    if (digits.empty() || octet.size() > kLongestOctet || !is_device_text(std::string(octet))) {
        return "empty, longer than 3 characters or not device text";
    }
    const bool number =
        std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    if (!number || std::stoi(digits) > kLargestOctet) {
        return "not a number from 0 to 255";
    }
    return std::nullopt;
}

std::optional<std::string> octets_problem(const std::array<std::string, 4>& octets) {
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (const std::optional<std::string> problem = octet_problem(octets[i])) {
            return "octet " + std::to_string(i + 1) + " " + *problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> address_problem(std::string_view address) {
    const std::optional<std::array<std::string, 4>> octets = four_octets(address);
    if (!octets) {
        return "not four octets A.B.C.D";
    }
    return octets_problem(*octets);
}

std::optional<std::string> ftp_text_problem(FtpParameter parameter, std::string_view text) {
    return typed_value_problem(text, ftp_parameter(parameter).longest);
}

} // namespace tessal::device
