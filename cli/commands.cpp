// SPDX-License-Identifier: Apache-2.0
#include "commands.h"

#include "device/clock.h"
#include "device/device_text.h"
#include "device/ftp_replies.h"
#include "device/operations.h"
#include "device/profile.h"
#include "device/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"
#include "settings/text_file.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace tessal::cli {

namespace {

using device::from_device;

std::string last_message(const device::Report& report) {
    return report.messages.empty() ? std::string() : report.messages.back().text;
}

// A command that ended well: the console's message for it.
Result message_result(const device::Report& report) {
    Result r;
    r.values["message"] = from_device(last_message(report));
    r.text = last_message(report);
    return r;
}

// A command that expects only an acknowledgement: its report and whether
// the device acknowledged.
Result acknowledged_result(const std::pair<device::Report, bool>& done) {
    return done.second ? message_result(done.first) : failure(done.first);
}

// The first line of a file, without its line end.
std::optional<std::string> first_line(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// Four-digit year of a two-digit one, as the clock reads it.
std::string full_year(const std::string& yy) {
    const bool digits = yy.size() == 2 && std::isdigit(static_cast<unsigned char>(yy[0])) &&
                        std::isdigit(static_cast<unsigned char>(yy[1]));
    return digits ? std::to_string(device::full_year(std::stoi(yy))) : yy;
}

// "DD.MM.YYYY" and "HH:MM:SS" as the clock's six texts, or nothing.
std::optional<device::ClockTexts> typed_time(const std::string& date, const std::string& time) {
    const auto fields = [](const std::string& value, char separator,
                           std::initializer_list<std::size_t> widths) {
        std::vector<std::string> parts;
        std::size_t from = 0;
        for (std::size_t width : widths) {
            const std::string part = value.substr(from, width);
            if (part.size() != width ||
                !std::all_of(part.begin(), part.end(),
                             [](unsigned char ch) { return std::isdigit(ch) != 0; })) {
                return std::vector<std::string>{};
            }
            parts.push_back(part);
            from += width;
            if (parts.size() < widths.size()) {
                if (from >= value.size() || value[from] != separator) {
                    return std::vector<std::string>{};
                }
                ++from;
            }
        }
        return from == value.size() ? parts : std::vector<std::string>{};
    };
    const std::vector<std::string> d = fields(date, '.', {2, 2, 4});
    const std::vector<std::string> t = fields(time, ':', {2, 2, 2});
    if (d.empty() || t.empty()) {
        return std::nullopt;
    }
    return device::ClockTexts{d[2].substr(2), d[1], d[0], t[0], t[1], t[2]};
}

std::optional<int> season_offset(const std::optional<std::string>& season) {
    if (season == "summer") {
        return device::kSummerOffset;
    }
    if (season == "winter") {
        return device::kWinterOffset;
    }
    return std::nullopt;
}

// A failure after some values were written: the failure's own code goes
// into the detail.
void as_partial(Result& r) {
    const std::string inner =
        r.error->code + (r.error->detail.empty() ? "" : ": ") + r.error->detail;
    const Result partial = failure(device::Failure::Kind::partly_written, r.error->message, inner);
    r.exit = partial.exit;
    r.error = partial.error;
}

// Values read back that differ from the ones written, named in `fields`.
void mismatch(Result& r, const std::string& fields) {
    const Result differs = failure(device::Failure::Kind::read_back_differs, {}, fields);
    r.exit = differs.exit;
    r.error = differs.error;
}

// Runs an operation over a session of its own.
template <class Op>
auto with_session(link::DeviceLink& link, const device::PortChoice& port,
                  device::Prompter* prompter, Op op) {
    device::Session session(link, port, prompter);
    if constexpr (std::is_void_v<decltype(op(session))>) {
        op(session);
        return session.finish();
    } else {
        auto value = op(session);
        return std::pair(session.finish(), std::move(value));
    }
}

} // namespace

Result usage_error(const std::string& message, const std::string& detail) {
    Result r;
    r.exit = kUsage;
    r.error = Result::Error{"usage", message, detail};
    return r;
}

const FailureCode& failure_code(device::Failure::Kind kind) {
    using Kind = device::Failure::Kind;
    static constexpr FailureCode kTable[] = {
        {Kind::no_reply, "no_reply", kNoReply, false},
        {Kind::refused, "refused", kDeviceError, false},
        {Kind::bad_checksum, "bad_checksum", kDeviceError, false},
        {Kind::port_failed, "port_failed", kDeviceError, false},
        {Kind::port_unavailable, "port_unavailable", kPortFailed, true},
        {Kind::modem_error, "modem_error", kDeviceError, true},
        {Kind::unexpected_reply, "unexpected_reply", kDeviceError, true},
        {Kind::value_missing, "not_found", kDeviceError, true},
        {Kind::bad_value, "bad_value", kUsage, false},
        // Stopped traffic ends an exchange as a broken line does.
        {Kind::interrupted, "port_failed", kDeviceError, false},
        {Kind::read_back_differs, "mismatch", kMismatch, false},
        {Kind::partly_written, "partial", kPartial, false},
    };
    return *std::find_if(std::begin(kTable), std::end(kTable),
                         [kind](const FailureCode& row) { return row.kind == kind; });
}

Result failure(device::Failure::Kind kind, const std::string& message, const std::string& detail) {
    const FailureCode& row = failure_code(kind);
    Result r;
    r.exit = row.exit;
    r.error = Result::Error{row.code, message, detail};
    return r;
}

Result failure(const device::Report& report) {
    // An operation that ended early without a failure of its own refused
    // what it was given.
    const device::Failure failed = report.failure.value_or(
        device::Failure{device::Failure::Kind::bad_value, last_message(report), {}});
    const bool with_reply = failure_code(failed.kind).reply_as_detail;
    return failure(failed.kind, failed.text, with_reply ? failed.reply : std::string());
}

std::optional<std::string> Commands::secret_from_file(const std::string& path) {
    std::optional<std::string> secret = first_line(path);
    if (secret && settings::others_may_write(path)) {
        warnings_.push_back("warning: other users may write " + path +
                            "; the secret in it may not be the one meant");
    }
    return secret;
}

void Commands::tell(const device::Message& message) {
    notes_ << from_device(message.text);
}

Result Commands::run() {
    const std::vector<std::string>& w = in_.words;
    const std::string command = w.empty() ? "" : w[0];
    const std::string sub = w.size() > 1 ? w[1] : "";
    // Every command takes exactly its own words.
    const auto words = [&w](std::size_t least, std::size_t most) {
        return w.size() >= least && w.size() <= most;
    };
    Result r;
    if ((command == "version" || command == "last-command") && words(1, 1)) {
        r = version(command == "last-command");
    } else if ((command == "restart" || command == "reset" || command == "test") && words(1, 1)) {
        r = acknowledged(command);
    } else if (command == "imei" && words(1, 1)) {
        r = imei();
    } else if (command == "signal" && words(1, 1)) {
        r = signal();
    } else if (command == "clock" && words(1, 1)) {
        r = clock();
    } else if (command == "clock" && sub == "set" && words(2, 2)) {
        r = clock_set();
    } else if (command == "ftp" && sub == "get" && words(2, 2)) {
        r = ftp_get();
    } else if (command == "ftp" && sub == "set" && words(2, 2)) {
        r = ftp_set();
    } else if (command == "jad" && sub == "get" && words(2, 3)) {
        r = jad_get();
    } else if (command == "jad" && sub == "set" && words(4, 4)) {
        r = jad_set();
    } else if (command == "sim" &&
               ((sub == "id" && words(2, 2)) || (sub == "set-id" && words(3, 3)) ||
                ((sub == "password" || sub == "pin") && words(2, 2)))) {
        r = sim(sub);
    } else if (command == "at" && words(2, 2)) {
        r = at();
    } else if (command == "profile" && sub == "export" && words(3, 3)) {
        r = profile_export();
    } else if (command == "profile" && sub == "diff" && words(3, 3)) {
        r = profile_diff();
    } else if (command == "profile" && sub == "apply" && words(3, 3)) {
        r = profile_apply();
    } else {
        return usage_error("unknown command or wrong arguments: " +
                           (w.empty() ? std::string("(none)") : command));
    }
    if (!notes_.isEmpty()) {
        r.notes = notes_;
    }
    r.warnings = warnings_;
    return r;
}

Result Commands::version(bool last_command) {
    auto [report, value] = with_session(link_, port_, this, [&](device::Session& s) {
        return last_command ? device::read_last_command(s) : device::read_version(s);
    });
    if (!value) {
        return failure(report);
    }
    Result r;
    r.values[last_command ? "last_command" : "version"] = from_device(*value);
    r.text = *value;
    return r;
}

Result Commands::acknowledged(const std::string& what) {
    if (what == "reset" && !in_.has("--yes")) {
        // The console asks first; here the question is --yes.
        Result r;
        r.exit = kUsage;
        r.error =
            Result::Error{"not_confirmed", link::kMsgConfirm, "reset sends nothing without --yes"};
        return r;
    }
    return acknowledged_result(with_session(link_, port_, this, [&](device::Session& s) {
        if (what == "restart") {
            return device::restart(s);
        }
        return what == "reset" ? device::reset(s) : device::test_link(s);
    }));
}

Result Commands::imei() {
    auto [report, value] = with_session(link_, port_, this, device::read_imei);
    if (!value) {
        return failure(report);
    }
    if (value->empty()) {
        // The reply holds no IMEI: the console leaves its box empty.
        return failure(report);
    }
    Result r;
    r.values["imei"] = from_device(*value);
    r.text = *value;
    return r;
}

Result Commands::signal() {
    auto [report, value] = with_session(link_, port_, this, device::read_signal_level);
    if (!value) {
        return failure(report);
    }
    if (value->strength < 0) {
        return failure(report);
    }
    Result r;
    QJsonObject signal;
    signal["strength"] = value->strength;
    signal["bar"] = value->bar;
    signal["label"] = from_device(value->label);
    r.values["signal"] = signal;
    r.text = std::to_string(value->strength);
    return r;
}

Result Commands::clock() {
    const std::optional<std::string> season = in_.option("--season");
    const std::optional<int> offset = season_offset(season);
    if (season && !offset) {
        return usage_error("--season takes summer or winter");
    }
    auto [report, value] = with_session(link_, port_, this, [&](device::Session& s) {
        return offset ? device::read_clock(s, *offset) : device::read_modem_clock(s);
    });
    if (!value || (*value)[device::kHour].empty()) {
        return failure(report); // a reply without the clock, or one not read
    }
    const device::ClockTexts& t = *value;
    const std::string date =
        t[device::kDay] + "." + t[device::kMonth] + "." + full_year(t[device::kYear]);
    const std::string time = t[device::kHour] + ":" + t[device::kMinute] + ":" + t[device::kSecond];
    Result r;
    QJsonObject clock;
    clock["date"] = from_device(date);
    clock["time"] = from_device(time);
    clock["season"] = season ? QJsonValue(QString::fromStdString(*season)) : QJsonValue();
    r.values["clock"] = clock;
    r.text = date + " " + time;
    return r;
}

Result Commands::clock_set() {
    const std::optional<int> offset = season_offset(in_.option("--season"));
    if (!offset) {
        return usage_error("clock set needs --season summer or --season winter");
    }
    device::ClockTexts local;
    if (in_.has("--from-pc")) {
        if (in_.has("--date") || in_.has("--time")) {
            return usage_error("--from-pc goes without --date and --time");
        }
        local = device::clock_texts(QDateTime::currentDateTime());
    } else {
        const std::optional<std::string> date = in_.option("--date");
        const std::optional<std::string> time = in_.option("--time");
        if (!date || !time) {
            return usage_error("clock set needs --from-pc, or --date and --time");
        }
        const std::optional<device::ClockTexts> typed = typed_time(*date, *time);
        if (!typed) {
            return usage_error(device::kMsgBadDate, "--date DD.MM.YYYY --time HH:MM:SS");
        }
        local = *typed;
    }
    return acknowledged_result(with_session(link_, port_, this, [&](device::Session& s) {
        return device::set_clock(s, local, *offset);
    }));
}

Result Commands::ftp_get() {
    auto [report, read] = with_session(
        link_, port_, this, [&](device::Session& s) { return device::read_ftp(s, settings_); });
    if (read.rows_read < 6) {
        return failure(report);
    }
    QJsonObject ftp;
    ftp["address"] = from_device(device::joined_address(read.address));
    ftp["user"] = from_device(read.texts[0]);
    ftp["password"] = device::kHidden;
    ftp["for_send"] = from_device(read.texts[2]);
    ftp["command"] = from_device(read.texts[3]);
    ftp["gprs"] = from_device(read.gprs);
    ftp["operator"] =
        read.operator_index
            ? QJsonValue(from_device(settings_.operator_names[*read.operator_index].value_or("")))
            : QJsonValue();
    Result r;
    r.values["ftp"] = ftp;
    for (const device::FtpParameterRow& row : device::kFtpParameterTable) {
        r.text += std::string(row.field) + ": " + ftp[row.field].toString().toStdString() + "\n";
    }
    r.text += "operator: " + ftp["operator"].toString().toStdString();
    return r;
}

Result Commands::ftp_set() {
    device::FtpRows rows;
    // Each given option ticks its row; the rest are not sent.
    if (const std::optional<std::string> address = in_.option("--address")) {
        const std::optional<std::array<std::string, 4>> octets = device::four_octets(*address);
        if (!octets) {
            return usage_error("--address takes A.B.C.D");
        }
        rows.ticked[0] = true;
        rows.address = *octets;
    }
    const std::array<const char*, 4> text_options{"--user", "--password-file", "--for-send",
                                                  "--command"};
    for (std::size_t i = 0; i < text_options.size(); ++i) {
        std::optional<std::string> value = in_.option(text_options[i]);
        if (value && i == 1) {
            value = secret_from_file(*value);
            if (!value) {
                return usage_error("the password file cannot be read");
            }
        }
        if (value) {
            rows.ticked[i + 1] = true;
            rows.texts[i] = *value;
        }
    }
    if (in_.has("--operator") && in_.has("--gprs")) {
        return usage_error("--operator and --gprs exclude each other");
    }
    if (const std::optional<std::string> name = in_.option("--operator")) {
        for (std::size_t i = 0; i < settings::operators_in_use(settings_); ++i) {
            if (settings_.operator_names[i].value_or("") == *name) {
                rows.operator_index = static_cast<int>(i);
                break;
            }
        }
        if (rows.operator_index < 0) {
            Result r = usage_error("no operator of that name in the settings file", *name);
            r.error->code = "bad_value";
            return r;
        }
        rows.ticked[5] = true;
    } else if (const std::optional<std::string> gprs = in_.option("--gprs")) {
        rows.gprs = *gprs;
        rows.ticked[5] = true;
    }
    if (std::none_of(rows.ticked.begin(), rows.ticked.end(), [](bool t) { return t; })) {
        return usage_error("ftp set needs at least one parameter to send");
    }
    // Every value is checked as the window checks it before anything is sent.
    if (const std::optional<device::FtpRefusal> refusal =
            device::ftp_rows_refusal(rows, settings_)) {
        const device::FtpParameterRow& row = device::ftp_parameter(refusal->row);
        Result r = usage_error(row.refusal, std::string(row.field) + ": " + refusal->why);
        r.error->code = "bad_value";
        return r;
    }
    auto [report, sent] = with_session(link_, port_, this, [&](device::Session& s) {
        return device::send_ftp(s, rows, settings_);
    });
    // The values to read back: the address as sent, the texts as given, the
    // operator's GPRS string.
    std::array<std::string, 6> wanted;
    wanted[0] = device::sent_address(rows.address);
    for (std::size_t i = 0; i < 4; ++i) {
        wanted[i + 1] = rows.texts[i];
    }
    wanted[5] =
        rows.gprs
            ? *rows.gprs
            : settings_.gprs_strings[static_cast<std::size_t>(std::max(rows.operator_index, 0))]
                  .value_or("");
    // The parameters as read back after the write, or nothing when the read
    // failed.
    const auto read_back = [&](device::Report& check) -> std::optional<std::array<std::string, 6>> {
        auto [report_of_read, read] = with_session(
            link_, port_, this, [&](device::Session& s) { return device::read_ftp(s, settings_); });
        check = std::move(report_of_read);
        if (read.rows_read < 6) {
            return std::nullopt;
        }
        return std::array<std::string, 6>{device::joined_address(read.address),
                                          read.texts[0],
                                          read.texts[1],
                                          read.texts[2],
                                          read.texts[3],
                                          read.gprs};
    };
    // The row whose request went out but whose acknowledgement was lost: the
    // device may have taken it, and a read decides where one is possible.
    std::optional<std::size_t> lost;
    if (!sent.complete && device::acknowledgement_lost(report)) {
        for (std::size_t row = 0; row < rows.ticked.size() && !lost; ++row) {
            if (rows.ticked[row] && std::find(sent.acknowledged.begin(), sent.acknowledged.end(),
                                              row) == sent.acknowledged.end()) {
                lost = row;
            }
        }
    }
    bool lost_taken = false;
    bool lost_unknown = false;
    if (lost) {
        device::Report check;
        const std::optional<std::array<std::string, 6>> now = read_back(check);
        lost_unknown = !now;
        lost_taken = now && (*now)[*lost] == wanted[*lost];
    }
    QJsonArray written;
    QJsonArray not_written;
    QJsonArray unknown;
    for (std::size_t row = 0; row < rows.ticked.size(); ++row) {
        if (rows.ticked[row]) {
            const bool done = std::find(sent.acknowledged.begin(), sent.acknowledged.end(), row) !=
                                  sent.acknowledged.end() ||
                              (row == lost && lost_taken);
            const char* field = device::kFtpParameterTable[row].field;
            (done ? written : row == lost && lost_unknown ? unknown : not_written).append(field);
        }
    }
    if (lost && lost_taken && not_written.isEmpty()) {
        // Every value reached the device; only an acknowledgement was lost.
        Result r;
        r.values["message"] = from_device(device::kMsgChanged);
        r.text = device::kMsgChanged;
        r.values["written"] = written;
        return r;
    }
    if (!sent.complete) {
        Result r = failure(report);
        r.values["written"] = written;
        r.values["not_written"] = not_written;
        if (!unknown.isEmpty()) {
            r.values["unknown"] = unknown;
        }
        if (!written.isEmpty()) {
            as_partial(r);
        }
        return r;
    }
    Result r = message_result(report);
    r.values["written"] = written;
    if (!in_.has("--verify")) {
        return r;
    }
    // Read back: every parameter sent must read as it was sent.
    device::Report check;
    const std::optional<std::array<std::string, 6>> now = read_back(check);
    if (!now) {
        return failure(check);
    }
    const std::array<std::string, 6>& got = *now;
    QJsonArray mismatched;
    for (std::size_t row = 0; row < 6; ++row) {
        if (rows.ticked[row] && wanted[row] != got[row]) {
            mismatched.append(device::kFtpParameterTable[row].field);
        }
    }
    if (!mismatched.isEmpty()) {
        std::string names;
        for (const QJsonValue& name : mismatched) {
            names += (names.empty() ? "" : ", ") + name.toString().toStdString();
        }
        mismatch(r, names);
        r.values["mismatched"] = mismatched;
    }
    return r;
}

namespace {

// The parameter of that name ("NAME" or "NAME:") in a descriptor read.
std::optional<std::string> jad_value(const device::JadRead& read, std::string name) {
    if (name.empty() || name.back() != ':') {
        name += ':';
    }
    for (int k = 0; k < read.table.count; ++k) {
        if (read.table.names[static_cast<std::size_t>(k)] == name) {
            return read.table.values[static_cast<std::size_t>(k)];
        }
    }
    return std::nullopt;
}

} // namespace

Result Commands::jad_get() {
    auto [report, read] = with_session(link_, port_, this,
                                       [&](device::Session& s) { return device::read_jad(s, {}); });
    if (!read.descriptor) {
        return failure(report);
    }
    Result r;
    if (in_.words.size() == 3) {
        const std::string& name = in_.words[2];
        const std::optional<std::string> value = jad_value(read, name);
        if (!value) {
            r.exit = kDeviceError;
            r.error = Result::Error{"not_found", {}, name};
            return r;
        }
        r.values["name"] = from_device(name);
        r.values["value"] = from_device(*value);
        r.text = *value;
        return r;
    }
    QJsonObject parameters;
    for (int k = 0; k < read.table.count; ++k) {
        std::string name = read.table.names[static_cast<std::size_t>(k)];
        name.pop_back(); // the colon
        parameters[from_device(name)] = from_device(read.table.values[static_cast<std::size_t>(k)]);
    }
    r.values["descriptor"] = from_device(*read.descriptor);
    r.values["parameters"] = parameters;
    r.text = *read.descriptor;
    r.raw = true;
    return r;
}

Result Commands::jad_set() {
    std::string name = in_.words[2];
    const std::string& value = in_.words[3];
    if (name.empty() || name == ":") {
        return usage_error("jad set needs a parameter name");
    }
    if (name.back() != ':') {
        name += ':';
    }
    // The value is checked as the window checks it before anything is sent.
    const device::JadRequest request = device::jad_value_request(name, value);
    if (request.command.empty()) {
        Result r = usage_error(request.first ? request.first->text : std::string(),
                               *device::jad_value_problem(value));
        r.error->code = "bad_value";
        return r;
    }
    auto [report, acknowledged] = with_session(link_, port_, this, [&](device::Session& s) {
        return device::send_jad(s, request.command);
    });
    if (!acknowledged) {
        return failure(report);
    }
    Result r = message_result(report);
    if (in_.has("--verify")) {
        auto [check, read] = with_session(
            link_, port_, this, [&](device::Session& s) { return device::read_jad(s, {}); });
        if (!read.descriptor) {
            return failure(check);
        }
        // The descriptor shows a value after a blank; the value goes out as given.
        const std::optional<std::string> now = jad_value(read, name);
        if (now != value) {
            mismatch(r, now ? *now : "(missing)");
        }
    }
    return r;
}

Result Commands::sim(const std::string& what) {
    if (what == "id") {
        auto [report, value] = with_session(link_, port_, this, device::read_sim_id);
        if (!value) {
            return failure(report);
        }
        if (!device::is_sim_number(*value)) {
            return failure(report);
        }
        Result r;
        r.values["sim_id"] = from_device(*value);
        r.text = *value;
        return r;
    }
    if (what == "pin") {
        const std::optional<std::string> file = in_.option("--pin-file");
        const std::optional<std::string> pin = file ? secret_from_file(*file) : std::nullopt;
        if (!pin) {
            return usage_error(file ? "the PIN file cannot be read" : "sim pin needs --pin-file");
        }
        auto [report, outcome] = with_session(
            link_, port_, this, [&](device::Session& s) { return device::unlock_sim(s, *pin); });
        Result r;
        const std::string message = last_message(report);
        switch (outcome) {
        case device::PinOutcome::pin_set:
        case device::PinOutcome::not_needed:
            r.values["message"] = from_device(message);
            r.text = message;
            return r;
        case device::PinOutcome::no_sim:
            r.exit = kDeviceError;
            r.error = Result::Error{"no_sim", message, {}};
            return r;
        case device::PinOutcome::wrong_pin:
            r.exit = kDeviceError;
            r.error = Result::Error{"wrong_pin", message, {}};
            return r;
        case device::PinOutcome::unexpected:
        case device::PinOutcome::modem_error:
            // The state question's answer, or the modem's own error line to
            // the PIN request switch: the message says it, and the reply is
            // a secret in the report.
            return failure(report.failure ? report.failure->kind
                                          : device::Failure::Kind::unexpected_reply,
                           message);
        case device::PinOutcome::failed:
            break;
        }
        return failure(report);
    }
    std::string value;
    if (what == "password") {
        const std::optional<std::string> file = in_.option("--password-file");
        const std::optional<std::string> password = file ? secret_from_file(*file) : std::nullopt;
        if (!password) {
            return usage_error(file ? "the password file cannot be read"
                                    : "sim password needs --password-file");
        }
        value = *password;
    } else {
        value = in_.words[2];
    }
    return acknowledged_result(with_session(link_, port_, this, [&](device::Session& s) {
        return what == "password" ? device::send_password(s, value) : device::send_sim_id(s, value);
    }));
}

Result Commands::at() {
    const std::string& command = in_.words[1];
    auto [report, reply] = with_session(
        link_, port_, this, [&](device::Session& s) { return device::pass_through(s, command); });
    if (!reply) {
        return failure(report);
    }
    Result r;
    r.values["reply"] = from_device(*reply);
    r.text = *reply;
    r.raw = true;
    if (device::modem_error(*reply)) {
        r.exit = kDeviceError;
        r.error = Result::Error{"modem_error", {}, *reply};
    }
    return r;
}

namespace {

// A profile that cannot be used: nothing is sent.
Result bad_profile(const std::string& message, const std::string& detail) {
    Result r = usage_error(message, detail);
    r.error->code = "bad_value";
    return r;
}

// The profile in the file, or why it cannot be used.
std::optional<device::Profile> profile_file(const std::string& path, Result& refused) {
    std::string json;
    std::string problem;
    switch (settings::read_text_file(path, json, problem)) {
    case settings::ReadOutcome::read:
        break;
    case settings::ReadOutcome::missing:
        refused = bad_profile("the profile file cannot be read", "no such file: " + path);
        return std::nullopt;
    case settings::ReadOutcome::failed:
        refused = bad_profile("the profile file cannot be read", problem);
        return std::nullopt;
    }
    std::optional<device::Profile> profile = device::parse_profile(json, problem);
    if (!profile) {
        refused = bad_profile({}, problem);
    }
    return profile;
}

// A text for a terminal: every byte a terminal takes as a control (C0, DEL
// and C1) as \xNN, so that no value from a file or a device can move,
// clear or retitle the technician's terminal.
std::string printable(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            constexpr const char* kHex = "0123456789ABCDEF";
            out += {'\\', 'x', kHex[code >> 4], kHex[code & 0x0F]};
        } else {
            out += ch;
        }
    }
    return out;
}

// A value in a line for a person: an empty one as "".
std::string shown(const std::string& value) {
    return value.empty() ? "\"\"" : printable(value);
}

std::string differ_count(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " value differs" : " values differ");
}

// Every value of an apply: a JSON array without empty members, and one line
// each for a person ("ftp.user: confirmed (terminal -> tech)").
void list_values(const std::vector<device::ValueState>& values, Result& r) {
    using State = device::ValueState::State;
    for (const device::ValueState& v : values) {
        // The lost acknowledgement says what to do about it.
        const std::string state = v.state == State::unknown ? std::string("unknown, read it back")
                                                            : device::state_name(v.state);
        r.text += printable(v.field) + ": " + state + " (" + shown(v.device);
        if (v.state != State::unchanged) {
            r.text += " -> " + shown(v.wanted);
        }
        if (v.state == State::read_back_differs) {
            r.text += ", now " + shown(v.now);
        }
        r.text += ")" + (v.why.empty() ? std::string() : ": " + printable(v.why)) + "\n";
    }
    const std::string json = device::values_json(values);
    r.values["values"] = QJsonDocument::fromJson(QByteArray::fromStdString(json)).array();
    r.raw = true; // the lines are shown whatever the outcome
}

bool written(const device::ValueState& v) {
    using State = device::ValueState::State;
    return v.state == State::confirmed || v.state == State::read_back_differs ||
           v.state == State::written;
}

// Why an apply stopped: the failure that stopped it, with the console's
// message for the first value not written.
device::Report stop_report(device::Report report, const std::vector<device::ValueState>& values) {
    const auto refused = std::find_if(values.begin(), values.end(), [](const auto& v) {
        return v.state == device::ValueState::State::not_written && !v.why.empty();
    });
    if (refused != values.end()) {
        report.messages.push_back({refused->why, device::Message::Kind::info, {}});
    }
    return report;
}

} // namespace

Result Commands::profile_export() {
    const std::string& file = in_.words[2];
    auto [report, profile] = with_session(
        link_, port_, this, [&](device::Session& s) { return device::read_profile(s, settings_); });
    if (!profile) {
        return failure(report); // no file is written
    }
    profile->source.read_at =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    std::string problem;
    // A file with the password in it is for its owner's eyes only.
    const bool with_secrets = in_.has("--with-secrets");
    if (!settings::replace_file(file, device::profile_json(*profile, with_secrets), problem,
                                with_secrets ? settings::FileAccess::owner_only
                                             : settings::FileAccess::usual)) {
        return bad_profile("the profile file cannot be written", problem);
    }
    Result r;
    r.values["file"] = QString::fromStdString(file);
    r.text = file;
    return r;
}

Result Commands::profile_diff() {
    Result refused;
    const std::optional<device::Profile> wanted = profile_file(in_.words[2], refused);
    if (!wanted) {
        return refused;
    }
    // The checks of an apply: a profile it refuses is refused here too.
    if (const std::optional<std::string> problem = device::profile_problem(*wanted)) {
        return bad_profile({}, *problem);
    }
    auto [report, device] = with_session(
        link_, port_, this, [&](device::Session& s) { return device::read_profile(s, settings_); });
    if (!device) {
        return failure(report);
    }
    const std::vector<device::ValueState> compared = device::compare_profile(*device, *wanted);
    if (const std::optional<std::string> problem = device::write_problem(compared)) {
        return bad_profile({}, *problem);
    }
    Result r;
    QJsonArray differences;
    int same = 0;
    for (const device::ValueState& v : compared) {
        if (v.state == device::ValueState::State::unchanged) {
            ++same;
            continue;
        }
        QJsonObject entry;
        entry["field"] = from_device(v.field);
        entry["device"] = from_device(v.device);
        entry["profile"] = from_device(v.wanted);
        differences.append(entry);
        r.text += printable(v.field) + ": " + shown(v.device) + " -> " + shown(v.wanted) + "\n";
    }
    r.values["differences"] = differences;
    r.values["same"] = same;
    r.raw = true;
    if (!differences.isEmpty()) {
        r.exit = kDiffers;
        r.error = Result::Error{"differs", {}, differ_count(differences.size())};
    }
    return r;
}

Result Commands::profile_apply() {
    Result refused;
    std::optional<device::Profile> wanted = profile_file(in_.words[2], refused);
    if (!wanted) {
        return refused;
    }
    if (const std::optional<std::string> file = in_.option("--password-file")) {
        wanted->password = secret_from_file(*file);
        if (!wanted->password) {
            return usage_error("the password file cannot be read");
        }
    }
    const bool dry_run = in_.has("--dry-run");
    auto [report, applied] = with_session(link_, port_, this, [&](device::Session& s) {
        return device::apply_profile(s, *wanted, settings_, dry_run);
    });
    // A value the device cannot hold is refused before anything is sent.
    if (!applied.refusal.empty()) {
        return bad_profile({}, applied.refusal);
    }
    const std::vector<device::ValueState>& values = applied.values;
    const auto count = [&values](device::ValueState::State state) {
        return std::count_if(values.begin(), values.end(),
                             [state](const device::ValueState& v) { return v.state == state; });
    };
    Result r;
    if (applied.stopped || (!applied.complete && !applied.held_back &&
                            count(device::ValueState::State::read_back_differs) == 0)) {
        r = failure(values.empty() ? report : stop_report(report, values));
        if (std::any_of(values.begin(), values.end(), written)) {
            as_partial(r); // some values are on the device, the rest are not
        }
    } else if (count(device::ValueState::State::read_back_differs) > 0) {
        std::string fields;
        for (const device::ValueState& v : values) {
            if (v.state == device::ValueState::State::read_back_differs) {
                fields += (fields.empty() ? "" : ", ") + v.field;
            }
        }
        mismatch(r, fields);
    } else if (const auto differing = count(device::ValueState::State::differs)) {
        r.exit = kDiffers; // a dry run: these would be written
        r.error = Result::Error{"differs", {}, differ_count(static_cast<std::size_t>(differing))};
    }
    if (!values.empty()) {
        list_values(values, r);
    }
    if (dry_run) {
        r.values["dry_run"] = true;
    }
    return r;
}

Result list_ports(const settings::Settings& settings, const std::vector<link::PortInfo>& found) {
    QJsonArray ports;
    Result r;
    for (const link::PortDescription& port : link::describe_ports(settings.com_devices, found)) {
        const link::PortInfo info = port.listed.value_or(link::PortInfo{});
        QJsonObject entry;
        entry["number"] = port.number;
        entry["device"] = QString::fromStdString(port.device);
        entry["present"] = port.listed.has_value();
        entry["adapter"] = info.adapter;
        entry["description"] = QString::fromStdString(info.description);
        entry["serial_number"] = QString::fromStdString(info.serial_number);
        ports.append(entry);
        r.text += (port.number > 1 ? "\n" : "") + std::to_string(port.number) + " " + port.device;
        if (!info.description.empty()) {
            r.text += " (" + info.description + ")";
        }
    }
    r.values["ports"] = ports;
    return r;
}

Result list_operators(const settings::Settings& settings) {
    QJsonArray operators;
    Result r;
    for (std::size_t i = 0; i < settings::operators_in_use(settings); ++i) {
        QJsonObject entry;
        entry["index"] = static_cast<int>(i);
        entry["name"] = from_device(settings.operator_names[i].value_or(""));
        entry["gprs"] = from_device(settings.gprs_strings[i].value_or(""));
        operators.append(entry);
        r.text += (i > 0 ? "\n" : "") + std::to_string(i) + "\t" +
                  settings.operator_names[i].value_or("") + "\t" +
                  settings.gprs_strings[i].value_or("");
    }
    r.values["operators"] = operators;
    return r;
}

} // namespace tessal::cli
