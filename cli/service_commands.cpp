// SPDX-License-Identifier: Apache-2.0
// The service book: an entry opened on the device before the work, every
// write of later runs recorded in it, and its end.
#include "cli/command_table.h"
#include "cli/output.h"

#include "device/operations.h"

namespace tessal::cli {

namespace {

// "pass or fail": the codes of a table of the book's words.
std::string codes(std::span<const device::BookWord> table) {
    std::string list;
    for (const device::BookWord& word : table) {
        list += (list.empty()             ? ""
                 : &word == &table.back() ? " or "
                                          : ", ") +
                std::string(word.code);
    }
    return list;
}

// The value of `option`, one of the codes of `table`; nothing, with the
// refusal set, for another.
std::optional<std::string> book_code(const Invocation& in, const std::string& option,
                                     std::span<const device::BookWord> table,
                                     const std::string& otherwise, Result& refusal) {
    const std::string code = in.option(option).value_or(otherwise);
    if (code.empty() || device::book_word(table, code) != nullptr) {
        return code;
    }
    refusal = usage_error(option + " takes " + codes(table));
    return std::nullopt;
}

Field member(std::string name, Field field) {
    field.name = std::move(name);
    return field;
}

// The entry's device on a line: "IMEI 356871044629016, version ..., SIM ...",
// or "device not identified".
void add_device(Result& r, const device::Identity& device) {
    const Line none{};
    const bool known = device.known();
    add_fields(r, {{"imei", device.imei, Field::State::value, known ? Line{"IMEI "} : none},
                   {"version", device.version, Field::State::value,
                    known ? Line{", version ", "", Line::Shown::quoted} : none},
                   {"sim_id", device.sim_id, Field::State::value,
                    known ? Line{", SIM ", "", Line::Shown::quoted} : none},
                   {"", "device not identified", Field::State::text, known ? none : Line{""}}});
}

// Who does the work, on a line: "technician Ana Petrovic (A-17)", or
// "technician not named".
void add_technician(Result& r, const device::Technician& t) {
    const Line none{};
    const Field::State given = t.named() ? Field::State::text : Field::State::missing;
    add_fields(r, {{"technician", t.name, given, t.named() ? Line{"technician "} : none},
                   {"authorization", t.authorization, given,
                    t.named() ? Line{" (", ")", Line::Shown::when_given} : none},
                   {"", "technician not named", Field::State::text, t.named() ? none : Line{""}}});
}

Result already_open(const device::OpenEntry& entry) {
    return failure(Own::entry_open, "an entry is open on " + entry.opening.port + ": " + entry.id,
                   "tessal-cli service end ends it");
}

Result service_start(Commands& c) {
    Result refusal;
    const std::optional<std::string> kind =
        book_code(c.in(), "--kind", device::work_kinds(), "reconfiguration", refusal);
    if (!kind) {
        return refusal;
    }
    Recorder& recorder = c.recorder();
    if (const std::optional<device::OpenEntry> open = recorder.book().open_on(c.port_device())) {
        return already_open(*open);
    }
    auto [report, identity] = c.with_session(device::read_identity);
    if (report.device.empty()) {
        return failure(report); // the port did not open: nothing to open an entry on
    }
    device::Opening opening{report.device, identity, recorder.technician(), *kind,
                            c.in().option("--seals-removed").value_or("")};
    const std::string id = recorder.open(opening);
    Result r;
    add_fields(r, {{"id", id, Field::State::text, {"entry "}},
                   {"kind", *kind, Field::State::text, {" opened: "}},
                   {"port", report.device, Field::State::text, {" on "}},
                   {"seals_removed",
                    opening.seals_removed,
                    Field::State::text,
                    {", seals removed ", "", Line::Shown::when_given}}});
    add_device(r, identity);
    add_technician(r, opening.technician);
    return r;
}

Result service_end(Commands& c) {
    Result refusal;
    const std::optional<std::string> verdict =
        book_code(c.in(), "--verdict", device::verdicts(), "", refusal);
    if (!verdict) {
        return refusal;
    }
    const std::string port = c.port_device();
    const std::optional<device::OpenEntry> ended =
        c.recorder().close(port, {c.in().option("--seals-applied").value_or(""),
                                  c.in().option("--note").value_or(""), *verdict});
    if (!ended) {
        return failure(Own::no_entry, "no entry of the service book is open on " + port,
                       "tessal-cli service start opens one");
    }
    const device::BookState state = c.recorder().settle().value_or(device::BookState{});
    const std::string& imei = ended->opening.device.imei;
    Result r;
    add_fields(r, {member("id", own_text(ended->id)), member("imei", device_text(imei)),
                   member("number", state.entry ? number(*state.entry)
                                                : Field{{}, {}, Field::State::missing})});
    if (state.entry) {
        r.text = "entry " + std::to_string(*state.entry) + " of " + printable(imei);
    } else if (imei.empty()) {
        r.text = "entry " + ended->id + " ended: device not identified, no number";
    } else {
        r.text = "entry " + ended->id + " of " + printable(imei) +
                 " ended: its number comes when the register takes it";
    }
    return r;
}

constexpr Command kRows[] = {
    {"service start", "", "--kind= --seals-removed=", "[--kind KIND] [--seals-removed CODES]",
     Reach::device, service_start},
    {"service end", "", "--seals-applied= --note= --verdict=",
     "[--seals-applied CODES] [--note TEXT] [--verdict pass|fail]", Reach::device, service_end},
};

} // namespace

std::span<const Command> service_commands() {
    return kRows;
}

} // namespace tessal::cli
