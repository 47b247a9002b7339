// SPDX-License-Identifier: Apache-2.0
#include "device.h"

namespace tessal::devsim {

namespace {

struct Span {
    std::size_t begin;
    std::size_t end;
};

// Where the value of descriptor line `name` lies: after the colon and one
// blank, up to the line's CR LF or the end of the text.
std::optional<Span> descriptor_value(std::string_view text, std::string_view name) {
    std::size_t line = 0;
    while (line < text.size()) {
        std::size_t end = text.find("\r\n", line);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view content = text.substr(line, end - line);
        const std::size_t colon = content.find(':');
        if (colon != std::string_view::npos && content.substr(0, colon) == name) {
            std::size_t value = line + colon + 1;
            if (value < end && text[value] == ' ') {
                ++value;
            }
            return Span{value, end};
        }
        line = end + 2;
    }
    return std::nullopt;
}

} // namespace

Device::Device(Modem::MonotonicClock now)
    : descriptor_(default_descriptor()),
      stored_{
          {"FTPGovAddr", "192.168.10.20"},    {"FTPGovUser", "terminal"},
          {"FTPGovPass", "trobelik"},         {"FTP_pathFILES", "/izvestaji"},
          {"FtpGovFoldsCommand", "/komande"}, {"gprsParamVlada", "internet,gprs,gprs"},
      },
      modem_(std::move(now)) {}

std::string Device::default_descriptor() {
    return "MIDlet-Name: Tessal GPRS\r\n"
           "MIDlet-Version: 2.4.1\r\n"
           "MIDlet-Vendor: Tessal\r\n"
           "MIDlet-Description: GPRS komunikator fiskalne kase\r\n"
           "MIDlet-Jar-URL: http://update.example.net:8080/komunikator.jar\r\n"
           "MIDlet-Jar-Size: 48213\r\n"
           "MIDlet-1: Komunikator,,rs.tessal.komunikator.Main\r\n"
           "MicroEdition-Profile: IMP-NG\r\n"
           "MicroEdition-Configuration: CLDC-1.1\r\n"
           "CASH_TYPE: 3\r\n"
           "CASH_SPEED: 9600\r\n"
           "REPORT_INTERVAL: 60\r\n"
           "GPRS_RETRIES: 5\r\n"
           "SMS_ALARM: +381641234567\r\n"
           "PIB: 100123456\r\n";
}

std::optional<std::string> Device::parameter(std::string_view name) const {
    if (const auto span = descriptor_value(descriptor_, name)) {
        return descriptor_.substr(span->begin, span->end - span->begin);
    }
    if (const auto it = stored_.find(name); it != stored_.end()) {
        return it->second;
    }
    return std::nullopt;
}

void Device::set_parameter(std::string_view name, std::string_view value) {
    if (const auto span = descriptor_value(descriptor_, name)) {
        descriptor_.replace(span->begin, span->end - span->begin, value);
        return;
    }
    stored_.insert_or_assign(std::string(name), std::string(value));
}

Reply Device::handle(std::string_view command) {
    Reply reply = answer(command);
    last_command_ = command;
    return reply;
}

Reply Device::answer(std::string_view command) {
    if (command.empty()) {
        return Reply::nak();
    }
    const std::string_view rest = command.substr(1);
    switch (command.front()) {
    case 'V':
        return Reply::frame(version_);
    case 'W':
        return Reply::frame(last_command_);
    case 'E':
    case 'X':
    case 'T':
        return Reply::ack();
    case 'p':
        password_ = rest;
        return Reply::ack();
    case 'R': {
        const std::optional<std::string> value = parameter(rest);
        return value ? Reply::frame(*value) : Reply::nak();
    }
    case 'P': {
        const std::size_t colon = rest.find(':');
        if (colon == 0 || colon == std::string_view::npos) {
            return Reply::nak();
        }
        set_parameter(rest.substr(0, colon), rest.substr(colon + 1));
        return Reply::ack();
    }
    case 'J':
        return Reply::frame(descriptor_);
    case 'A':
        return Reply::frame(modem_.answer(rest));
    default:
        return Reply::nak();
    }
}

} // namespace tessal::devsim
