// SPDX-License-Identifier: Apache-2.0
// The commissioning station, which runs until SIGINT or SIGTERM and prints
// one line per device, and its register.
#include "cli/command_table.h"
#include "cli/output.h"
#include "cli/register_access.h"

#include "link/signal_handover.h"

#include "device/profile_file.h"
#include "register/register.h"
#include "station/station.h"

#include <csignal>

namespace tessal::cli {

Result register_failed(const reg::Failure& failure) {
    return cli::failure(failure.kind, failure.text.toStdString());
}

Result register_failed(const QString& text) {
    return register_failed(reg::Failure{reg::Failure::Kind::register_unusable, text});
}

// Where the register is: as configured for the machine, any part of it
// given on the command line instead.
reg::Place register_place(const Invocation& in) {
    reg::Place place = reg::configured();
    if (const std::optional<std::string> given = in.option("--register")) {
        place.location = QString::fromStdString(*given);
    }
    if (const std::optional<std::string> given = in.option("--password-file")) {
        place.password_file = QString::fromStdString(*given);
    }
    if (const std::optional<std::string> given = in.option("--station")) {
        place.station = QString::fromStdString(*given);
    }
    return place;
}

Result file_written(const std::string& file, const char* counted, std::size_t rows) {
    Result r = single({"file", file, Field::State::text});
    add_fields(r, {{counted, std::to_string(rows), Field::State::number}});
    return r;
}

namespace {

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// A device done, as the station tells it: on a line of its own, or as one
// JSON object; a row its register did not take says where it is kept.
struct Done {
    const reg::Record& record;
    const reg::Kept& kept;

    bool recorded() const { return kept.where == reg::Kept::Where::recorded; }
};

constexpr Column<Done> kDoneColumns[] = {
    {"", [](const Done& d) { return members(reg::record_json(d.record)); }},
    {"kept",
     [](const Done& d) {
         return d.recorded()                                ? left_out()
                : d.kept.where == reg::Kept::Where::waiting ? own_text("locally")
                                                            : own_text("not_recorded");
     }},
    {"waiting", [](const Done& d) { return d.recorded() ? left_out() : number(d.kept.waiting); }},
    {"",
     [](const Done& d) {
         return own_text(utf8(station::outcome_line(d.record) + station::kept_note(d.kept)));
     },
     {""}},
};

// A row of the register as `register list` gives it.
constexpr Column<reg::Record> kRecordColumns[] = {
    {"", [](const reg::Record& r) { return members(reg::record_json(r)); }},
    {"", [](const reg::Record& r) { return own_text(utf8(station::outcome_line(r, true))); }, {""}},
};

// Rows waiting for another register than this one:
// "3 waiting for URL (not the register now) in FILE".
constexpr Column<reg::Elsewhere> kElsewhereColumns[] = {
    {"waiting", [](const reg::Elsewhere& e) { return number(e.rows); }, {""}},
    {"register",
     [](const reg::Elsewhere& e) { return own_text(utf8(e.target)); },
     {" waiting for "}},
    {"local",
     [](const reg::Elsewhere& e) { return own_text(utf8(e.local)); },
     {" (not the register now) in "}},
};

// "38400,9600": the speeds to try, or nothing.
std::optional<std::vector<std::int32_t>> speed_list(const std::string& text) {
    std::vector<std::int32_t> speeds;
    for (const QString& part : QString::fromStdString(text).split(QLatin1Char(','))) {
        bool number = false;
        const int speed = part.trimmed().toInt(&number);
        if (!number || speed <= 0 || speed > 100000000) {
            return std::nullopt;
        }
        speeds.push_back(speed);
    }
    return speeds;
}

// The station's options from the profile file and the ports and speeds
// given; nothing, with `refusal` set, when they cannot be used.
std::optional<station::Options>
station_options(const Invocation& in, const settings::Settings& settings, Result& refusal) {
    const std::optional<std::string> profile_file = in.option("--profile");
    if (!profile_file) {
        refusal = usage_error("station needs --profile FILE");
        return std::nullopt;
    }
    const device::LoadedProfile loaded = device::load_profile(*profile_file);
    if (!loaded.profile) {
        refusal = bad_value(loaded.message, loaded.problem);
        return std::nullopt;
    }
    std::vector<std::int32_t> speeds = station::kDefaultSpeeds;
    if (const std::optional<std::string> given = in.option("--speeds")) {
        const std::optional<std::vector<std::int32_t>> listed = speed_list(*given);
        if (!listed) {
            refusal = usage_error("--speeds takes bit/s numbers separated by commas");
            return std::nullopt;
        }
        speeds = *listed;
    }
    return station::station_options(QString::fromStdString(*profile_file), loaded, settings,
                                    QString::fromStdString(in.option("--ports").value_or("")),
                                    speeds);
}

Result run_station(Commands& c) {
    const Invocation& in = c.in();
    Result refusal;
    std::optional<station::Options> prepared = station_options(in, c.settings(), refusal);
    if (!prepared) {
        return refusal;
    }
    station::Options options = std::move(*prepared);

    // The register is proved writable before any port is touched; a
    // server out of reach is not waited for, its rows wait locally.
    const reg::Place place = register_place(in);
    reg::Register book;
    QString error;
    if (!book.open(place, error)) {
        return register_failed(error);
    }
    options.traces_folder = book.traces_folder();
    options.station_name = place.station;

    station::Station station(book, std::move(options));
    // SIGINT and SIGTERM stop the station between or during devices, and
    // cut an exchange with the register server short: they are heard on a
    // thread of their own, which is free while the station's is busy.
    std::optional<link::SignalThread> hearing(std::in_place, {SIGINT, SIGTERM},
                                              [&station] { station.stop(); });
    tell_person("waiting for devices; register " + utf8(book.path()), in.json);
    if (!book.last_failure().isEmpty()) {
        tell_person(utf8(book.last_failure()) + "; rows wait locally", in.json);
    }
    error = station.run([&in](const reg::Record& record, const reg::Kept& kept) {
        write_record(Done{record, kept}, kDoneColumns, in.json);
    });
    hearing.reset();
    if (!error.isEmpty()) {
        return register_failed(error);
    }
    // A signal's exit status and message are the program's, set as it ends.
    return {};
}

Result list_register(Commands& c) {
    const Invocation& in = c.in();
    QDate since;
    if (const std::optional<std::string> given = in.option("--since")) {
        since = QDate::fromString(QString::fromStdString(*given), Qt::ISODate);
        if (!since.isValid()) {
            return usage_error("--since takes a date YYYY-MM-DD");
        }
    }
    // Row by row as they are read: a register of any length is listed in
    // the memory of one row.
    reg::Register book;
    QString error;
    StreamedList list("records", in.json);
    const bool read =
        book.open_for_reading(register_place(in), error) &&
        book.each(
            since, [&list](const reg::Record& r) { list.add(r, kRecordColumns); }, error);
    return list.ended(read ? Result{} : register_failed(error));
}

Result export_register(Commands& c) {
    const Invocation& in = c.in();
    const std::optional<std::string> csv = in.option("--csv");
    if (!csv) {
        return usage_error("register export needs --csv FILE");
    }
    reg::Register book;
    QString error;
    if (!book.open_for_reading(register_place(in), error)) {
        return register_failed(error);
    }
    reg::Failure failure;
    const std::optional<std::size_t> rows = book.export_csv(QString::fromStdString(*csv), failure);
    if (!rows) {
        return register_failed(failure);
    }
    return file_written(*csv, "records", *rows);
}

// The rows waiting locally for the register sent to it.
Result sync_register(Commands& c) {
    const Invocation& in = c.in();
    reg::Register book;
    QString error;
    if (!book.open(register_place(in), error)) {
        return register_failed(error);
    }
    const std::optional<int> sent = book.send_waiting(error);
    if (!sent) {
        return register_failed(error);
    }
    Result r;
    add_fields(
        r, {{"sent", std::to_string(*sent), Field::State::number, {"", " sent"}},
            {"waiting", std::to_string(book.waiting()), Field::State::number, {", ", " waiting"}}});
    // Rows kept for a register no longer configured are named, never left
    // unsaid.
    add_list(r, "elsewhere", book.waiting_elsewhere(), kElsewhereColumns);
    return r;
}

constexpr Command kRows[] = {
    {"station", "", "--profile= --ports= --speeds= --station= --register= --password-file=",
     "--profile F [--ports GLOB] [--speeds LIST] [--station NAME] [--register FILE|URL] "
     "[--password-file F]",
     Reach::station, run_station},
    {"register list", "", "--since= --register= --password-file=",
     "[--since YYYY-MM-DD] [--register FILE|URL] [--password-file F]", Reach::station,
     list_register},
    {"register export", "", "--csv= --register= --password-file=",
     "--csv F [--register FILE|URL] [--password-file F]", Reach::station, export_register},
    {"register sync", "", "--register= --password-file=",
     "[--register FILE|URL] [--password-file F]", Reach::station, sync_register},
};

} // namespace

std::span<const Command> station_commands() {
    return kRows;
}

} // namespace tessal::cli
