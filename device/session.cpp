// SPDX-License-Identifier: Apache-2.0
#include "session.h"

#include "device/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"

namespace tessal::device {

PortChoice PortChoice::of(const settings::Settings& settings) {
    return {settings.port_number, settings.speed, settings.com_devices};
}

Failure::Kind failure_kind(const std::string& result) {
    using Kind = Failure::Kind;
    if (result == link::kTimeout) {
        return Kind::no_reply;
    }
    if (result == link::kNok) {
        return Kind::refused;
    }
    if (result == link::kChecksumError) {
        return Kind::bad_checksum;
    }
    if (result == link::kPortFailure) {
        return Kind::port_failed;
    }
    return modem_error(result) ? Kind::modem_error : Kind::unexpected_reply;
}

Session::Session(link::DeviceLink& link, PortChoice port, Prompter* prompter)
    : link_(link), port_(std::move(port)), prompter_(prompter) {}

bool Session::open() {
    link_.set_port_map(link::PortMap{port_.com_devices});
    if (link_.init_port(port_.port_number, port_.speed) == link::kOk) {
        report_.device = device();
        return true;
    }
    if (const auto& failure = link_.last_port_failure()) {
        report_.port_failure = *failure;
        report_.failure = Failure{Failure::Kind::port_unavailable, link::kMsgPortNotOpened,
                                  link::port_failure_details(*failure)};
        report_.messages.push_back(
            {link::kMsgPortNotOpened, Message::Kind::info, link::port_failure_details(*failure)});
    } else if (!cancelled()) {
        report_.port_failure = link::PortFailure{};
        report_.failure = Failure{Failure::Kind::port_unavailable, link::kMsgPortNotOpened,
                                  link::port_failure_details(*report_.port_failure)};
        report_.messages.push_back({link::kMsgPortNotOpened, Message::Kind::info, {}});
    } else {
        report_.failure = Failure{Failure::Kind::interrupted, {}, {}};
    }
    return false;
}

std::string Session::exchange(const std::string& command) {
    std::string result = link_.get_frame(command);
    report_.exchanges.push_back({command, result});
    return result;
}

std::string Session::exchange_secret(const std::string& command, std::size_t secret_from) {
    std::string result = link_.get_frame(command, secret_from);
    Exchange shown{command, result};
    if (secret_from < shown.command.size()) {
        shown.command.replace(secret_from, std::string::npos, shown.command.size() - secret_from,
                              '*');
    }
    if (!link::is_status_word(result)) {
        shown.result.assign(result.size(), '*');
    }
    report_.exchanges.push_back(std::move(shown));
    return result;
}

void Session::close() {
    link_.close_port();
}

void Session::fail(Failure::Kind kind, std::string text) {
    const std::string reply =
        report_.exchanges.empty() ? std::string() : report_.exchanges.back().result;
    report_.failure = Failure{kind, std::move(text), reply};
}

void Session::fail_on(const std::string& result, std::string text) {
    say(text);
    fail(failure_kind(result), std::move(text));
}

void Session::say(std::string text, Message::Kind kind) {
    report_.messages.push_back({std::move(text), kind, {}});
}

void Session::tell(std::string text) {
    if (prompter_ == nullptr || cancelled()) {
        say(std::move(text));
        return;
    }
    prompter_->tell({std::move(text), Message::Kind::info, {}});
}

bool Session::line_lost() const {
    if (cancelled()) {
        return true;
    }
    if (report_.exchanges.empty()) {
        return false;
    }
    const Failure::Kind kind = failure_kind(report_.exchanges.back().result);
    return kind == Failure::Kind::no_reply || kind == Failure::Kind::port_failed;
}

std::string Session::device() const {
    return link_.opened_device();
}

void Session::keep_messages(std::size_t count) {
    if (report_.messages.size() > count) {
        report_.messages.resize(count);
    }
}

Outcome Session::take_write() {
    Outcome last = std::move(report_.writes.back());
    report_.writes.pop_back();
    return last;
}

bool Session::ask(std::string text) {
    if (cancelled()) {
        return false;
    }
    if (prompter_ == nullptr) {
        return true;
    }
    return prompter_->ask({std::move(text), Message::Kind::info, {}}) && !cancelled();
}

Report Session::finish() {
    link_.close_port();
    report_.cancelled = cancelled();
    return std::move(report_);
}

} // namespace tessal::device
