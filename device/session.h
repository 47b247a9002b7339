// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/outcome.h"
#include "link/device_link.h"
#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessal::device {

// The port an operation uses, handed over by value: the port number and
// speed of the settings and what the "COMn" keys map.
struct PortChoice {
    std::uint8_t port_number = 1;
    std::int32_t speed = 38400;
    std::array<std::string, 8> com_devices;

    static PortChoice of(const settings::Settings& settings);
};

// A message for the technician.  Texts are in the device's character set,
// one byte per character.
struct Message {
    enum class Kind {
        info,  // titled "rvt", information icon, OK
        plain, // no title of its own, no icon, OK
    };
    std::string text;
    Kind kind = Kind::info;
    // Shown behind the box's details button: why the port could not be opened.
    std::string details;

    bool operator==(const Message&) const = default;
};

// The front end's side of a message that comes in the middle of an
// operation, while the port stays open: tell() shows it and returns once the
// technician has closed it.  Called on the thread that runs the operation.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual void tell(const Message& message) = 0;
    // A question with Yes and No; true only for Yes.
    virtual bool ask(const Message& question) = 0;
};

// One request and what the link gave back for it: a StatusWord or the reply.
// A secret in either shows as asterisks.
struct Exchange {
    std::string command;
    std::string result;

    bool operator==(const Exchange&) const = default;
};

// Why an operation failed, said where it failed: the kind, the message
// text for it and the device's reply it failed on (as the report shows it).
struct Failure {
    enum class Kind {
        no_reply,          // the device did not answer in time
        refused,           // the device answered NAK
        bad_checksum,      // the reply's checksum was wrong
        port_failed,       // the line broke during the exchange
        port_unavailable,  // the port could not be opened; the cause is the report's
        modem_error,       // the modem answered with its error line
        unexpected_reply,  // a reply the operation does not expect
        value_missing,     // the reply holds no value of the kind asked for
        bad_value,         // a value that may not be sent, refused before sending
        interrupted,       // traffic was stopped from outside
        read_back_differs, // a value read back differs from the one written
        partly_written,    // some values were written and some not
    };
    Kind kind = Kind::no_reply;
    std::string text;
    std::string reply;

    bool operator==(const Failure&) const = default;
};

// The kind of failure a status word or an unwanted reply stands for.
Failure::Kind failure_kind(const std::string& result);

// What an operation did besides the values it read.
struct Report {
    // The messages to show once the operation has ended, in order.
    std::vector<Message> messages;
    // Every exchange, in order.
    std::vector<Exchange> exchanges;
    // Set when the port could not be opened, with the reason.
    std::optional<link::PortFailure> port_failure;
    // Why the operation failed, when it did; the last failure recorded.
    std::optional<Failure> failure;
    // Traffic was stopped from outside (the program or the dialog closing):
    // the operation ended early and its messages are not for showing.
    bool cancelled = false;
    // What each write did to the device, in order: every write records one,
    // whether or not anything went out.
    std::vector<Outcome> writes;
    // The device this operation opened its port on (a path, or "COMn");
    // empty when the port never opened.
    std::string device;
};

// The line for one operation: the link with the chosen port, the messages it
// gathers and the front end that answers messages shown on the way.  Every
// device operation runs over one; it is used on one thread.
class Session {
  public:
    Session(link::DeviceLink& link, PortChoice port, Prompter* prompter = nullptr);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the chosen port; on failure the port message, with its cause as
    // details, is the report's next message.  Nothing is said once traffic
    // was stopped.
    bool open();
    // One request and its reply (a StatusWord or the reply text).
    std::string exchange(const std::string& command);
    // The same for a request that carries a secret (a password, a PIN) from
    // position `secret_from` on, or whose reply is one: the trace and the
    // report show asterisks for the secret and for the reply.
    std::string exchange_secret(const std::string& command, std::size_t secret_from);
    // Closes the port; a closed port stays closed.
    void close();

    // A message shown when the operation has ended.
    void say(std::string text, Message::Kind kind = Message::Kind::info);
    // A message shown now; returns when it has been closed.  Without a
    // front end, or once traffic was stopped, it joins the messages instead.
    void tell(std::string text);
    // A question to the front end, answered before the operation goes on:
    // true for Yes.  Without a front end the answer is Yes (the caller asked
    // for the operation as it is); once traffic was stopped it is No.
    bool ask(std::string text);

    // Records why the operation fails, with the last reply as the report
    // shows it.
    void fail(Failure::Kind kind, std::string text = {});
    // Says `text` and records the failure `result` stands for.
    void fail_on(const std::string& result, std::string text);
    // Puts back a failure recorded earlier (nothing for none): an operation
    // made of others reports the one that stopped it.
    void restore_failure(std::optional<Failure> failure) { report_.failure = std::move(failure); }

    // Drops the messages said after the first `count`: an operation made of
    // others reports through its own result instead.
    void keep_messages(std::size_t count);

    // The outcome of a write, for the report.
    void record(Outcome outcome) { report_.writes.push_back(std::move(outcome)); }
    // Takes the last outcome recorded back out of the report: a write made of
    // others records one outcome of its own with their values in it.
    Outcome take_write();

    bool cancelled() const { return link_.cancelled(); }
    // The line is dead for the rest of the device: traffic was stopped, or
    // the last exchange found the device silent or the line broken.
    bool line_lost() const;
    // The device the port was last opened on (a path, or "COMn").
    std::string device() const;
    link::LinkConstants& constants() { return link_.constants(); }
    const Report& report() const { return report_; }

    // Closes the port and hands the report over.
    Report finish();

  private:
    link::DeviceLink& link_;
    PortChoice port_;
    Prompter* prompter_;
    Report report_;
};

} // namespace tessal::device
