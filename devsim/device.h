// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "modem.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tessal::devsim {

// What the device sends back for one request.
struct Reply {
    enum class Kind { None, Ack, Nak, Frame };

    Kind kind = Kind::None;
    std::string payload; // the body of a reply frame

    static Reply none() { return {}; }
    static Reply ack() { return {Kind::Ack, {}}; }
    static Reply nak() { return {Kind::Nak, {}}; }
    static Reply frame(std::string payload) { return {Kind::Frame, std::move(payload)}; }

    friend bool operator==(const Reply&, const Reply&) = default;
};

// The communicator's command set and state, without any I/O.
//
// Parameters live in two places: the JAD descriptor's lines ("name: value",
// each ended by CR LF) and a store for every other name (the FTP upload
// parameters, the SIM identification and whatever "P" sets).  "R" and "P"
// use the descriptor line when there is one of that name, so a changed JAD
// parameter shows in the next "J" reply.
class Device {
  public:
    // `now` drives the modem clock; the steady clock when empty.
    explicit Device(Modem::MonotonicClock now = {});

    // Answers one request's command text and remembers it as the last
    // command.
    Reply handle(std::string_view command);

    const std::string& version() const { return version_; }
    void set_version(std::string text) { version_ = std::move(text); }

    // The command text received before the one being handled ("W").
    const std::string& last_command() const { return last_command_; }

    // The value "R" followed by `name` reads; nothing for an unknown name.
    std::optional<std::string> parameter(std::string_view name) const;
    // What "P" followed by name, ":" and value does.
    void set_parameter(std::string_view name, std::string_view value);
    // The names outside the descriptor with their values.
    const std::map<std::string, std::string, std::less<>>& stored_parameters() const {
        return stored_;
    }

    // The text "J" answers.  Any text may be set, also one that is not a
    // well-formed descriptor; its "name: value" lines become parameters.
    const std::string& descriptor() const { return descriptor_; }
    void set_descriptor(std::string text) { descriptor_ = std::move(text); }
    static std::string default_descriptor();

    // The password of the last "p" request.
    const std::string& password() const { return password_; }

    Modem& modem() { return modem_; }
    const Modem& modem() const { return modem_; }

  private:
    Reply answer(std::string_view command);

    std::string version_ = "Tessal GPRS 2.4.1 (simulator)";
    std::string last_command_;
    std::string descriptor_;
    std::map<std::string, std::string, std::less<>> stored_;
    std::string password_;
    Modem modem_;
};

} // namespace tessal::devsim
