// SPDX-License-Identifier: Apache-2.0
#include "outcome.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace tessal::device {

namespace {

using State = ValueState::State;

// Each state as the command line and the station tell it: its name in
// JSON and the register, its words in a line for a person and in a summary.
struct StateWords {
    State state;
    const char* name;
    const char* told;
    const char* summary;
};
constexpr StateWords kStateWords[] = {
    {State::unchanged, "unchanged", "unchanged", "unchanged"},
    {State::differs, "differs", "differs", "differs"},
    {State::confirmed, "confirmed", "confirmed", "confirmed"},
    {State::read_back_differs, "read_back_differs", "read_back_differs", "read back as"},
    {State::written, "written", "written", "not read back"},
    {State::not_written, "not_written", "not_written", "not written"},
    // The lost acknowledgement says what to do about it.
    {State::unknown, "unknown", "unknown, read it back", "unknown, read it back"},
};

const StateWords& words(State state) {
    return *std::find_if(std::begin(kStateWords), std::end(kStateWords),
                         [state](const StateWords& row) { return row.state == state; });
}

// A value in a line: an empty one as "", one not read as ?.
std::string shown(const std::optional<std::string>& value) {
    if (!value) {
        return "?";
    }
    return value->empty() ? "\"\"" : *value;
}

} // namespace

Outcome::Ending Outcome::ending() const {
    if (!refusal.empty()) {
        return Ending::refused;
    }
    if (held_back) {
        return Ending::held_back;
    }
    if (values.empty()) {
        return Ending::not_read;
    }
    const auto all = [this](auto taken) {
        return std::all_of(values.begin(), values.end(), taken);
    };
    if (all([](const ValueState& v) { return v.state == State::unchanged; })) {
        return Ending::unchanged;
    }
    if (all([this](const ValueState& v) {
            return v.state == State::unchanged || v.state == State::confirmed ||
                   (v.state == State::written && !reads_back);
        })) {
        return Ending::done;
    }
    const bool differing = std::any_of(values.begin(), values.end(), [](const ValueState& v) {
        return v.state == State::read_back_differs;
    });
    return !stopped && differing ? Ending::read_back_differs : Ending::incomplete;
}

const ValueState* Outcome::value(const std::string& field) const {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&field](const ValueState& v) { return v.field == field; });
    return found == values.end() ? nullptr : &*found;
}

ValueState* Outcome::value(const std::string& field) {
    return const_cast<ValueState*>(std::as_const(*this).value(field));
}

std::vector<ValueState> Outcome::attempted() const {
    std::vector<ValueState> tried;
    bool stop_found = false;
    for (const ValueState& v : values) {
        const bool stop = v.state == State::not_written || v.state == State::unknown;
        if (v.state == State::not_written && stop_found) {
            continue; // not sent: the stop before it says why
        }
        if (v.state != State::unchanged && v.state != State::differs) {
            tried.push_back(v);
        }
        stop_found = stop_found || stop;
    }
    return tried;
}

std::vector<ValueState> Outcome::shortfall() const {
    std::vector<ValueState> short_of = attempted();
    std::erase_if(short_of, [](const ValueState& v) { return v.state == State::confirmed; });
    return short_of;
}

bool was_written(ValueState::State state) {
    return state == State::confirmed || state == State::read_back_differs ||
           state == State::written;
}

void settle(ValueState& value, std::string now, bool as_asked) {
    value.now = std::move(now);
    if (as_asked) {
        value.state = State::confirmed;
        value.why.clear(); // a lost acknowledgement is moot now
    } else if (value.state == State::unknown && (!value.before || *value.before == value.now)) {
        value.state = State::not_written; // the device kept its value
    } else {
        value.state = State::read_back_differs;
    }
}

const char* state_name(ValueState::State state) {
    return words(state).name;
}

std::vector<std::pair<const char*, std::string>> value_parts(const ValueState& v) {
    return {{"field", v.field},
            {"state", state_name(v.state)},
            {"device", v.before.value_or("")},
            {"profile", v.wanted},
            {"now", v.now},
            {"why", v.why}};
}

std::string value_line(const ValueState& v) {
    std::string line = v.field + ": " + words(v.state).told + " (" + shown(v.before);
    if (v.state != State::unchanged) {
        line += " -> " + shown(v.wanted);
    }
    if (v.state == State::read_back_differs) {
        line += ", now " + shown(v.now);
    }
    line += ")";
    if (!v.why.empty()) {
        line += ": " + v.why;
    }
    return line;
}

std::string value_summary(const ValueState& v) {
    std::string said = words(v.state).summary;
    if (v.state == State::not_written && !v.why.empty()) {
        said = v.why;
    } else if (v.state == State::read_back_differs) {
        said += " " + v.now;
    }
    return v.field + ": " + said;
}

} // namespace tessal::device
