// SPDX-License-Identifier: Apache-2.0
// The service book read from the register: the entries chosen by device,
// SIM, seal, time or technician; one entry whole; what differs between two
// of a device's entries; the changes written out for a spreadsheet.
#include "cli/command_table.h"
#include "cli/output.h"
#include "cli/register_access.h"

#include "device/device_text.h"
#include "device/entry_page.h"

namespace tessal::cli {

namespace {

// A text of the register as a line for a person shows it: visible
// characters, in UTF-8; an empty one as `none`.
std::string seen(const QString& text, const char* none = "\"\"") {
    return text.isEmpty() ? none : device::visible(text).toStdString();
}

// "2026-12-08T10:00:00+01:00" as "2026-12-08 10:00".
std::string minute(const QString& time) {
    return seen(time.left(16).replace(QLatin1Char('T'), QLatin1Char(' ')));
}

std::string verdict_of(const reg::Entry& e) {
    return !e.ended ? "open" : seen(e.ended->verdict, "no verdict");
}

// An entry on a line: "2  2026-12-08 10:00  356871044629016  repair  Ana
// Petrovic  pass"; a device not identified has no number ("-").
std::string entry_line(const reg::Entry& e) {
    return (e.opened.entry ? std::to_string(*e.opened.entry) : std::string("-")) + "  " +
           minute(e.opened.time) + "  " + seen(e.opened.imei, "not identified") + "  " +
           seen(e.opened.kind) + "  " + seen(e.opened.technician, "not named") + "  " +
           verdict_of(e);
}

constexpr Column<reg::Entry> kEntryColumns[] = {
    {"", [](const reg::Entry& e) { return members(reg::entry_json(e, false)); }},
    {"", [](const reg::Entry& e) { return own_text(entry_line(e)); }, {""}},
};

// A change as a line: "ftp.user: ? -> tech, confirmed" (a value not read
// before as ?), "sim.password: changed, confirmed", "jad.A: 1 -> 2,
// read_back_differs, now 3", "ftp.user: a -> b, not_written: Not OK!".
std::string change_line(const reg::Change& c) {
    std::string line = seen(c.field) + ": ";
    line += reg::is_secret(c)
                ? std::string("changed")
                : (c.before ? seen(*c.before) : std::string("?")) + " -> " + seen(c.wanted);
    line += ", " + seen(c.state);
    if (c.state == QLatin1String("read_back_differs") && !reg::is_secret(c)) {
        line += ", now " + seen(c.now);
    }
    return line + (c.why.isEmpty() ? "" : ": " + seen(c.why));
}

// The whole entry, as a technician reads it in the book.
std::string entry_text(const reg::Entry& e) {
    const reg::Intervention& o = e.opened;
    std::string text = (o.entry ? "entry " + std::to_string(*o.entry) + " of " + seen(o.imei)
                                : "entry " + seen(o.id) + " of a device not identified") +
                       ": " + seen(o.kind) + ", " + seen(o.time) + "\n";
    text += "device: version " + seen(o.version) + ", SIM " + seen(o.sim_id) + ", port " +
            seen(o.port) + "\n";
    text += "technician: " + seen(o.technician, "not named") +
            (o.authorization.isEmpty() ? "" : " (" + seen(o.authorization) + ")") +
            (o.company.isEmpty() ? "" : ", " + seen(o.company)) + "\n";
    text += "station: " + seen(o.station) + ", user " + seen(o.user) + "\n";
    text += "seals removed: " + seen(o.seals_removed, "none") + "\n";
    for (const reg::Change& c : e.changes) {
        text += change_line(c) + "\n";
    }
    if (!e.ended) {
        return text + "not ended";
    }
    return text + "seals applied: " + seen(e.ended->seals_applied, "none") + "\n" +
           "note: " + seen(e.ended->note, "none") + "\n" + "verdict: " + verdict_of(e) + ", " +
           seen(e.ended->time);
}

// A whole number of 1 or more given as `what`, or nothing.
std::optional<int> entry_number(const std::string& text) {
    bool whole = false;
    const int n = QString::fromStdString(text).toInt(&whole);
    return whole && n >= 1 ? std::optional(n) : std::nullopt;
}

Result no_entry_number(const char* what) {
    return usage_error(std::string(what) + " takes an entry's number, 1 or more");
}

// The entries a command's filters choose; nothing, with the refusal set,
// for filters that cannot be used.
std::optional<reg::BookFilter> filter_of(const Invocation& in, Result& refusal) {
    reg::BookFilter f;
    const auto given = [&in](const char* option) {
        return QString::fromStdString(in.option(option).value_or(""));
    };
    f.imei = given("--imei");
    f.sim = given("--sim");
    f.seal = given("--seal");
    f.technician = QString::fromStdString(in.technician.value_or(""));
    if (int(!f.imei.isEmpty()) + int(!f.sim.isEmpty()) + int(!f.seal.isEmpty()) > 1) {
        refusal = usage_error("--imei, --sim and --seal go one at a time");
        return std::nullopt;
    }
    if (in.has("--since")) {
        f.since = QDate::fromString(given("--since"), Qt::ISODate);
        if (!f.since.isValid()) {
            refusal = usage_error("--since takes a date YYYY-MM-DD");
            return std::nullopt;
        }
    }
    return f;
}

Result not_in_book(const std::string& what) {
    return register_failed(reg::Failure{reg::Failure::Kind::not_in_book,
                                        QString::fromStdString("the register holds no " + what)});
}

Result list_entries(Commands& c) {
    Result refusal;
    const std::optional<reg::BookFilter> filter = filter_of(c.in(), refusal);
    if (!filter) {
        return refusal;
    }
    reg::Register book;
    QString error;
    StreamedList list("entries", c.in().json);
    const bool read =
        book.open_for_reading(register_place(c.in()), error) &&
        book.each_entry(
            *filter, [&list](const reg::Entry& e) { list.add(e, kEntryColumns); }, error);
    return list.ended(read ? Result{} : register_failed(error));
}

// The entry the words name: DEVICE N, or the entry's id alone (`by_id`);
// nothing, with the refusal set, when there is none.
std::optional<reg::Entry> named_entry(Commands& c, bool by_id, const char* usage, Result& refusal) {
    const std::vector<std::string>& words = c.in().words;
    reg::BookFilter filter;
    std::string what;
    if (!by_id) {
        const std::optional<int> n = entry_number(words[3]);
        if (!n) {
            refusal = no_entry_number(usage);
            return std::nullopt;
        }
        filter.device = QString::fromStdString(words[2]);
        filter.from = filter.to = *n;
        what = "entry " + words[3] + " of " + printable(words[2]);
    } else {
        filter.id = QString::fromStdString(words[2]);
        what = "entry " + printable(words[2]);
    }
    reg::Register book;
    QString error;
    std::optional<reg::Entry> found;
    if (!book.open_for_reading(register_place(c.in()), error) ||
        !book.each_entry(
            filter, [&found](const reg::Entry& e) { found = e; }, error)) {
        refusal = register_failed(error);
    } else if (!found) {
        refusal = not_in_book(what);
    } else if (found->signed_by = book.signed_entry(*found, error); !error.isEmpty()) {
        refusal = register_failed(error);
        return std::nullopt;
    }
    return found;
}

Result show_entry(Commands& c) {
    Result r;
    const std::optional<reg::Entry> found =
        named_entry(c, c.in().words.size() == 3, "service show DEVICE N", r);
    if (found) {
        add_fields(r, {members(reg::entry_json(*found, true))});
        r.text = entry_text(*found);
    }
    return r;
}

// The entry as the page the customer signs.
Result print_entry(Commands& c) {
    Result r;
    const std::optional<reg::Entry> found = named_entry(c, false, "service pdf DEVICE N FILE", r);
    if (!found) {
        return r;
    }
    const std::string& file = c.in().words[4];
    QString error;
    if (!device::write_entry_page(*found, QString::fromStdString(file), error)) {
        return register_failed(reg::Failure{reg::Failure::Kind::file_unwritable, error});
    }
    return file_written(file, "changes", found->changes.size());
}

constexpr Column<reg::Difference> kDifferenceColumns[] = {
    {"field", [](const reg::Difference& d) { return own_text(d.field.toStdString()); }},
    {"from",
     [](const reg::Difference& d) {
         return d.from ? own_text(d.from->toStdString()) : Field{{}, {}, Field::State::missing};
     }},
    {"to",
     [](const reg::Difference& d) {
         return d.to ? own_text(d.to->toStdString()) : Field{{}, {}, Field::State::missing};
     }},
    {"secret", [](const reg::Difference& d) { return truth(d.secret); }},
    // "ftp.user: tech -> ana", "jad.A: ? -> 5" (not written up to the first),
    // "sim.password: changed".
    {"",
     [](const reg::Difference& d) {
         return own_text(
             seen(d.field) + ": " +
             (d.secret ? std::string("changed")
                       : (d.from ? seen(*d.from) : "?") + " -> " + (d.to ? seen(*d.to) : "?")));
     },
     {""}},
};

Result diff_entries(Commands& c) {
    const std::vector<std::string>& words = c.in().words;
    const std::optional<int> a = entry_number(words[3]);
    const std::optional<int> b = entry_number(words[4]);
    if (!a || !b) {
        return no_entry_number("service diff DEVICE A B");
    }
    reg::Register book;
    QString error;
    if (!book.open_for_reading(register_place(c.in()), error)) {
        return register_failed(error);
    }
    reg::Failure failure;
    const std::optional<std::vector<reg::Difference>> differences =
        book.differences(QString::fromStdString(words[2]), *a, *b, failure);
    if (!differences) {
        return register_failed(failure);
    }
    Result r;
    add_fields(r, {{"imei", words[2], Field::State::text},
                   {"from", std::to_string(*a), Field::State::number},
                   {"to", std::to_string(*b), Field::State::number}});
    add_list(r, "differences", *differences, kDifferenceColumns);
    if (differences->empty()) {
        r.text = "no value differs between entries " + words[3] + " and " + words[4];
    }
    return r;
}

Result export_entries(Commands& c) {
    const Invocation& in = c.in();
    const std::optional<std::string> csv = in.option("--csv");
    const std::optional<std::string> json = in.option("--json");
    if (csv.has_value() == json.has_value()) {
        return usage_error("service export needs --csv FILE or --json FILE");
    }
    Result refusal;
    const std::optional<reg::BookFilter> filter = filter_of(in, refusal);
    if (!filter) {
        return refusal;
    }
    reg::Register book;
    QString error;
    if (!book.open_for_reading(register_place(in), error)) {
        return register_failed(error);
    }
    reg::Failure failure;
    const std::string& file = csv ? *csv : *json;
    const std::optional<std::size_t> rows = book.export_book(
        QString::fromStdString(file),
        csv ? reg::Register::Format::csv : reg::Register::Format::json, *filter, failure);
    if (!rows) {
        return register_failed(failure);
    }
    return file_written(file, "rows", *rows);
}

constexpr Command kRows[] = {
    {"service list", "", "--imei= --sim= --seal= --since= --register= --password-file=",
     "[--imei I | --sim S | --seal C] [--since YYYY-MM-DD] [--technician NAME] "
     "[--register FILE|URL] [--password-file F]",
     Reach::station, list_entries},
    {"service show", "DEVICE|ID [N]", "--register= --password-file=",
     "[--register FILE|URL] [--password-file F]", Reach::station, show_entry},
    {"service export", "",
     "--csv= --json= --imei= --sim= --seal= --since= --register= --password-file=",
     "--csv F | --json F [--imei I | --sim S | --seal C] [--since YYYY-MM-DD] "
     "[--technician NAME] [--register FILE|URL] [--password-file F]",
     Reach::station, export_entries},
    {"service diff", "DEVICE A B", "--register= --password-file=",
     "[--register FILE|URL] [--password-file F]", Reach::station, diff_entries},
    {"service pdf", "DEVICE N FILE", "--register= --password-file=",
     "[--register FILE|URL] [--password-file F]", Reach::page, print_entry},
};

} // namespace

std::span<const Command> book_commands() {
    return kRows;
}

} // namespace tessal::cli
