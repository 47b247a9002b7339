// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/clock.h"
#include "device/ftp_parameters.h"
#include "device/jad_descriptor.h"
#include "device/replies.h"
#include "device/session.h"
#include "settings/settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every device operation of the console, as plain sequential code over a
// session: the requests in their order, each reply read by its rule, the
// values read given back and the messages put into the session's report.
// Every operation that writes to the device (restart, reset, the clock, the
// FTP and JAD parameters, the SIM identification, the password, the PIN)
// records its Outcome in the report too, whether or not anything went out.
// Nothing here shows anything or waits for a person, except through the
// session's front end.  Texts are in the device's character set.
namespace tessal::device {

// Texts of the operations.
inline constexpr const char* kMsgNoSeason = "Odaberite letnje ili zimsko racunanje vremena.";
inline constexpr const char* kMsgBadDate = "Podaci za datum nisu dobro uneti";
inline constexpr const char* kMsgChanged = "OK - Promena parametara izvrsena";
// Why a value was not written when an earlier request stopped the write.
inline constexpr const char* kMsgNotSent = "nije poslato";

// ---- Maintenance ----------------------------------------------------------

// "V": the software version; nothing when the read failed (its message says
// why).
std::optional<std::string> read_version(Session& session);
// "W": the device's last command.
std::optional<std::string> read_last_command(Session& session);
// "E", "X": acknowledged commands, their outcome told by message; true when
// the device acknowledged.  Asking before a reset is the front end's.
bool restart(Session& session);
bool reset(Session& session);
// "T" with a reply time-out of 1000 ms, the link's own again afterwards;
// true when the device acknowledged.
bool test_link(Session& session);
// "V" at a reply time-out of its own, to learn whether a device answers at
// the session's speed; the link's own time-out is back afterwards whatever
// came of it.  The version text, or nothing: the report's failure says why
// (port_unavailable or interrupted when the port did not open), and nothing
// is said.
std::optional<std::string> probe_version(Session& session, std::int32_t reply_timeout_ms);
// "AAT+GSN": the IMEI cut from the reply, empty text when the reply holds
// none; nothing when the read failed.
std::optional<std::string> read_imei(Session& session);
// The last IMEI a read of the report saw, for a caller whose own IMEI read
// did not come to pass; empty when none did.
std::string imei_seen(const Report& report);
// What identifies a device: its software version ("V"), its modem's IMEI
// and its SIM identification.  Empty texts for what is not known.
struct Identity {
    std::string version;
    std::string imei;
    std::string sim_id;

    bool known() const { return !imei.empty(); }
    bool operator==(const Identity&) const = default;
};
// What the report's reads saw of the device, the last good reply of each.
Identity identity_seen(const Report& report);
// Reads the device's identity in one action: its version, the IMEI and the
// SIM identification, each read on its own; a read that fails leaves its
// text empty and the others are read still (the report keeps its failure).
Identity read_identity(Session& session);
// "AAT+CSQ": the signal caption and bar; nothing when the read failed.
std::optional<SignalReading> read_signal_level(Session& session);

// ---- Clock ----------------------------------------------------------------

// `season_offset`: kSummerOffset, kWinterOffset, or 0 when no season was
// chosen.
// "AAT+CCLK?": the modem's clock as local time for the boxes; nothing when
// there is nothing to show (no season, a failed read, a reply without
// "CCLK:").  A clock whose fields cannot be read gives six empty texts.
std::optional<ClockTexts> read_clock(Session& session, int season_offset);
// "AAT+CCLK=" with the typed local time turned into the modem's time.
// True when the modem took the time ("OK" in its answer).  `before`: the
// clock as this run last read it, local time, for the outcome.
bool set_clock(Session& session, const ClockTexts& local, int season_offset,
               const std::optional<ClockTexts>& before = std::nullopt);
// "AAT+CCLK?": the modem's own clock, without a season; nothing when the
// read failed or the reply holds no "CCLK:".
std::optional<ClockTexts> read_modem_clock(Session& session);

// ---- Modem pass-through ---------------------------------------------------

// "A" and any AT command: the modem's reply as it came; nothing when the
// exchange failed.
std::optional<std::string> pass_through(Session& session, const std::string& at_command);

// ---- FTP parameters -------------------------------------------------------

struct FtpRead {
    // Parameters read, 0 to 6, in the table's order; the values of the rest
    // stay empty.
    std::size_t rows_read = 0;
    // As the device holds them; the address's octets as the window's four
    // boxes split it, joined again by full stops ("10.0.0" gives "10.0..0").
    FtpValues values;
    // The operator whose GPRS parameter string was read.
    std::optional<std::size_t> operator_index;

    // Whether the parameter was read before the read stopped.
    bool was_read(FtpParameter parameter) const {
        return static_cast<std::size_t>(parameter) < rows_read;
    }
};
// The six "R" requests over one opening of the port.
FtpRead read_ftp(Session& session, const settings::Settings& settings);

struct FtpRows {
    FtpByParameter<bool> ticked;
    // As typed or given: the address "A.B.C.D" (the window's four boxes
    // joined by full stops), the texts blanks included, a GPRS parameter
    // string given as it is.
    FtpValues values;
    // When the list of operators stands in for the GPRS parameter string:
    // the position chosen in it, -1 for none.  That operator's string goes
    // out instead of the one in `values`.
    std::optional<int> operator_index;
    // The device's values as this run read them (the dialog's read), for
    // the outcome; nothing for a parameter not read.
    FtpByParameter<std::optional<std::string>> before;
};
struct FtpSent {
    // The first three octets as sent, padded to three places, once the
    // address row passed its check.
    std::optional<std::array<std::string, 3>> padded;
    // Rows acknowledged, in order.
    std::vector<FtpParameter> acknowledged;
    // Every ticked row was acknowledged (and at least one was ticked).
    bool complete = false;
};
// True when the operation's request went out but its acknowledgement was
// lost because the line dropped: the device may have taken it.
bool acknowledgement_lost(const Report& report);

// A value of a row that may not be sent: the row, and why in a few words
// ("octet 4 not a number from 0 to 255"); the window's message for it is the
// row's refusal in kFtpParameterTable.
struct FtpRefusal {
    FtpParameter row;
    std::string why;
};
// The row's value checked by the rule of its kind: the octets, the texts of
// the boxes, an operator chosen.
std::optional<FtpRefusal> ftp_row_refusal(const FtpRows& rows, FtpParameter row,
                                          const settings::Settings& settings);
// The first ticked row whose value may not be sent, for a front end that
// checks every value before anything is sent.
std::optional<FtpRefusal> ftp_rows_refusal(const FtpRows& rows, const settings::Settings& settings);
// The value the row's set request carries: the address's octets padded as
// the device is sent them, a text as typed, the chosen operator's GPRS
// parameter string or the one given.
std::string ftp_value_to_send(const FtpRows& rows, FtpParameter row,
                              const settings::Settings& settings);
// Each ticked row checked, then sent with "P" in a port opening of its own;
// the first bad value, refusal or failure ends the action, as in the window.
// The outcome's values are the ticked rows, each as it is sent (a secret
// as asterisks).
FtpSent send_ftp(Session& session, const FtpRows& rows, const settings::Settings& settings);

// ---- SIM ------------------------------------------------------------------

// "AAT^SCID": what the identification box shows; nothing when the read
// failed.
std::optional<std::string> read_sim_id(Session& session);
// "p" and the password; "PSIM:" and the identification; sent as typed.
// True when the device acknowledged.
bool send_password(Session& session, const std::string& password);
bool send_sim_id(Session& session, const std::string& identification);
// How the PIN sequence ended.
enum class PinOutcome {
    pin_set,     // the PIN request is off
    not_needed,  // the SIM wanted no PIN
    no_sim,      // the modem reports no SIM card
    wrong_pin,   // the PIN was refused; the attempts left were told
    unexpected,  // the modem answered the state question in another way
    modem_error, // the modem answered the PIN request switch with an error line
    failed,      // the port or an exchange failed, or the last step was refused
};
// The PIN sequence with the PIN as typed (blanks around it are not sent):
// state, PIN entry, attempts left after a refused PIN, PIN request off.
// Status messages of the steps that go on are shown on the way.
PinOutcome unlock_sim(Session& session, const std::string& pin);

// ---- JAD descriptor -------------------------------------------------------

inline constexpr const char* kCashTypeName = "CASH_TYPE:";

struct JadRead {
    // The reply text; nothing when the read failed.
    std::optional<std::string> descriptor;
    JadParameterTable table;
    bool parsed = false;
};
// "J": the descriptor, its copy written to `copy` (the reply and CR LF; no
// copy when `copy` is empty), and its parameters.
JadRead read_jad(Session& session, const std::filesystem::path& copy);

// One cash-register type offered for "CASH_TYPE:".
struct CashType {
    std::string number;
    std::string name;

    bool operator==(const CashType&) const = default;
};
// The CashTypeList entries that have a name, in list order.
std::vector<CashType> offered_cash_types(const settings::Settings& settings);

// The set request for the chosen parameter, or why there is none.
struct JadRequest {
    // Empty when nothing may be sent.
    std::string command;
    // Shown before anything is sent: the refusal, or the chosen
    // cash-register type's name.
    std::optional<Message> first;
    // The value the request writes, as its outcome names it: the field
    // ("jad.IP"), the value sent and the device's value as the descriptor
    // read gave it (nothing when none was read).
    std::string field;
    std::string value;
    std::optional<std::string> before;
};
// The longest JAD value sent: at 38400 bit/s a line carries it in a tenth of
// a second, and the descriptor's lines hold far less.
inline constexpr std::size_t kLongestJadValue = 255;
// The longest JAD parameter name a profile may hold; the descriptor's own
// are far shorter ("MicroEdition-Configuration").
inline constexpr std::size_t kLongestJadName = 64;
// A typed JAD value: not blank, at most kLongestJadValue characters, every
// character one the line carries.  Nothing when it fits; otherwise why not
// ("empty", "longer than 255 characters", "a character the device cannot
// carry").
std::optional<std::string> jad_value_problem(std::string_view value);
// The set request for the parameter `name` (its colon included) and a typed
// value, or the window's refusal ("Unesite novu vrednost parametra") when
// the value may not be sent.
JadRequest jad_value_request(const std::string& name, const std::string& value);
// `chosen`: the parameter's position (-1 none); `value`: the typed value;
// `cash_type`: when the type list stands in for the value, the position
// chosen in it (-1 none).
JadRequest jad_request(const JadParameterTable& table, int chosen, const std::string& value,
                       std::optional<int> cash_type, const std::vector<CashType>& types);
// Sends a set request built by jad_request or jad_value_request; true when
// the device acknowledged.
bool send_jad(Session& session, const JadRequest& request);

} // namespace tessal::device
