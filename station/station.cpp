// SPDX-License-Identifier: Apache-2.0
#include "station.h"

#include "device/clock.h"
#include "device/device_text.h"
#include "device/operations.h"
#include "device/sim_replies.h"
#include "link/frame.h"
#include "link/messages.h"
#include "link/qt_port_enumerator.h"
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
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace tessal::station {

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// A message as part of one line: its line ends and runs of blanks as one blank.
QString one_line(const std::string& text) {
    return device::from_device(text).simplified();
}

QString last_message(const device::Session& session, std::size_t said) {
    const std::vector<device::Message>& messages = session.report().messages;
    return messages.size() > said ? one_line(messages.back().text) : QString();
}

// What went wrong with an apply that did not complete: the refusal, the
// read that failed, the value that stopped it, and every value not read
// back as written.
QString apply_failure(const device::ApplyResult& applied, const device::Session& session,
                      std::size_t said) {
    using State = device::ValueState::State;
    if (!applied.refusal.empty()) {
        return one_line(applied.refusal);
    }
    if (applied.values.empty()) {
        const QString why = last_message(session, said);
        return QStringLiteral("profile: ") + (why.isEmpty() ? QStringLiteral("not read") : why);
    }
    QStringList parts;
    bool stopper_told = false;
    for (const device::ValueState& v : applied.values) {
        const QString field = device::from_device(v.field) + QStringLiteral(": ");
        if (v.state == State::not_written && !stopper_told) {
            stopper_told = true; // the values after it were not sent
            parts << field + (v.why.empty() ? QStringLiteral("not written") : one_line(v.why));
        } else if (v.state == State::read_back_differs) {
            parts << field + QStringLiteral("read back as ") + device::from_device(v.now);
        } else if (v.state == State::written) {
            parts << field + QStringLiteral("not read back");
        } else if (v.state == State::unknown) {
            stopper_told = true; // the line dropped: nothing after it was sent
            parts << field + QStringLiteral("unknown, read it back");
        }
    }
    return parts.join(QStringLiteral(", "));
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

std::filesystem::path file_path(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
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
    return line;
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
    return QStringLiteral(" [not recorded yet, %1 waiting: %2]").arg(kept.waiting).arg(kept.why);
}

Station::Station(reg::Register& book, Options options) : book_(book), options_(std::move(options)) {
    const QString& given = options_.ports_glob;
    if (!given.isEmpty() && !given.contains(QLatin1Char('/')) &&
        !given.contains(QLatin1Char('\\'))) {
        for (const QString& item : given.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString name = item.trimmed();
            if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))) {
                patterns_.emplace_back(QRegularExpression::wildcardToRegularExpression(name),
                                       QRegularExpression::CaseInsensitiveOption);
            } else if (!name.isEmpty()) {
                named_ << name;
            }
        }
    }
    if (options_.ports == nullptr && (given.isEmpty() || by_name())) {
        machine_ = std::make_unique<link::QtPortEnumerator>();
        options_.ports = machine_.get();
    }
}

Station::~Station() = default;

std::vector<QString> Station::present() const {
    std::vector<QString> ports;
    if (by_name()) {
        for (const link::PortInfo& port : options_.ports->ports()) {
            const QString name = QFile::decodeName(QByteArray::fromStdString(port.device));
            if (named_.contains(name, Qt::CaseInsensitive) ||
                std::any_of(
                    patterns_.begin(), patterns_.end(),
                    [&name](const QRegularExpression& p) { return p.match(name).hasMatch(); })) {
                ports.push_back(name);
            }
        }
        // A name given that the list lacks, for a port there nonetheless.
        for (const QString& name : named_) {
            const bool listed = std::any_of(ports.begin(), ports.end(), [&name](const QString& p) {
                return p.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (!listed && options_.ports->exists(QFile::encodeName(name).toStdString())) {
                ports.push_back(name);
            }
        }
        return ports;
    }
    if (!options_.ports_glob.isEmpty()) {
        const QFileInfo glob(options_.ports_glob);
        const QDir folder = glob.absoluteDir();
        // Links to device nodes and the nodes themselves, dangling links too.
        for (const QString& name :
             folder.entryList({glob.fileName()}, QDir::Files | QDir::System, QDir::Name)) {
            ports.push_back(folder.filePath(name));
        }
        return ports;
    }
    for (const link::PortInfo& port : options_.ports->ports()) {
        if (port.adapter) {
            ports.push_back(QFile::decodeName(QByteArray::fromStdString(port.device)));
        }
    }
    return ports;
}

void Station::stop() {
    stopping_ = true;
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
    if (watcher_ != nullptr) {
        QObject::connect(watcher_, &QFileSystemWatcher::directoryChanged, &loop, &QEventLoop::quit);
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
    QFileSystemWatcher watcher;
    const QString folder = options_.ports_glob.isEmpty() || by_name()
                               ? QString()
                               : QFileInfo(options_.ports_glob).absolutePath();
    {
        const std::lock_guard lock(mutex_);
        line_ = &line;
        watcher_ = folder.isEmpty() ? nullptr : &watcher;
        if (stopping_) {
            line.cancel();
        }
    }
    struct Leave {
        Station& station;
        ~Leave() {
            const std::lock_guard lock(station.mutex_);
            station.line_ = nullptr;
            station.watcher_ = nullptr;
        }
    } leave{*this};

    SteadyClock::time_point offered = SteadyClock::now(); // the waiting rows, last
    std::map<QString, SteadyClock::time_point> seen;      // listed now, since when
    std::set<QString> handled; // done, or there at the start: left alone until gone
    if (options_.ports_glob.isEmpty() || by_name()) {
        for (const QString& port : present()) {
            if (!named_.contains(port, Qt::CaseInsensitive)) {
                handled.insert(port);
            }
        }
    }
    while (!stopping_) {
        if (!folder.isEmpty() && watcher.directories().isEmpty() && QFileInfo(folder).isDir()) {
            watcher.addPath(folder); // a folder that is made late is watched once there
        }
        const std::vector<QString> listed = present();
        const auto gone = [&listed](const QString& port) {
            return std::find(listed.begin(), listed.end(), port) == listed.end();
        };
        std::erase_if(seen, [&](const auto& entry) { return gone(entry.first); });
        std::erase_if(handled, gone);
        const SteadyClock::time_point now = SteadyClock::now();
        milliseconds wait = kPoll;
        std::optional<QString> next;
        for (const QString& port : listed) {
            const SteadyClock::time_point since = seen.try_emplace(port, now).first->second;
            if (handled.count(port) > 0) {
                continue;
            }
            const auto age = std::chrono::duration_cast<milliseconds>(now - since);
            if (age >= kSettle) {
                next = port;
                break;
            }
            wait = std::min(wait, kSettle - age + milliseconds(1));
        }
        if (!next) {
            if (options_.on_step) {
                options_.on_step(0, QStringLiteral("ceka se uredjaj"));
            }
            if (now - offered >= kResend && book_.waiting() > 0) {
                offered = now;
                QString ignored;
                book_.send_waiting(ignored, false);
            }
            idle(wait);
            continue;
        }
        handled.insert(*next);
        const std::optional<reg::Record> record = commission(line, *next, seen[*next]);
        if (!record) {
            continue; // gone before it could be opened
        }
        const reg::Kept kept = book_.record(*record);
        if (options_.on_step) {
            options_.on_step(5, QStringLiteral("upisano"));
        }
        done(*record, kept);
    }
    // Rows still only in memory are offered once more; those left are named.
    QString ignored;
    if (!book_.unrecorded().empty()) {
        book_.send_waiting(ignored, true);
    }
    QStringList left;
    for (const reg::Record& r : book_.unrecorded()) {
        left << (r.imei.isEmpty() ? r.port : r.imei);
    }
    if (!left.isEmpty()) {
        return QStringLiteral("not recorded: %1: %2")
            .arg(left.join(QStringLiteral(", ")), book_.last_failure());
    }
    return {};
}

Station::Found Station::find_device(link::DeviceLink& line, const QString& port,
                                    SteadyClock::time_point appeared) {
    Found found;
    const std::vector<std::int32_t> speeds = probe_speeds(options_.settings.speed, options_.speeds);
    for (std::size_t i = 0; i < speeds.size() && !stopping_;) {
        device::Session probe(line, choice(port, speeds[i]));
        if (!probe.open()) {
            // A port that opened and then failed (its device gone at once,
            // its speed refused) is let go: left open, it would keep every
            // later device off the line.
            if (line.is_open()) {
                line.close_port();
            }
            const std::optional<link::PortFailure>& failure = line.last_port_failure();
            const std::vector<QString> listed = present();
            if (std::find(listed.begin(), listed.end(), port) == listed.end()) {
                found.vanished = true; // a passing name, or pulled out at once
                return found;
            }
            // A device node whose rights are still being set is tried again.
            const bool settling =
                failure &&
                (failure->fault.kind == link::PortFault::Kind::NoDevice ||
                 failure->fault.kind == link::PortFault::Kind::PermissionDenied) &&
                SteadyClock::now() - appeared < kOpenRetry;
            if (settling && idle(milliseconds(100))) {
                continue;
            }
            found.failure =
                QStringLiteral("port: ") + (failure ? one_line(link::port_failure_cause(*failure))
                                                    : one_line(link::kMsgPortNotOpened));
            return found;
        }
        const std::int32_t normal = line.constants().reply_timeout_ms;
        line.constants().reply_timeout_ms = options_.probe_timeout_ms;
        const std::string reply = probe.exchange("V");
        line.constants().reply_timeout_ms = normal;
        probe.finish();
        if (!link::is_status_word(reply)) {
            found.speed = speeds[i];
            found.version = device::from_device(reply);
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

// The device found: the profile applied, the clock set, what identifies it
// read into `r`; each failure into `failed`.  A line lost on the way ends it.
void ready_device(device::Session& session, const Options& options, reg::Record& r,
                  QStringList& failed) {
    const auto step = [&options](int number, const char* what) {
        if (options.on_step) {
            options.on_step(number, QString::fromLatin1(what));
        }
    };
    // The profile, every value written read back; no question.
    step(2, "profil");
    std::size_t said = session.report().messages.size();
    const device::ApplyResult applied =
        device::apply_profile(session, options.profile, options.settings, false);
    r.apply_result = QString::fromStdString(device::values_json(applied.values));
    if (!applied.complete) {
        failed << apply_failure(applied, session, said);
    }
    // The clock from the PC, its season by the PC's own rules.
    step(3, "sat");
    if (!line_lost(session)) {
        said = session.report().messages.size();
        const QDateTime now = QDateTime::currentDateTime();
        if (!device::set_clock(session, device::clock_texts(now),
                               now.isDaylightTime() ? device::kSummerOffset
                                                    : device::kWinterOffset)) {
            failed << QStringLiteral("clock: ") + last_message(session, said);
        }
    }
    // What identifies the device, as it stands now.
    step(4, "citanje");
    const auto read = [&](const char* what, auto operation, auto take) {
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
    };
    read("version", device::read_version, [&](const std::string& v) {
        r.version = device::from_device(v);
        return QString();
    });
    read("imei", device::read_imei, [&](const std::string& v) {
        r.imei = device::from_device(v);
        return v.empty() ? QStringLiteral("none in the reply") : QString();
    });
    read("signal", device::read_signal_level, [&](const device::SignalReading& v) {
        if (v.strength >= 0) {
            r.signal = v.strength;
        }
        return v.strength >= 2 && v.strength <= 31 ? QString() : one_line(v.label);
    });
    read("sim", device::read_sim_id, [&](const std::string& v) {
        const bool good = device::is_sim_number(v);
        r.sim_id = good ? device::from_device(v) : QString();
        return good ? QString() : v.empty() ? QStringLiteral("none in the reply") : one_line(v);
    });
    if (r.imei.isEmpty()) {
        r.imei = device::from_device(device::imei_seen(session.report()));
    }
}

} // namespace

std::optional<reg::Record> Station::commission(link::DeviceLink& line, const QString& port,
                                               SteadyClock::time_point appeared) {
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
        link::Trace trace(file_path(part));
        line.set_trace(&trace);
        struct Untrace {
            link::DeviceLink& line;
            ~Untrace() { line.set_trace(nullptr); }
        } untrace{line};

        if (options_.on_step) {
            options_.on_step(1, QStringLiteral("trazenje uredjaja: ") + port);
        }
        const Found found = find_device(line, port, appeared);
        vanished = found.vanished;
        if (found.speed != 0) {
            r.speed = found.speed;
            r.version = found.version;
            device::Session session(line, choice(port, r.speed));
            ready_device(session, options_, r, failed);
            cut_short = session.finish().cancelled;
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
    const QString base = (r.imei.isEmpty() ? name : r.imei) + QLatin1Char('_') + stamp;
    QString kept = traces.filePath(base + QStringLiteral(".txt"));
    for (int n = 2; QFileInfo::exists(kept); ++n) {
        kept =
            traces.filePath(base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".txt"));
    }
    if (QFile::rename(part, kept)) {
        r.trace_file = QFileInfo(kept).absoluteFilePath();
    }
    if (cut_short) {
        failed = QStringList{QStringLiteral("interrupted")};
    }
    r.pass = failed.isEmpty();
    r.failed = failed.join(QStringLiteral("; "));
    reg::stamp(r, options_.station_name);
    return r;
}

} // namespace tessal::station
