#pragma once

#include "link/device_link.h"
#include "settings/settings.h"

#include <QString>

#include <functional>
#include <string>

namespace tessal::console {

class MessageService;

// The device link as the windows use it: the port operations with the port
// and speed of the Settings record, and the rule that only one transaction
// uses the port at a time.  While a reply is awaited the UI keeps running
// (the link's wait lets pending events run) and shows a busy cursor.
class LinkSession {
  public:
    LinkSession(link::DeviceLink& link, settings::Settings& settings, MessageService& messages);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    std::string init_port(std::uint8_t& port_number, std::int32_t& speed);
    std::string close_port();
    std::string get_frame(const std::string& command);

    // Runs a handler's port work as one transaction and closes the port
    // afterwards, whatever happened.  While a transaction runs, another one
    // does nothing and this returns false.
    bool run(const std::function<void()>& body);
    bool busy() const { return busy_; }

    // Opens the port with the record's port and speed; on failure shows the
    // port message and returns false.
    bool open_port();

    // Shows a message, unless the program is closing.
    void inform(const QString& text);
    void inform(const std::string& text);
    MessageService& messages() { return messages_; }

    // The main window is being closed: a waiting exchange is cut short and
    // no more messages are shown.  `after_close` runs once the running
    // transaction has closed the port (at once when none runs).
    void request_close(std::function<void()> after_close);
    bool closing() const { return closing_; }

    link::DeviceLink& link() { return link_; }
    settings::Settings& settings() { return settings_; }

  private:
    link::DeviceLink& link_;
    settings::Settings& settings_;
    MessageService& messages_;
    bool busy_ = false;
    bool closing_ = false;
    std::function<void()> after_close_;
};

// Latin-1 is the device's character set: one byte per character.
QString from_device(const std::string& bytes);
std::string to_device(const QString& text);

} // namespace tessal::console
