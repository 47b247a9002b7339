// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What one write did to a device: each value it was to change, what the
// device held before as far as this run had read it, what was asked, what
// was read back and what became of it.  Every write of the device layer
// records one in its session's report; how it ended is read here once, for
// every front end.  The command line's and the station's words for it are
// here too (the station is below the command line); the window has its own.
namespace tessal::device {

// What stands for a secret (a password, a PIN) wherever a value would be
// shown or kept: a secret's value is never part of an outcome.
inline constexpr const char* kHidden = "********";

// One value of a write, or of a comparison before one.
struct ValueState {
    enum class State {
        unchanged,         // the device already holds it
        differs,           // the device holds another value (a comparison, a dry run)
        confirmed,         // written and read back as written
        read_back_differs, // written, but the device reads back another value
        written,           // written (acknowledged), but not read back
        not_written,       // not written: `why` says why
        // sent, but the line dropped before its acknowledgement (`why`
        // says how) and it could not be read back: the device may hold
        // either value
        unknown,
    };
    // "ftp.user", "jad.CASH_TYPE", "clock", "sim.id", "sim.password",
    // "sim.pin", "sim.pin_request", "device.restart", "device.reset".
    std::string field;
    // The device's value before, as this run read it (the FTP dialog's
    // read, the JAD descriptor read, a profile's read, the clock read);
    // nothing when it read none.  Secrets as asterisks.
    std::optional<std::string> before;
    std::string wanted; // the value asked (secrets as asterisks)
    State state = State::unchanged;
    std::string now; // read back after writing (secrets as asterisks)
    std::string why; // for not_written and unknown: the console's message
};

struct Outcome {
    // The writes a device takes.
    enum class Write { ftp, jad, clock, sim_id, password, pin, restart, reset, profile };
    // How a write ended, as every front end tells it.
    enum class Ending {
        unchanged,         // the device already held every value: nothing written
        done,              // every value taken: confirmed, or acknowledged where none is read back
        held_back,         // nothing written because it was not wanted (a dry run, No)
        refused,           // nothing sent because of what was asked: `refusal` says why
        not_read,          // nothing written: the device could not be read first
        read_back_differs, // every request went through, but a value reads back otherwise
        incomplete,        // stopped part way, or a value is not known to have been taken
    };

    Write write = Write::profile;
    std::vector<ValueState> values;
    // A request failed or a value was refused part way: the values after it
    // were not sent.
    bool stopped = false;
    // Nothing was written because it was not wanted.
    bool held_back = false;
    // Nothing was sent because of what was asked: a value the device cannot
    // hold ("ftp.user: empty"), no season chosen, nothing ticked.
    std::string refusal;
    // The write reads back every value it wrote, so one written but not read
    // back is not known to have been taken.
    bool reads_back = false;

    Ending ending() const;
    // The value of that field, or nothing.
    const ValueState* value(const std::string& field) const;
    ValueState* value(const std::string& field);
    // The values the write sent or tried to, in order: not those the device
    // already held or that were only compared, nor those left unsent after
    // the value it stopped at.
    std::vector<ValueState> attempted() const;
    // What keeps the write from being done, in order: every value read back
    // otherwise, not read back or unknown, and the one the write stopped at;
    // not those left unsent after it.
    std::vector<ValueState> shortfall() const;
};

// The value reached the device as far as is known: confirmed, read back
// otherwise, or acknowledged without a read-back.
bool was_written(ValueState::State state);

// A value written, or whose acknowledgement was lost, as a read after the
// write found it: `now` as the device reads it (asterisks for a secret),
// `as_asked` whether that is the value asked.  A lost value that reads as
// before, or as something else when nothing was read before, was not taken.
void settle(ValueState& value, std::string now, bool as_asked);

// The command line's and the station's words.
// "unchanged", "differs", "confirmed", "read_back_differs", "written",
// "not_written", "unknown": the state as JSON and the register name it.
const char* state_name(ValueState::State state);
// A value's parts as JSON and the register name them, in this order, each
// with its text (empty for none): "field", "state", "device" (before),
// "profile" (the value asked), "now", "why".
std::vector<std::pair<const char*, std::string>> value_parts(const ValueState& value);
// One value as a line for a person, in the device's character set:
// "ftp.user: confirmed (terminal -> tech)", "jad.A: read_back_differs (1 ->
// 2, now 3)", "ftp.user: unknown, read it back (a -> b): Greska!"; an empty
// value as "", one not read as ?.
std::string value_line(const ValueState& value);
// One value in a summary of what went wrong: "ftp.user: Not OK!" (why it
// was not written), "jad.A: read back as 3", "ftp.user: not read back".
std::string value_summary(const ValueState& value);

} // namespace tessal::device
