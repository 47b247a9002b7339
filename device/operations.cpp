// SPDX-License-Identifier: Apache-2.0
#include "operations.h"

#include "device/device_text.h"
#include "device/ftp_replies.h"
#include "device/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"
#include "settings/text_file.h"

#include <algorithm>
#include <cstring>

namespace tessal::device {

namespace {

constexpr const char* kMsgNothingTicked = "Nisu obelezeni podaci za slanje";
constexpr const char* kMsgUnknownGprs = "GPRS parametri su: ";

constexpr const char* kMsgNoSim = "SIM kartica nije prisutna";
constexpr const char* kMsgNoPinNeeded = "Oslobodjeno od PIN koda";
constexpr const char* kMsgPinSet = "PIN kod uspesno setovan";

constexpr const char* kMsgNoParameter = "Unesite komandu ";
constexpr const char* kMsgNoValue = "Unesite novu vrednost parametra";
constexpr const char* kMsgNoCashType = "Odaberite tip kase.";
constexpr const char* kMsgParseFailed = "greska";
constexpr const char* kMsgFileNotWritten = "Fajl Jad.txt nije upisan!";

// The link's reply time-out changed for the life of this object: the old
// one is back once it goes, on every way out of the exchange.
class ScopedReplyTimeout {
  public:
    ScopedReplyTimeout(Session& session, std::int32_t timeout_ms)
        : constants_(session.constants()), usual_(constants_.reply_timeout_ms) {
        constants_.reply_timeout_ms = timeout_ms;
    }
    ~ScopedReplyTimeout() { constants_.reply_timeout_ms = usual_; }
    ScopedReplyTimeout(const ScopedReplyTimeout&) = delete;
    ScopedReplyTimeout& operator=(const ScopedReplyTimeout&) = delete;

  private:
    link::LinkConstants& constants_;
    std::int32_t usual_;
};

// One request at a reply time-out of its own.
std::string exchange_within(Session& session, const std::string& command, std::int32_t timeout_ms) {
    const ScopedReplyTimeout scoped(session, timeout_ms);
    return session.exchange(command);
}

// A command that expects data: the reply text, or nothing when the port or
// the exchange failed (the message says why).
std::optional<std::string> data_read(Session& session, const std::string& command,
                                     const char* timeout_text = link::kMsgNoReplyLong) {
    if (!session.open()) {
        return std::nullopt;
    }
    std::string result = session.exchange(command);
    if (const std::optional<std::string> message = link::data_message(result, timeout_text)) {
        session.fail_on(result, *message);
        return std::nullopt;
    }
    return result;
}

// The answer to a command that expects only ACK or NAK: `ok_text` said for
// ACK, otherwise the failure it stands for; true for ACK.
bool answered(Session& session, const std::string& result, const char* ok_text = link::kMsgOk) {
    if (result == link::kOk) {
        session.say(ok_text);
        return true;
    }
    session.fail_on(result, link::acknowledgement_message(result));
    return false;
}

// A command that expects only ACK or NAK: its outcome is the message.
bool acknowledged(Session& session, const std::string& command) {
    return session.open() && answered(session, session.exchange(command));
}

// A value refused before anything is sent.
void refuse(Session& session, const std::string& text) {
    session.say(text);
    session.fail(Failure::Kind::bad_value, text);
}

// A value a write is to change, not written yet.
ValueState asked(std::string field, std::string wanted,
                 std::optional<std::string> before = std::nullopt) {
    ValueState value;
    value.field = std::move(field);
    value.before = std::move(before);
    value.wanted = std::move(wanted);
    value.state = ValueState::State::not_written;
    return value;
}

// A value whose request did not end with the device taking it: unknown when
// the line broke after the request went out, otherwise not written.
void missed(ValueState& value, Failure::Kind kind, std::string why) {
    value.state = kind == Failure::Kind::port_failed ? ValueState::State::unknown
                                                     : ValueState::State::not_written;
    value.why = std::move(why);
}

// Records the outcome of a write of one value: written when the device took
// it, otherwise what the report's failure says (a value refused before
// anything went out is the outcome's refusal).  Gives `taken` back.
bool record_one(Session& session, Outcome::Write write, ValueState value, bool taken) {
    Outcome outcome;
    outcome.write = write;
    if (taken) {
        value.state = ValueState::State::written;
    } else {
        const Failure failure = session.report().failure.value_or(Failure{});
        missed(value, failure.kind, failure.text);
        outcome.stopped = true;
        if (failure.kind == Failure::Kind::bad_value) {
            outcome.refusal = failure.text;
        }
    }
    outcome.values.push_back(std::move(value));
    session.record(std::move(outcome));
    return taken;
}

// A reply that holds no value of the kind asked for: the modem's error
// line, or a reply without the value.
void missing(Session& session, const std::string& reply, std::string text = {}) {
    const Failure::Kind kind = failure_kind(reply);
    session.fail(kind == Failure::Kind::unexpected_reply ? Failure::Kind::value_missing : kind,
                 std::move(text));
}

} // namespace

// ---- Maintenance ----------------------------------------------------------

std::optional<std::string> read_version(Session& session) {
    return data_read(session, "V");
}

std::optional<std::string> read_last_command(Session& session) {
    return data_read(session, "W");
}

bool restart(Session& session) {
    return record_one(session, Outcome::Write::restart, asked("device.restart", {}),
                      acknowledged(session, "E"));
}

bool reset(Session& session) {
    return record_one(session, Outcome::Write::reset, asked("device.reset", {}),
                      acknowledged(session, "X"));
}

bool test_link(Session& session) {
    if (!session.open()) {
        return false;
    }
    return answered(session, exchange_within(session, "T", 1000));
}

std::optional<std::string> probe_version(Session& session, std::int32_t reply_timeout_ms) {
    if (!session.open()) {
        return std::nullopt;
    }
    std::string reply = exchange_within(session, "V", reply_timeout_ms);
    if (link::is_status_word(reply)) {
        session.fail(failure_kind(reply));
        return std::nullopt;
    }
    return reply;
}

std::optional<std::string> read_imei(Session& session) {
    const std::optional<std::string> reply = data_read(session, "AAT+GSN");
    if (!reply) {
        return std::nullopt;
    }
    std::string imei = extract_imei(*reply);
    if (imei.empty()) {
        missing(session, *reply); // the box stays empty
    }
    return imei;
}

std::string imei_seen(const Report& report) {
    for (auto e = report.exchanges.rbegin(); e != report.exchanges.rend(); ++e) {
        if (e->command == "AAT+GSN" && !link::is_status_word(e->result)) {
            if (std::string imei = extract_imei(e->result); !imei.empty()) {
                return imei;
            }
        }
    }
    return {};
}

Identity identity_seen(const Report& report) {
    Identity seen;
    seen.imei = imei_seen(report);
    for (const Exchange& e : report.exchanges) {
        if (link::is_status_word(e.result)) {
            continue;
        }
        if (e.command == "V" && !e.result.empty()) {
            seen.version = e.result;
        } else if (e.command == kCmdSimIdentification &&
                   is_sim_number(sim_identification(e.result))) {
            seen.sim_id = sim_identification(e.result);
        }
    }
    return seen;
}

Identity read_identity(Session& session) {
    Identity identity;
    identity.version = read_version(session).value_or("");
    if (session.line_lost()) {
        return identity;
    }
    identity.imei = read_imei(session).value_or("");
    if (session.line_lost()) {
        return identity;
    }
    const std::optional<std::string> sim = read_sim_id(session);
    identity.sim_id = sim && is_sim_number(*sim) ? *sim : "";
    return identity;
}

std::optional<SignalReading> read_signal_level(Session& session) {
    const std::optional<std::string> reply = data_read(session, "AAT+CSQ");
    if (!reply) {
        return std::nullopt;
    }
    SignalReading reading = read_signal(*reply);
    if (reading.strength < 0) {
        missing(session, *reply, reading.label);
    }
    return reading;
}

// ---- Clock ----------------------------------------------------------------

std::optional<ClockTexts> read_modem_clock(Session& session) {
    const std::optional<std::string> reply =
        data_read(session, "AAT+CCLK?", link::kMsgNoReplyClock);
    if (!reply) {
        return std::nullopt;
    }
    std::optional<ClockTexts> clock = read_device_clock(*reply);
    if (!clock || (*clock)[kHour].empty()) {
        missing(session, *reply);
    }
    return clock;
}

std::optional<std::string> pass_through(Session& session, const std::string& at_command) {
    return data_read(session, "A" + at_command);
}

std::optional<ClockTexts> read_clock(Session& session, int season_offset) {
    if (season_offset == 0) {
        refuse(session, kMsgNoSeason);
        return std::nullopt;
    }
    const std::optional<ClockTexts> device = read_modem_clock(session);
    if (!device) {
        return std::nullopt; // no "CCLK:": the boxes keep what they show
    }
    // A clock whose time cannot be read empties the boxes, so that no earlier
    // reading stays on screen as if it were new.
    std::optional<ClockTexts> local = device_to_local(*device, season_offset);
    if (!local) {
        session.fail(Failure::Kind::value_missing);
    }
    return local.value_or(ClockTexts{});
}

namespace {

bool clock_taken(Session& session, const ClockTexts& local, int season_offset) {
    if (season_offset == 0) {
        refuse(session, kMsgNoSeason);
        return false;
    }
    const std::optional<ClockTexts> outgoing = local_to_device(local, season_offset);
    if (!outgoing) {
        refuse(session, kMsgBadDate);
        return false;
    }
    if (!session.open()) {
        return false;
    }
    const std::string result = session.exchange("A" + clock_set_command(*outgoing));
    if (link::is_acknowledgement_status(result)) {
        return answered(session, result);
    }
    // The modem's own answer: "OK" in it, or its error line.
    if (result.find("OK") == std::string::npos) {
        session.fail_on(result, result);
        return false;
    }
    session.say("OK");
    return true;
}

} // namespace

bool set_clock(Session& session, const ClockTexts& local, int season_offset,
               const std::optional<ClockTexts>& before) {
    ValueState value = asked("clock", clock_text(local));
    if (before) {
        value.before = clock_text(*before);
    }
    return record_one(session, Outcome::Write::clock, std::move(value),
                      clock_taken(session, local, season_offset));
}

// ---- FTP parameters -------------------------------------------------------

FtpRead read_ftp(Session& session, const settings::Settings& settings) {
    FtpRead read;
    // One opening of the port for all six requests.
    if (!session.open()) {
        return read;
    }
    for (const FtpParameterRow& row : kFtpParameterTable) {
        const std::string request = std::string("R") + row.wire;
        // A secret's reply is not traced.
        const std::string value = row.secret ? session.exchange_secret(request, request.size())
                                             : session.exchange(request);
        if (const std::optional<std::string> message = link::data_message(value)) {
            // The rows read so far keep their values.
            session.fail_on(value, *message);
            return read;
        }
        std::string& held = read.values[row.parameter];
        switch (row.kind) {
        case FtpValueKind::address:
            held = joined_address(split_address(value));
            break;
        case FtpValueKind::text:
            held = value;
            break;
        case FtpValueKind::gprs:
            held = value;
            read.operator_index = match_gprs(settings, value);
            if (!read.operator_index) {
                session.say(kMsgUnknownGprs + value);
            }
            break;
        }
        ++read.rows_read;
    }
    return read;
}

std::string ftp_value_to_send(const FtpRows& rows, FtpParameter row,
                              const settings::Settings& settings) {
    const std::string& value = rows.values[row];
    switch (ftp_parameter(row).kind) {
    case FtpValueKind::address:
        // The first three octets padded with leading zeros to three places,
        // the fourth trimmed.
        return address_as_sent(value);
    case FtpValueKind::text:
        return value; // as typed, blanks included
    case FtpValueKind::gprs:
        if (!rows.operator_index) {
            return value;
        }
        // The operator's GPRS parameter string goes out, not its name.
        if (const auto chosen = static_cast<std::size_t>(std::max(*rows.operator_index, 0));
            chosen < settings.gprs_strings.size()) {
            return settings.gprs_strings[chosen].value_or(std::string());
        }
        return {};
    }
    return value;
}

namespace {

// The set request of one row, or nothing after its refusal was said.
std::optional<std::string> set_request(Session& session, const FtpParameterRow& row,
                                       const FtpRows& rows, const settings::Settings& settings,
                                       FtpSent& sent) {
    if (const std::optional<FtpRefusal> refusal = ftp_row_refusal(rows, row.parameter, settings)) {
        refuse(session, ftp_parameter(refusal->row).refusal);
        return std::nullopt;
    }
    const std::string value = ftp_value_to_send(rows, row.parameter, settings);
    if (row.kind == FtpValueKind::address) {
        // Four octets, as the check above found them.
        const std::array<std::string, 4> octets = *four_octets(value);
        sent.padded = {octets[0], octets[1], octets[2]};
    }
    return std::string("P") + row.wire + ":" + value;
}

// One request in a port opening of its own; true when acknowledged.  A
// secret value goes from `secret_from` on.
bool transmit(Session& session, const std::string& request,
              std::optional<std::size_t> secret_from) {
    bool acknowledged = false;
    if (session.open()) {
        const std::string result = secret_from ? session.exchange_secret(request, *secret_from)
                                               : session.exchange(request);
        acknowledged = result == link::kOk;
        if (!acknowledged) {
            // "CS" and data texts are shown as they came.
            session.fail_on(result, link::acknowledgement_message(result));
        }
    }
    session.close();
    return acknowledged;
}

} // namespace

bool acknowledgement_lost(const Report& report) {
    // A silent device did not answer at all and is taken as not written, as
    // the window takes it; a line that broke may have carried the request.
    return report.failure && report.failure->kind == Failure::Kind::port_failed;
}

std::optional<FtpRefusal> ftp_row_refusal(const FtpRows& rows, FtpParameter row,
                                          const settings::Settings& settings) {
    const std::string& value = rows.values[row];
    std::optional<std::string> why;
    switch (ftp_parameter(row).kind) {
    case FtpValueKind::address:
        why = address_problem(value);
        break;
    case FtpValueKind::text:
        why = ftp_text_problem(row, value);
        break;
    case FtpValueKind::gprs:
        if (rows.operator_index &&
            (*rows.operator_index < 0 ||
             static_cast<std::size_t>(*rows.operator_index) >= settings.gprs_strings.size())) {
            why = "no operator chosen";
        }
        break;
    }
    if (!why) {
        return std::nullopt;
    }
    return FtpRefusal{row, *why};
}

std::optional<FtpRefusal> ftp_rows_refusal(const FtpRows& rows,
                                           const settings::Settings& settings) {
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (rows.ticked[row.parameter]) {
            if (std::optional<FtpRefusal> refusal =
                    ftp_row_refusal(rows, row.parameter, settings)) {
                return refusal;
            }
        }
    }
    return std::nullopt;
}

namespace {

// A ticked row as its outcome names it: the value as it is sent, the value
// the dialog read before; a secret as asterisks.
ValueState ftp_asked(const FtpRows& rows, const FtpParameterRow& row,
                     const settings::Settings& settings) {
    const std::optional<std::string>& before = rows.before[row.parameter];
    if (row.secret) {
        return asked(ftp_field(row.parameter), kHidden,
                     before ? std::optional<std::string>(kHidden) : std::nullopt);
    }
    return asked(ftp_field(row.parameter), ftp_value_to_send(rows, row.parameter, settings),
                 before);
}

// The row that stopped the send: why, as the report's failure says it.
void stopped_at(const Session& session, ValueState& value) {
    const Failure failure = session.report().failure.value_or(Failure{});
    missed(value, failure.kind, failure.text.empty() ? kMsgNotSent : failure.text);
}

} // namespace

FtpSent send_ftp(Session& session, const FtpRows& rows, const settings::Settings& settings) {
    FtpSent sent;
    Outcome outcome;
    outcome.write = Outcome::Write::ftp;
    for (const FtpParameterRow& row : kFtpParameterTable) {
        if (!rows.ticked[row.parameter]) {
            continue;
        }
        ValueState& value = outcome.values.emplace_back(ftp_asked(rows, row, settings));
        if (outcome.stopped) {
            value.why = kMsgNotSent;
            continue;
        }
        // A failed row ends the action; rows sent before it stay sent.
        const std::optional<std::string> request = set_request(session, row, rows, settings, sent);
        // A secret's value follows "P", the name and the colon.
        const std::optional<std::size_t> secret_from =
            row.secret ? std::optional(std::strlen(row.wire) + 2) : std::nullopt;
        if (!request || !transmit(session, *request, secret_from)) {
            stopped_at(session, value);
            outcome.stopped = true;
            if (!request && sent.acknowledged.empty()) {
                outcome.refusal = value.why; // refused before anything went out
            }
            continue;
        }
        value.state = ValueState::State::written;
        sent.acknowledged.push_back(row.parameter);
    }
    sent.complete = !outcome.stopped && !sent.acknowledged.empty();
    if (sent.complete) {
        session.say(kMsgChanged);
    } else if (!outcome.stopped) {
        refuse(session, kMsgNothingTicked);
        outcome.refusal = kMsgNothingTicked;
    }
    session.record(std::move(outcome));
    return sent;
}

// ---- SIM ------------------------------------------------------------------

std::optional<std::string> read_sim_id(Session& session) {
    const std::optional<std::string> reply = data_read(session, kCmdSimIdentification);
    if (!reply) {
        return std::nullopt;
    }
    std::string identification = sim_identification(*reply);
    if (!is_sim_number(identification)) {
        session.fail(Failure::Kind::value_missing, identification);
    }
    return identification;
}

bool send_password(Session& session, const std::string& password) {
    const bool taken =
        session.open() && answered(session, session.exchange_secret(kCmdPassword + password,
                                                                    std::strlen(kCmdPassword)));
    return record_one(session, Outcome::Write::password, asked("sim.password", kHidden), taken);
}

bool send_sim_id(Session& session, const std::string& identification) {
    return record_one(session, Outcome::Write::sim_id, asked("sim.id", identification),
                      acknowledged(session, kCmdSimParameter + identification));
}

namespace {

// Step 1: is a PIN wanted at all?  A status result is reported and the PIN
// is sent anyway; an answer that ends the sequence is its outcome.
std::optional<PinOutcome> pin_wanted(Session& session) {
    const std::string state = session.exchange(kCmdPinState);
    if (link::is_acknowledgement_status(state)) {
        session.tell(link::acknowledgement_message(state));
        return std::nullopt;
    }
    switch (pin_state(state)) {
    case PinState::no_sim:
        session.say(kMsgNoSim);
        return PinOutcome::no_sim;
    case PinState::ready:
        session.say(kMsgNoPinNeeded);
        return PinOutcome::not_needed;
    case PinState::unexpected: {
        const std::string message = "Nedozvoljena operacija ==" + state + "==";
        session.say(message);
        // The console reads a bad checksum here as an answer it does not
        // know; the failure says what it is.
        session.fail(state == link::kChecksumError ? Failure::Kind::bad_checksum
                                                   : Failure::Kind::unexpected_reply,
                     message);
        return PinOutcome::unexpected;
    }
    case PinState::pin_wanted:
        break;
    }
    return std::nullopt;
}

// A command that carries the PIN: a secret from the PIN on.
std::string with_pin(Session& session, const char* head, const std::string& pin) {
    return session.exchange_secret(head + pin, std::strlen(head));
}

// Step 2: the PIN itself (`entered`: what became of it).  A refused PIN
// ends with the attempts left (step 3); otherwise the sequence goes on.
std::optional<PinOutcome> enter_pin(Session& session, const std::string& pin, ValueState& entered) {
    const std::string entry = with_pin(session, kCmdPinEntry, pin);
    if (link::is_acknowledgement_status(entry)) {
        session.tell(link::acknowledgement_message(entry));
        missed(entered, failure_kind(entry), link::acknowledgement_message(entry));
    } else if (modem_error(entry)) {
        const std::string attempts = with_pin(session, kCmdPinAttempts, pin);
        if (!link::is_acknowledgement_status(attempts)) {
            session.say(attempts_message(attempts));
            entered.why = attempts_message(attempts);
            return PinOutcome::wrong_pin;
        }
        session.tell(link::acknowledgement_message(attempts));
        entered.why = link::acknowledgement_message(attempts);
    } else {
        entered.state = ValueState::State::written;
    }
    return std::nullopt;
}

// Step 4: the PIN request off (`off`: what became of it).
PinOutcome pin_request_off(Session& session, const std::string& pin, ValueState& off) {
    const std::string result = with_pin(session, kCmdPinRequestOff, pin);
    if (result == link::kOk) {
        session.say("OK");
    } else if (link::is_acknowledgement_status(result)) {
        session.fail_on(result, link::acknowledgement_message(result));
        missed(off, failure_kind(result), link::acknowledgement_message(result));
        return PinOutcome::failed;
    } else if (modem_error(result)) {
        session.fail_on(result, result); // as it came
        off.why = result;
        return PinOutcome::modem_error;
    } else {
        session.say(kMsgPinSet);
    }
    off.state = ValueState::State::written;
    return PinOutcome::pin_set;
}

// The PIN sequence's two values: the PIN entered (a secret) and the PIN
// request switched off.
struct PinValues {
    ValueState entered = asked("sim.pin", kHidden);
    ValueState off = asked("sim.pin_request", "off");

    // Neither went out: `why` says why.
    void unsent(const std::string& why) { entered.why = off.why = why; }
};

PinOutcome pin_sequence(Session& session, const std::string& pin, PinValues& values) {
    if (!session.open()) {
        values.unsent(session.report().failure.value_or(Failure{}).text);
        return PinOutcome::failed;
    }
    const std::size_t said = session.report().messages.size();
    if (const std::optional<PinOutcome> ended = pin_wanted(session)) {
        // The state question's answer ended it, as its message says.
        const std::vector<Message>& messages = session.report().messages;
        values.unsent(messages.size() > said ? messages.back().text : std::string());
        return *ended;
    }
    if (const std::optional<PinOutcome> ended = enter_pin(session, pin, values.entered)) {
        values.off.why = kMsgNotSent;
        return *ended;
    }
    return pin_request_off(session, pin, values.off);
}

} // namespace

PinOutcome unlock_sim(Session& session, const std::string& typed_pin) {
    PinValues values;
    const PinOutcome ended = pin_sequence(session, trim_blanks(typed_pin), values);
    Outcome outcome;
    outcome.write = Outcome::Write::pin;
    outcome.values = {values.entered, values.off};
    outcome.stopped = ended != PinOutcome::pin_set;
    session.record(std::move(outcome));
    return ended;
}

// ---- JAD descriptor -------------------------------------------------------

JadRead read_jad(Session& session, const std::filesystem::path& copy) {
    JadRead read;
    read.descriptor = data_read(session, "J");
    if (!read.descriptor) {
        return read;
    }
    std::string error;
    const bool saved =
        copy.empty() || settings::replace_file(copy, *read.descriptor + "\r\n", error);
    read.parsed = parse_descriptor(*read.descriptor, read.table);
    if (!read.parsed) {
        session.say(kMsgParseFailed, Message::Kind::plain);
    }
    if (!saved) {
        session.say(kMsgFileNotWritten);
    }
    return read;
}

std::vector<CashType> offered_cash_types(const settings::Settings& settings) {
    std::vector<CashType> types;
    const auto count = static_cast<std::size_t>(std::clamp<std::int32_t>(
        settings.cash_type_count, 0, static_cast<std::int32_t>(settings.cash_type_names.size())));
    for (std::size_t i = 0; i < count; ++i) {
        CashType type{settings.cash_type_numbers[i].value_or(""),
                      settings.cash_type_names[i].value_or("")};
        if (!type.name.empty()) {
            types.push_back(std::move(type));
        }
    }
    return types;
}

std::optional<std::string> jad_value_problem(std::string_view value) {
    return typed_value_problem(value, kLongestJadValue);
}

namespace {

// A parameter's field in an outcome: its name without the colon, "jad.IP".
std::string jad_field(const std::string& name) {
    return "jad." + (name.ends_with(':') ? name.substr(0, name.size() - 1) : name);
}

} // namespace

JadRequest jad_value_request(const std::string& name, const std::string& value) {
    JadRequest request;
    if (jad_value_problem(value)) {
        request.first = Message{kMsgNoValue, Message::Kind::info, {}};
        return request;
    }
    request.command = "P" + name + value; // blanks kept
    request.field = jad_field(name);
    request.value = value;
    return request;
}

JadRequest jad_request(const JadParameterTable& table, int chosen, const std::string& value,
                       std::optional<int> cash_type, const std::vector<CashType>& types) {
    if (chosen < 0 || chosen >= table.count) {
        JadRequest refused;
        refused.first = Message{kMsgNoParameter, Message::Kind::info, {}};
        return refused;
    }
    const std::string& name = table.names[static_cast<std::size_t>(chosen)];
    JadRequest request;
    if (!cash_type) {
        request = jad_value_request(name, value);
    } else if (*cash_type < 0 || static_cast<std::size_t>(*cash_type) >= types.size()) {
        request.first = Message{kMsgNoCashType, Message::Kind::info, {}};
        return request;
    } else {
        // The technician sees the type's name; its number goes out.
        const CashType& type = types[static_cast<std::size_t>(*cash_type)];
        request.command = "P" + name + type.number;
        request.first = Message{type.name, Message::Kind::plain, {}};
        request.field = jad_field(name);
        request.value = type.number;
    }
    // The descriptor read gave the device's value.
    request.before = table.values[static_cast<std::size_t>(chosen)];
    return request;
}

bool send_jad(Session& session, const JadRequest& request) {
    const bool taken = !request.command.empty() && session.open() &&
                       answered(session, session.exchange(request.command), kMsgChanged);
    return record_one(session, Outcome::Write::jad,
                      asked(request.field, request.value, request.before), taken);
}

} // namespace tessal::device
