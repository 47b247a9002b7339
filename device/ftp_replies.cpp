// SPDX-License-Identifier: Apache-2.0
#include "ftp_replies.h"

#include "replies.h"

#include <algorithm>

namespace tessal::device {

std::array<std::string, 4> split_address(std::string_view value) {
    std::array<std::string, 4> boxes;
    std::string_view rest = value;
    for (std::size_t box = 0; box < 3; ++box) {
        const std::size_t stop = rest.find('.');
        if (stop != std::string_view::npos) {
            boxes[box] = std::string(rest.substr(0, stop));
            rest.remove_prefix(stop + 1);
        }
    }
    boxes[3] = std::string(rest);
    return boxes;
}

std::optional<std::array<std::string, 4>> four_octets(std::string_view address) {
    if (std::count(address.begin(), address.end(), '.') < 3) {
        return std::nullopt;
    }
    return split_address(address);
}

std::string joined_address(const std::array<std::string, 4>& octets) {
    return octets[0] + "." + octets[1] + "." + octets[2] + "." + octets[3];
}

std::string padded_octet(const std::string& octet) {
    std::string padded = trim_blanks(octet);
    if (padded.size() < 3) {
        padded.insert(0, 3 - padded.size(), '0');
    }
    return padded;
}

std::string sent_address(const std::array<std::string, 4>& octets) {
    return padded_octet(octets[0]) + "." + padded_octet(octets[1]) + "." + padded_octet(octets[2]) +
           "." + trim_blanks(octets[3]);
}

std::string address_as_sent(std::string_view address) {
    const std::optional<std::array<std::string, 4>> octets = four_octets(address);
    return octets ? sent_address(*octets) : std::string(address);
}

std::optional<std::size_t> match_gprs(const settings::Settings& settings, std::string_view value) {
    for (std::size_t i = 0; i < settings::operators_in_use(settings); ++i) {
        if (settings.gprs_strings[i].value_or(std::string()) == value) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace tessal::device
