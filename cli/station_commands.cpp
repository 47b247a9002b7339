// SPDX-License-Identifier: Apache-2.0
// The commissioning station, which runs until SIGINT or SIGTERM and prints
// one line per device, and its register.
#include "cli/command_table.h"

#include "link/signal_handover.h"

#include "device/profile_file.h"
#include "register/register.h"
#include "station/station.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <iostream>

namespace tessal::cli {

namespace {

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// The register's failures as the command line gives them: the exit status
// and the JSON code of each kind.
struct RegisterFailureCode {
    reg::Failure::Kind kind;
    int exit;
    const char* code;
};
constexpr RegisterFailureCode kRegisterFailures[] = {
    {reg::Failure::Kind::register_unusable, 3, "register_unusable"},
    {reg::Failure::Kind::file_unwritable, kUsage, "bad_value"},
};

Result register_failed(const reg::Failure& failure) {
    for (const RegisterFailureCode& f : kRegisterFailures) {
        if (f.kind == failure.kind) {
            return refused(f.exit, f.code, utf8(failure.text));
        }
    }
    return refused(kRegisterFailures[0].exit, kRegisterFailures[0].code, utf8(failure.text));
}

// The register cannot be opened, read or written.
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
    std::optional<link::SignalThread> hearing(std::in_place, [&station] { station.stop(); });
    if (!in.json) {
        std::cerr << "waiting for devices; register " << utf8(book.path()) << std::endl;
        if (!book.last_failure().isEmpty()) {
            std::cerr << utf8(book.last_failure()) << "; rows wait locally" << std::endl;
        }
    }
    error = station.run([&in](const reg::Record& record, const reg::Kept& kept) {
        if (in.json) {
            QJsonObject object = reg::record_json(record);
            if (kept.where != reg::Kept::Where::recorded) {
                object["kept"] = kept.where == reg::Kept::Where::waiting
                                     ? QStringLiteral("locally")
                                     : QStringLiteral("not_recorded");
                object["waiting"] = kept.waiting;
            }
            std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
        } else {
            std::cout << utf8(station::outcome_line(record) + station::kept_note(kept));
        }
        std::cout << std::endl;
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
    reg::Register book;
    QString error;
    std::optional<std::vector<reg::Record>> records;
    if (book.open_for_reading(register_place(in), error)) {
        records = book.list(since, error);
    }
    if (!records) {
        return register_failed(error);
    }
    Result r;
    QJsonArray list;
    QStringList lines;
    for (const reg::Record& record : *records) {
        list.append(reg::record_json(record));
        lines << station::outcome_line(record, true);
    }
    r.values["records"] = list;
    r.text = utf8(lines.join(QLatin1Char('\n')));
    return r;
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
    Result r;
    r.values["file"] = QString::fromStdString(*csv);
    r.values["records"] = static_cast<int>(*rows);
    r.text = *csv;
    return r;
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
    r.values["sent"] = *sent;
    r.values["waiting"] = book.waiting();
    QStringList lines{QStringLiteral("%1 sent, %2 waiting").arg(*sent).arg(book.waiting())};
    // Rows kept for a register no longer configured are named, never left
    // unsaid.
    QJsonArray elsewhere;
    for (const reg::Elsewhere& e : book.waiting_elsewhere()) {
        elsewhere.append(
            QJsonObject{{"register", e.target}, {"waiting", e.rows}, {"local", e.local}});
        lines << QStringLiteral("%1 waiting for %2 (not the register now) in %3")
                     .arg(e.rows)
                     .arg(e.target, e.local);
    }
    r.values["elsewhere"] = elsewhere;
    r.text = utf8(lines.join(QLatin1Char('\n')));
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
