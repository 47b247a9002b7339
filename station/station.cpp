// SPDX-License-Identifier: Apache-2.0
#include "station.h"

#include "port_watch.h"

#include "device/check.h"
#include "device/clock.h"
#include "device/device_text.h"
#include "device/operations.h"
#include "device/service_book.h"
#include "device/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"
#include "link/qt_serial_port.h"
#include "link/trace.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace tessal::station {

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// A message as part of the failures' summary: its line ends and runs of
// blanks as one blank.  What else it holds stays as it is: the register
// keeps it so, and the device's line shows it as visible characters.
QString one_line(const std::string& text) {
    return device::from_device(text).simplified();
}

QString last_message(const device::Session& session, std::size_t said) {
    const std::vector<device::Message>& messages = session.report().messages;
    return messages.size() > said ? one_line(messages.back().text) : QString();
}

// What went wrong with an apply that did not complete: the refusal, the
// read that failed, or each value that keeps it from done.
QString apply_failure(const device::Outcome& applied, const device::Session& session,
                      std::size_t said) {
    switch (applied.ending()) {
    case device::Outcome::Ending::refused:
        return one_line(applied.refusal);
    case device::Outcome::Ending::not_read: {
        const QString why = last_message(session, said);
        return QStringLiteral("profile: ") + (why.isEmpty() ? QStringLiteral("not read") : why);
    }
    default:
        break;
    }
    QStringList parts;
    for (const device::ValueState& v : applied.shortfall()) {
        parts << one_line(device::value_summary(v));
    }
    return parts.join(QStringLiteral(", "));
}

// The apply's values as the register keeps them: a compact JSON array of
// objects of their parts (device::value_parts), each without its empty
// members.
QString apply_json(const device::Outcome& applied) {
    QJsonArray list;
    for (const device::ValueState& v : applied.values) {
        QJsonObject entry;
        for (const auto& [name, text] : device::value_parts(v)) {
            if (!text.empty()) {
                entry[name] = device::from_device(text);
            }
        }
        list.append(entry);
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

// The line is dead for the rest of the device: traffic was stopped, the
// device went silent or the port failed.
bool line_lost(const device::Session& session) {
    return session.line_lost();
}

device::PortChoice choice(const QString& port, std::int32_t speed) {
    device::PortChoice c;
    c.port_number = 1;
    c.speed = speed;
    c.com_devices[0] = QFile::encodeName(port).toStdString();
    return c;
}

// The step told to whoever drives the station.
void tell_step(const Options& options, Step step, const QString& what) {
    if (options.on_step) {
        options.on_step(step, what);
    }
}

// The probe's port opened: it failed, if it did, on the line.
bool port_opened(const device::Report& report) {
    using Kind = device::Failure::Kind;
    return !report.failure || (report.failure->kind != Kind::port_unavailable &&
                               report.failure->kind != Kind::interrupted);
}

} // namespace

std::vector<std::int32_t> probe_speeds(std::int32_t first,
                                       const std::vector<std::int32_t>& listed) {
    std::vector<std::int32_t> speeds{first};
    for (std::int32_t speed : listed) {
        if (std::find(speeds.begin(), speeds.end(), speed) == speeds.end()) {
            speeds.push_back(speed);
        }
    }
    return speeds;
}

QString outcome_line(const reg::Record& r, bool whole_time) {
    QString line = whole_time ? r.time : r.time.mid(r.time.indexOf(QLatin1Char('T')) + 1, 8);
    if (whole_time && !r.station.isEmpty()) {
        line += QLatin1Char(' ') + r.station;
    }
    line += r.pass ? QStringLiteral(" PASS ") : QStringLiteral(" FAIL ");
    line += (r.imei.isEmpty() ? QStringLiteral("-") : r.imei) + QLatin1Char(' ') + r.port;
    if (!r.failed.isEmpty()) {
        line += QLatin1Char(' ') + r.failed;
    }
    // The row's texts came from a device or from another station: none of
    // them may break the line or reach the terminal as it is.
    return device::visible(line);
}

QString kept_note(const reg::Kept& kept) {
    switch (kept.where) {
    case reg::Kept::Where::recorded:
        return {};
    case reg::Kept::Where::waiting:
        return QStringLiteral(" [kept locally, %1 waiting]").arg(kept.waiting);
    case reg::Kept::Where::unrecorded:
        break;
    }
    return QStringLiteral(" [not recorded yet, %1 waiting: %2]")
        .arg(kept.waiting)
        .arg(device::visible(kept.why));
}

Options station_options(const QString& profile_file, const device::LoadedProfile& loaded,
                        const settings::Settings& settings, const QString& ports,
                        const std::vector<std::int32_t>& speeds) {
    Options options;
    options.profile = *loaded.profile;
    options.profile_file = QFileInfo(profile_file).absoluteFilePath();
    options.profile_sha256 = QString::fromStdString(loaded.sha256);
    options.settings = settings;
    options.speeds = speeds;
    options.ports_glob = ports;
    return options;
}

Station::Station(reg::Register& book, Options options)
    : book_(book), options_(std::move(options)) {}

Station::~Station() = default;

void Station::stop() {
    stopping_ = true;
    // A server's rows are kept locally before they are sent: it is not
    // waited for.
    book_.cut_off();
    const std::lock_guard lock(mutex_);
    if (line_ != nullptr) {
        line_->cancel();
    }
    if (idle_loop_ != nullptr) {
        // By name: the call is made whole inside Qt, on the loop's own
        // thread's queue, with nothing of this thread's in it.
        QMetaObject::invokeMethod(idle_loop_, "quit", Qt::QueuedConnection);
    }
}

bool Station::idle(milliseconds wait) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (QFileSystemWatcher* watcher = watch_ != nullptr ? watch_->folder_watcher() : nullptr) {
        QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, &loop, &QEventLoop::quit);
    }
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        idle_loop_ = &loop;
    }
    timer.start(wait);
    loop.exec();
    const std::lock_guard lock(mutex_);
    idle_loop_ = nullptr;
    return !stopping_;
}

QString Station::run(const std::function<void(const reg::Record&)>& done) {
    return run([&done](const reg::Record& record, const reg::Kept&) { done(record); });
}

QString Station::run(const std::function<void(const reg::Record&, const reg::Kept&)>& done) {
    link::DeviceLink line(std::make_unique<link::QtSerialPort>());
    PortWatch watch(options_.ports_glob, options_.ports);
    {
        const std::lock_guard lock(mutex_);
        line_ = &line;
        watch_ = &watch;
        if (stopping_) {
            line.cancel();
        }
    }
    struct Leave {
        Station& station;
        ~Leave() {
            const std::lock_guard lock(station.mutex_);
            station.line_ = nullptr;
            station.watch_ = nullptr;
        }
    } leave{*this};

    SteadyClock::time_point offered = SteadyClock::now(); // the waiting rows, last
    watch.leave_present_alone();
    while (!stopping_) {
        milliseconds wait = kPoll;
        const std::optional<QString> next = watch.next(kSettle, wait);
        if (!next) {
            wait_for_port(offered, wait);
            continue;
        }
        std::vector<device::Outcome> writes;
        const std::optional<reg::Record> record =
            commission(line, *next, watch.appeared(*next), writes);
        if (!record) {
            continue; // gone before it could be opened
        }
        const reg::Kept kept = book_.record(*record);
        record_entry(*record, writes);
        tell_step(options_, Step::recorded, QStringLiteral("upisano"));
        done(*record, kept);
    }
    // The run's rows signed: none of them can go unseen.
    book_.checkpoint();
    return unrecorded_left();
}

void Station::wait_for_port(SteadyClock::time_point& offered, milliseconds wait) {
    tell_step(options_, Step::waiting, QStringLiteral("ceka se uredjaj"));
    const SteadyClock::time_point now = SteadyClock::now();
    if (now - offered >= kResend && book_.waiting() > 0) {
        offered = now;
        QString ignored;
        book_.send_waiting(ignored, false);
    }
    idle(wait);
}

QString Station::unrecorded_left() {
    QString ignored;
    if (!book_.unrecorded().empty()) {
        book_.send_waiting(ignored, true);
    }
    QStringList left;
    for (const reg::Row& row : book_.unrecorded()) {
        const auto* r = std::get_if<reg::Record>(&row);
        if (r && !left.contains(r->imei.isEmpty() ? r->port : r->imei)) {
            left << (r->imei.isEmpty() ? r->port : r->imei);
        }
    }
    if (!left.isEmpty()) {
        return QStringLiteral("not recorded: %1: %2")
            .arg(left.join(QStringLiteral(", ")), book_.last_failure());
    }
    return {};
}

bool Station::open_refused(link::DeviceLink& line, const QString& port,
                           SteadyClock::time_point appeared, Found& found) {
    // A port that opened and then failed (its device gone at once, its speed
    // refused) is let go: left open, it would keep every later device off
    // the line.
    if (line.is_open()) {
        line.close_port();
    }
    const std::optional<link::PortFailure>& failure = line.last_port_failure();
    if (!watch_->listed(port)) {
        found.vanished = true; // a passing name, or pulled out at once
        return false;
    }
    // A device node whose rights are still being set is tried again.
    const bool settling = failure &&
                          (failure->fault.kind == link::PortFault::Kind::NoDevice ||
                           failure->fault.kind == link::PortFault::Kind::PermissionDenied) &&
                          SteadyClock::now() - appeared < kOpenRetry;
    if (settling && idle(milliseconds(100))) {
        return true;
    }
    found.failure =
        QStringLiteral("port: ") + (failure ? one_line(link::port_failure_cause(*failure))
                                            : one_line(link::kMsgPortNotOpened));
    return false;
}

Station::Found Station::find_device(link::DeviceLink& line, const QString& port,
                                    SteadyClock::time_point appeared) {
    Found found;
    const std::vector<std::int32_t> speeds = probe_speeds(options_.settings.speed, options_.speeds);
    for (std::size_t i = 0; i < speeds.size() && !stopping_;) {
        device::Session probe(line, choice(port, speeds[i]));
        const std::optional<std::string> version =
            device::probe_version(probe, options_.probe_timeout_ms);
        if (!version && !port_opened(probe.report())) {
            if (open_refused(line, port, appeared, found)) {
                continue;
            }
            return found;
        }
        probe.finish();
        if (version) {
            found.speed = speeds[i];
            found.version = device::from_device(*version);
            return found;
        }
        ++i;
    }
    QStringList tried;
    for (std::int32_t speed : speeds) {
        tried << QString::number(speed);
    }
    found.failure = QStringLiteral("no reply at ") + tried.join(QStringLiteral(", ")) +
                    QStringLiteral(" bit/s");
    return found;
}

namespace {

// The profile, every value written read back; no question.
void apply_step(device::Session& session, const Options& options, reg::Record& r,
                QStringList& failed) {
    tell_step(options, Step::profile, QStringLiteral("profil"));
    const std::size_t said = session.report().messages.size();
    const device::Outcome applied =
        device::apply_profile(session, options.profile, options.settings, false);
    r.apply_result = apply_json(applied);
    using Ending = device::Outcome::Ending;
    if (applied.ending() != Ending::done && applied.ending() != Ending::unchanged) {
        failed << apply_failure(applied, session, said);
    }
}

// The clock from the PC, its season by the PC's own rules.
void clock_step(device::Session& session, const Options& options, QStringList& failed) {
    tell_step(options, Step::clock, QStringLiteral("sat"));
    if (line_lost(session)) {
        return;
    }
    const std::size_t said = session.report().messages.size();
    const QDateTime now = QDateTime::currentDateTime();
    if (!device::set_clock(session, device::clock_texts(now),
                           now.isDaylightTime() ? device::kSummerOffset : device::kWinterOffset)) {
        failed << QStringLiteral("clock: ") + last_message(session, said);
    }
}

// The device check once the device is configured, against the profile it
// was given: a stage that fails makes the device fail with the verdict.
// The check's stages as the register keeps them: a compact JSON array.
QString check_json(const device::CheckResult& checked) {
    QJsonArray list;
    for (const device::StageResult& stage : checked.stages) {
        QJsonObject entry{{"stage", device::check_stage(stage.stage).name},
                          {"outcome", device::check_outcome(stage.outcome).name},
                          {"reading", device::from_device(stage.reading)}};
        if (stage.reason) {
            entry["reason"] = device::check_reason(*stage.reason).code;
        }
        list.append(entry);
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

void check_step(device::Session& session, const Options& options, reg::Record& r,
                QStringList& failed) {
    if (!failed.isEmpty() || line_lost(session)) {
        return; // a device not configured fails already, with its reason
    }
    tell_step(options, Step::check, QStringLiteral("provera"));
    const device::CheckResult checked =
        device::check_device(session, {options.settings, options.profile, {}});
    r.check_result = check_json(checked);
    if (!checked.passed()) {
        failed << QStringLiteral("check: ") +
                      QString::fromLatin1(device::check_reason(checked.verdict()).code) +
                      QStringLiteral(": ") + one_line(device::verdict_text(checked));
    }
}

// One value read for the row: `take` keeps it and names what is wrong with
// it; a read that failed is named by its message.
template <typename Operation, typename Take>
void read_into(device::Session& session, const char* what, Operation operation, Take take,
               QStringList& failed) {
    if (line_lost(session)) {
        return;
    }
    const std::size_t before = session.report().messages.size();
    if (const auto value = operation(session)) {
        if (const QString problem = take(*value); !problem.isEmpty()) {
            failed << QLatin1String(what) + QStringLiteral(": ") + problem;
        }
    } else {
        failed << QLatin1String(what) + QStringLiteral(": ") + last_message(session, before);
    }
}

// What identifies the device, as it stands now.
void reading_step(device::Session& session, const Options& options, reg::Record& r,
                  QStringList& failed) {
    tell_step(options, Step::reading, QStringLiteral("citanje"));
    read_into(
        session, "version", device::read_version,
        [&](const std::string& v) {
            r.version = device::from_device(v);
            return QString();
        },
        failed);
    read_into(
        session, "imei", device::read_imei,
        [&](const std::string& v) {
            r.imei = device::from_device(v);
            return v.empty() ? QStringLiteral("none in the reply") : QString();
        },
        failed);
    read_into(
        session, "signal", device::read_signal_level,
        [&](const device::SignalReading& v) {
            if (v.strength >= 0) {
                r.signal = v.strength;
            }
            return device::signal_usable(v.strength) ? QString() : one_line(v.label);
        },
        failed);
    read_into(
        session, "sim", device::read_sim_id,
        [&](const std::string& v) {
            const bool good = device::is_sim_number(v);
            r.sim_id = good ? device::from_device(v) : QString();
            return good ? QString() : v.empty() ? QStringLiteral("none in the reply") : one_line(v);
        },
        failed);
    if (r.imei.isEmpty()) {
        r.imei = device::from_device(device::imei_seen(session.report()));
    }
}

// The device found: the profile applied, the clock set, what identifies it
// read into `r`; each failure into `failed`.  A line lost on the way ends it.
void ready_device(device::Session& session, const Options& options, reg::Record& r,
                  QStringList& failed) {
    apply_step(session, options, r, failed);
    clock_step(session, options, failed);
    check_step(session, options, r, failed);
    reading_step(session, options, r, failed);
}

// The finished trace file `part` renamed to `base` and ".txt", a number
// added when that name is taken; the path kept, or empty text when it could
// not be renamed.
QString keep_trace(const QDir& traces, const QString& part, const QString& base) {
    QString kept = traces.filePath(base + QStringLiteral(".txt"));
    for (int n = 2; QFileInfo::exists(kept); ++n) {
        kept =
            traces.filePath(base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".txt"));
    }
    return QFile::rename(part, kept) ? QFileInfo(kept).absoluteFilePath() : QString();
}

} // namespace

void Station::record_entry(const reg::Record& r, const std::vector<device::Outcome>& writes) {
    device::Opening opening;
    opening.port = device::to_device(r.port);
    opening.device = {device::to_device(r.version), device::to_device(r.imei),
                      device::to_device(r.sim_id)};
    opening.technician = device::load_technician().value_or(device::Technician{});
    opening.kind = "commissioning";
    const reg::Intervention opened = device::opening_row(opening, r.station.toStdString());
    const std::string id = opened.id.toStdString();
    book_.record(opened);
    int seq = 0;
    for (const device::Outcome& outcome : writes) {
        for (const reg::Change& change : device::change_rows(id, seq, outcome)) {
            book_.record(change);
        }
    }
    book_.record(device::closing_row(id, {{}, r.failed.toStdString(), r.pass ? "pass" : "fail"}));
}

std::optional<reg::Record> Station::commission(link::DeviceLink& line, const QString& port,
                                               SteadyClock::time_point appeared,
                                               std::vector<device::Outcome>& writes) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir traces(options_.traces_folder);
    traces.mkpath(QStringLiteral("."));
    const QString name = QFileInfo(port).fileName();
    const QString part = traces.filePath(name + QLatin1Char('_') + stamp + QStringLiteral(".part"));

    reg::Record r;
    r.port = port;
    r.profile_file = options_.profile_file;
    r.profile_sha256 = options_.profile_sha256;
    r.apply_result = QStringLiteral("[]");
    QStringList failed;
    bool cut_short = false;
    bool vanished = false;
    {
        // Every byte of this device, and only of this one.
        link::Trace trace(device::file_path(part));
        line.set_trace(&trace);
        struct Untrace {
            link::DeviceLink& line;
            ~Untrace() { line.set_trace(nullptr); }
        } untrace{line};

        tell_step(options_, Step::finding, QStringLiteral("trazenje uredjaja: ") + port);
        const Found found = find_device(line, port, appeared);
        vanished = found.vanished;
        if (found.speed != 0) {
            r.speed = found.speed;
            r.version = found.version;
            device::Session session(line, choice(port, r.speed));
            ready_device(session, options_, r, failed);
            device::Report report = session.finish();
            cut_short = report.cancelled;
            writes = std::move(report.writes);
        } else if (!vanished) {
            failed << found.failure;
        }
        cut_short = cut_short || stopping_;
    }
    if (vanished) {
        QFile::remove(part);
        return std::nullopt;
    }
    // The trace file is complete: it takes the device's name.
    r.trace_file =
        keep_trace(traces, part, (r.imei.isEmpty() ? name : r.imei) + QLatin1Char('_') + stamp);
    r.pass = !cut_short && failed.isEmpty();
    r.failed = cut_short ? QStringLiteral("interrupted") : failed.join(QStringLiteral("; "));
    reg::stamp(r, options_.station_name);
    return r;
}

} // namespace tessal::station
