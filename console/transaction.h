#pragma once

#include "link/device_link.h"
#include "settings/settings.h"

#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessal::console {

class MessageService;

// The one transaction on the device's port.  Every handler that talks to
// the device runs its work through run(); whether it may start is decided
// here and nowhere else.  While a reply is awaited the program's events keep
// running, so clicks and closes can arrive in the middle of a transaction:
// a second transaction does not start, and a close cuts the wait short and
// stops all further traffic.
class Transaction {
  public:
    enum class State {
        idle,    // the port is free
        running, // a handler holds the port
        waiting, // an exchange of the running handler awaits its reply
        closing, // a close was asked: nothing more reaches the device
        closed,  // the program is ending: no transaction starts again
    };

    Transaction(link::DeviceLink& link, settings::Settings& settings, MessageService& messages);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Runs a handler's work as the transaction, only when the port is free;
    // otherwise nothing happens and the result is false.  The port is closed
    // when the work ends, whatever happened, and a close asked for meanwhile
    // completes then.
    bool run(const std::function<void()>& work);

    // The port operations for the work inside run().  Once a close was asked
    // they send nothing: init_port gives "PO", get_frame "ERja".  close_port
    // never closes the port under a waiting exchange.
    std::string init_port(std::uint8_t& port_number, std::int32_t& speed);
    std::string get_frame(const std::string& command);
    std::string close_port();
    // init_port with the record's port and speed; on failure shows the port
    // message and gives false.
    bool open_port();

    // Messages of the work; none is shown once a close was asked, and a
    // question is then answered No.
    void inform(const QString& text);
    void inform(const std::string& text);
    void plain(const QString& text);
    bool confirm(const QString& text);

    // Ends what runs: a waiting exchange is cut short, nothing more reaches
    // the device and the port is closed; then `done` runs, at once when the
    // port is free.  With `for_good` no transaction starts afterwards.
    void close(std::function<void()> done, bool for_good);

    State state() const { return state_; }
    bool idle() const { return state_ == State::idle; }
    link::LinkConstants& constants() { return link_.constants(); }

  private:
    class Enter;
    bool stopping() const { return state_ == State::closing || state_ == State::closed; }

    static constexpr int kBusyCursorDelayMs = 150;

    link::DeviceLink& link_;
    settings::Settings& settings_;
    MessageService& messages_;
    State state_ = State::idle;
    bool for_good_ = false;
    std::vector<std::function<void()>> after_close_;
    QTimer busy_cursor_;
    bool cursor_shown_ = false;
};

// Latin-1 is the device's character set: one byte per character.
QString from_device(const std::string& bytes);
std::string to_device(const QString& text);

} // namespace tessal::console
