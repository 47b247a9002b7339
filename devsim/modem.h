// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessal::devsim {

// The SIM card in the modem.
struct SimCard {
    bool present = true;
    bool pin_required = true; // the PIN request is switched on
    std::string pin = "1234";
    int attempts_left = 3;                   // PIN attempts before the card blocks
    bool pin_entered = false;                // the right PIN was entered since power-up
    std::string id = "89381030000123456784"; // card number shown by AT^SCID

    // The card accepts commands that need the PIN.
    bool ready() const { return present && !blocked() && (!pin_required || pin_entered); }
    bool blocked() const { return present && attempts_left <= 0; }
};

// The network as the modem sees it.  A SIM that does not accept commands
// keeps the modem off the network whatever is set here.
struct Network {
    // "+CREG:" states: 0 not registered, 1 home, 2 searching, 3 denied,
    // 5 roaming.
    int registration = 1;
    std::string name;           // AT+COPS? names the network by it when set ...
    std::string code = "22001"; // ... and by this code otherwise
    bool gprs_attached = true;  // AT+CGATT?, once registered
};

// How the modem words its answers, beside echo; the defaults are the plain
// forms.  Real modems differ in each of these.
struct ReplyForms {
    std::optional<int> zone;                   // AT+CCLK? reports local time with this zone
                                               // suffix, in quarter hours ("+04" is UTC+1 h)
    bool gsn_prefix = false;                   // AT+GSN answers "+GSN: " and the IMEI in quotes
    bool quoted_pin_state = false;             // AT+CPIN? answers +CPIN: "SIM PIN"
    std::string unsolicited;                   // a line sent before every answer ("+CREG: 1")
    std::string error_for;                     // commands starting with this are refused ...
    std::string error_line = "+CME ERROR: 10"; // ... with this line
};

// The GSM modem behind the pass-through command: answers AT command lines
// the way a 27.007 modem does, every response framed by CR LF and closed by
// "OK" or an error.
class Modem {
  public:
    using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

    // `now` drives the modem clock; the steady clock when empty.
    explicit Modem(MonotonicClock now = {});

    // The complete response to one command line (without the "A" code).
    std::string answer(std::string_view command_line);

    const std::string& imei() const { return imei_; }
    void set_imei(std::string imei) { imei_ = std::move(imei); }

    // The received-signal strength reported by AT+CSQ (0-31, 99 unknown).
    int signal() const { return signal_; }
    void set_signal(int strength) { signal_ = strength; }

    SimCard& sim() { return sim_; }
    const SimCard& sim() const { return sim_; }

    // When on, the command line is echoed (followed by CR) before the response.
    bool echo() const { return echo_; }
    void set_echo(bool on) { echo_ = on; }

    ReplyForms& forms() { return forms_; }

    Network& network() { return network_; }
    const Network& network() const { return network_; }

    // The running clock as "yy/MM/dd,hh:mm:ss", moved on by `shift`.
    std::string clock_text(std::chrono::minutes shift = {}) const;
    // Sets the clock from "yy/MM/dd,hh:mm:ss", optionally followed by a
    // time-zone field "+zz" or "-zz" that is accepted and ignored.  Returns
    // false, changing nothing, for text of another form or an impossible
    // date or time.
    bool set_clock(std::string_view text);

  private:
    // The clock as AT+CCLK? reports it, with the zone suffix when one is set.
    std::string clock_reading() const;
    std::string read_pin_state() const;
    // The registration state that AT+CREG? reports now.
    int registration() const;
    std::string enter_pin(std::string_view argument);
    std::string facility_lock(std::string_view arguments);
    // Checks a PIN against the card, counting a wrong one; empty on success,
    // else the error response.
    std::string check_pin(std::string_view pin);

    MonotonicClock now_;
    std::string imei_ = "356871044629016";
    int signal_ = 21;
    SimCard sim_;
    bool echo_ = false;
    ReplyForms forms_;
    Network network_;
    std::chrono::sys_seconds clock_base_;
    std::chrono::steady_clock::time_point clock_set_at_;
};

} // namespace tessal::devsim
