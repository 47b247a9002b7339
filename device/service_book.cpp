// SPDX-License-Identifier: Apache-2.0
#include "service_book.h"

#include "device/device_text.h"

#include <QDateTime>
#include <QSettings>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>

namespace tessal::device {

namespace {

constexpr BookWord kWorkKinds[] = {
    {"commissioning", "Pustanje u rad"},
    {"inspection", "Tehnicki pregled"},
    {"repair", "Popravka"},
    {"reconfiguration", "Promena podesavanja"},
    {"reset", "Resetovanje"},
    {"decommissioning", "Povlacenje iz upotrebe"},
};

constexpr BookWord kVerdicts[] = {
    {"pass", "Ispravan"},
    {"fail", "Neispravan"},
};

// The register's word for each write.
constexpr std::pair<Outcome::Write, const char*> kWriteNames[] = {
    {Outcome::Write::ftp, "ftp"},           {Outcome::Write::jad, "jad"},
    {Outcome::Write::clock, "clock"},       {Outcome::Write::sim_id, "sim_id"},
    {Outcome::Write::password, "password"}, {Outcome::Write::pin, "pin"},
    {Outcome::Write::restart, "restart"},   {Outcome::Write::reset, "reset"},
    {Outcome::Write::profile, "profile"},
};

const char* write_name(Outcome::Write write) {
    for (const auto& [w, name] : kWriteNames) {
        if (w == write) {
            return name;
        }
    }
    return "";
}

QString text(const std::string& device_text) {
    return from_device(device_text);
}

// The time now as a row keeps it: local with its offset, and UTC.
std::pair<QString, QString> now() {
    const QDateTime when = QDateTime::currentDateTime();
    return {reg::local_time_text(when), reg::utc_text(when)};
}

QString fresh_id() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QSettings technician_file() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessal"),
                     QStringLiteral("technician"));
}

// Members of an open entry kept between runs, each with its text.
struct KeptMember {
    const char* key;
    std::string Opening::*text;
};
constexpr KeptMember kOpeningMembers[] = {
    {"port", &Opening::port},
    {"kind", &Opening::kind},
    {"seals_removed", &Opening::seals_removed},
};
constexpr std::pair<const char*, std::string Identity::*> kIdentityMembers[] = {
    {"version", &Identity::version},
    {"imei", &Identity::imei},
    {"sim_id", &Identity::sim_id},
};
constexpr std::pair<const char*, std::string Technician::*> kTechnicianMembers[] = {
    {"technician", &Technician::name},
    {"authorization", &Technician::authorization},
    {"company", &Technician::company},
};

} // namespace

std::span<const BookWord> work_kinds() {
    return kWorkKinds;
}

std::span<const BookWord> verdicts() {
    return kVerdicts;
}

const BookWord* book_word(std::span<const BookWord> table, std::string_view code) {
    const auto found = std::find_if(table.begin(), table.end(),
                                    [code](const BookWord& w) { return code == w.code; });
    return found == table.end() ? nullptr : &*found;
}

std::optional<Technician> load_technician() {
    QSettings file = technician_file();
    if (!file.contains(QStringLiteral("name"))) {
        return std::nullopt;
    }
    Technician t;
    t.name = file.value(QStringLiteral("name")).toString().toStdString();
    t.authorization = file.value(QStringLiteral("authorization")).toString().toStdString();
    t.company = file.value(QStringLiteral("company")).toString().toStdString();
    return t;
}

bool save_technician(const Technician& t) {
    QSettings file = technician_file();
    file.setValue(QStringLiteral("name"), QString::fromStdString(t.name));
    file.setValue(QStringLiteral("authorization"), QString::fromStdString(t.authorization));
    file.setValue(QStringLiteral("company"), QString::fromStdString(t.company));
    file.sync();
    return file.status() == QSettings::NoError;
}

ServiceBook::ServiceBook(reg::Place place, std::string station, std::filesystem::path kept)
    : place_(std::move(place)), station_(std::move(station)), kept_(std::move(kept)) {
    if (station_.empty()) {
        station_ = QSysInfo::machineHostName().toStdString();
    }
    if (!kept_.empty()) {
        QSettings file(QString::fromStdU16String(kept_.u16string()), QSettings::IniFormat);
        const int count = file.beginReadArray(QStringLiteral("entries"));
        for (int i = 0; i < count; ++i) {
            file.setArrayIndex(i);
            OpenEntry e;
            e.id = file.value(QStringLiteral("id")).toString().toStdString();
            e.changes = file.value(QStringLiteral("changes")).toInt();
            for (const KeptMember& m : kOpeningMembers) {
                e.opening.*m.text = file.value(QLatin1String(m.key)).toString().toStdString();
            }
            for (const auto& [key, member] : kIdentityMembers) {
                e.opening.device.*member = file.value(QLatin1String(key)).toString().toStdString();
            }
            for (const auto& [key, member] : kTechnicianMembers) {
                e.opening.technician.*member =
                    file.value(QLatin1String(key)).toString().toStdString();
            }
            open_[e.opening.port] = e;
        }
        file.endArray();
    }
    // The drivers are loaded here, before the book's thread exists: loaded
    // from a thread, Wine's loader can fault.
    reg::load_drivers(place_);
    thread_ = std::thread([this] { run(); });
}

ServiceBook::~ServiceBook() {
    std::unique_lock lock(mutex_);
    ending_ = true;
    wake_.notify_all();
    // A moment for the register; then what is left is kept locally.
    if (!handed_.wait_for(lock, std::chrono::seconds(2), [this] { return queue_.empty(); }) &&
        register_ != nullptr) {
        register_->cut_off();
    }
    lock.unlock();
    thread_.join();
}

void ServiceBook::keep_open_entries() const {
    if (kept_.empty()) {
        return;
    }
    QSettings file(QString::fromStdU16String(kept_.u16string()), QSettings::IniFormat);
    file.clear();
    file.beginWriteArray(QStringLiteral("entries"), static_cast<int>(open_.size()));
    int i = 0;
    for (const auto& [port, e] : open_) {
        file.setArrayIndex(i++);
        file.setValue(QStringLiteral("id"), QString::fromStdString(e.id));
        file.setValue(QStringLiteral("changes"), e.changes);
        for (const KeptMember& m : kOpeningMembers) {
            file.setValue(QLatin1String(m.key), QString::fromStdString(e.opening.*m.text));
        }
        for (const auto& [key, member] : kIdentityMembers) {
            file.setValue(QLatin1String(key), QString::fromStdString(e.opening.device.*member));
        }
        for (const auto& [key, member] : kTechnicianMembers) {
            file.setValue(QLatin1String(key), QString::fromStdString(e.opening.technician.*member));
        }
    }
    file.endArray();
    file.sync();
}

reg::Intervention opening_row(const Opening& opening, const std::string& station) {
    reg::Intervention row;
    row.id = fresh_id();
    std::tie(row.time, row.utc) = now();
    row.imei = text(opening.device.imei);
    row.version = text(opening.device.version);
    row.sim_id = text(opening.device.sim_id);
    row.port = text(opening.port);
    row.technician = QString::fromStdString(opening.technician.name);
    row.authorization = QString::fromStdString(opening.technician.authorization);
    row.company = QString::fromStdString(opening.technician.company);
    row.station = QString::fromStdString(station);
    row.user = reg::os_user();
    row.kind = QString::fromStdString(opening.kind);
    row.seals_removed = QString::fromStdString(opening.seals_removed);
    return row;
}

namespace {

// The values of a write that are changes: those it sent or tried to, unless
// nothing went out because it was not wanted or was refused before sending.
std::vector<ValueState> changed_values(const Outcome& outcome) {
    const Outcome::Ending ending = outcome.ending();
    if (ending == Outcome::Ending::held_back || ending == Outcome::Ending::refused) {
        return {};
    }
    return outcome.attempted();
}

} // namespace

std::vector<reg::Change> change_rows(const std::string& entry, int& seq, const Outcome& outcome) {
    std::vector<reg::Change> rows;
    const auto [time, utc] = now();
    for (const ValueState& v : changed_values(outcome)) {
        reg::Change c;
        c.id = fresh_id();
        c.intervention = QString::fromStdString(entry);
        c.seq = ++seq;
        c.time = time;
        c.utc = utc;
        c.write = QLatin1String(write_name(outcome.write));
        c.field = text(v.field);
        c.before = v.before ? std::optional(text(*v.before)) : std::nullopt;
        c.wanted = text(v.wanted);
        c.now = text(v.now);
        c.state = QLatin1String(state_name(v.state));
        c.why = text(v.why);
        rows.push_back(std::move(c));
    }
    return rows;
}

reg::InterventionEnd closing_row(const std::string& entry, const Closing& closing) {
    reg::InterventionEnd end;
    end.id = fresh_id();
    end.intervention = QString::fromStdString(entry);
    std::tie(end.time, end.utc) = now();
    end.seals_applied = QString::fromStdString(closing.seals_applied);
    end.note = QString::fromStdString(closing.note);
    end.verdict = QString::fromStdString(closing.verdict);
    return end;
}

std::string ServiceBook::open(const Opening& opening) {
    reg::Intervention row = opening_row(opening, station_);
    std::lock_guard lock(mutex_);
    open_[opening.port] = OpenEntry{row.id.toStdString(), opening, 0};
    keep_open_entries();
    give(std::move(row));
    return open_[opening.port].id;
}

std::optional<OpenEntry> ServiceBook::open_on(const std::string& port) const {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(port);
    return found == open_.end() ? std::nullopt : std::optional(found->second);
}

void ServiceBook::saw(const std::string& port, const Identity& identity) {
    std::lock_guard lock(mutex_);
    Identity& seen = seen_[port];
    for (const auto& [key, member] : kIdentityMembers) {
        if (!(identity.*member).empty()) {
            seen.*member = identity.*member;
        }
    }
}

void ServiceBook::heard(const Report& report) {
    if (report.device.empty()) {
        return; // the port never opened: nothing was read or sent
    }
    saw(report.device, identity_seen(report));
    for (const Outcome& outcome : report.writes) {
        record(report.device, outcome);
    }
}

Identity ServiceBook::seen_on(const std::string& port) const {
    const auto found = seen_.find(port);
    return found == seen_.end() ? Identity{} : found->second;
}

void ServiceBook::record(const std::string& port, const Outcome& outcome) {
    if (changed_values(outcome).empty()) {
        return; // nothing sent: no change, no entry
    }
    const bool own = !open_on(port);
    if (own) {
        Opening opening;
        opening.port = port;
        {
            std::lock_guard lock(mutex_);
            opening.device = seen_on(port);
            opening.technician = technician_.value_or(Technician{});
        }
        if (!opening.technician.named()) {
            opening.technician = load_technician().value_or(Technician{});
        }
        opening.kind = outcome.write == Outcome::Write::reset ? "reset" : "reconfiguration";
        open(opening);
    }
    {
        std::lock_guard lock(mutex_);
        OpenEntry& entry = open_[port];
        for (reg::Change& change : change_rows(entry.id, entry.changes, outcome)) {
            give(std::move(change));
        }
        keep_open_entries();
    }
    if (own) {
        close(port, Closing{});
    }
}

bool ServiceBook::close(const std::string& port, const Closing& closing) {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(port);
    if (found == open_.end()) {
        return false;
    }
    reg::InterventionEnd end = closing_row(found->second.id, closing);
    open_.erase(found);
    keep_open_entries();
    give(std::move(end));
    return true;
}

void ServiceBook::set_technician(std::optional<Technician> technician) {
    std::lock_guard lock(mutex_);
    technician_ = std::move(technician);
}

void ServiceBook::give(reg::Row row) {
    queue_.push_back(std::move(row));
    ++state_.given;
    wake_.notify_all();
}

BookState ServiceBook::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

BookState ServiceBook::settle(std::chrono::milliseconds within) {
    std::unique_lock lock(mutex_);
    handed_.wait_for(lock, within, [this] { return state_.handed == state_.given; });
    return state_;
}

void ServiceBook::run() {
    reg::Register book;
    QString error;
    bool opened = book.open(place_, error);
    std::unique_lock lock(mutex_);
    register_ = &book;
    state_.why = error.toStdString();
    for (;;) {
        wake_.wait_for(lock, std::chrono::seconds(5),
                       [this] { return !queue_.empty() || ending_; });
        if (queue_.empty()) {
            if (ending_) {
                break;
            }
            // Nothing new: rows that wait are offered again, after the
            // register's own back-off.
            lock.unlock();
            if (opened && book.waiting() > 0) {
                book.send_waiting(error, false);
            }
            lock.lock();
            continue;
        }
        reg::Row row = queue_.front();
        lock.unlock();
        if (!opened) {
            opened = book.open(place_, error);
        }
        const reg::Kept kept = book.record(row);
        std::optional<int> entry;
        const auto* end = std::get_if<reg::InterventionEnd>(&row);
        if (end && kept.where == reg::Kept::Where::recorded) {
            entry = book.entry_of(end->intervention, error);
        }
        // An entry ended: the writer signs its head, so that no row up to
        // it can go unseen.
        if (end) {
            book.checkpoint();
        }
        // Every row waiting, whatever its table (the row's own count is of
        // its table alone).
        const int waiting = book.waiting();
        lock.lock();
        queue_.pop_front();
        ++state_.handed;
        state_.waiting = waiting;
        state_.unrecorded = static_cast<int>(book.unrecorded().size());
        state_.why = kept.why.toStdString();
        if (end) {
            state_.ended = end->intervention.toStdString();
            state_.entry = entry;
        }
        handed_.notify_all();
    }
    register_ = nullptr;
}

} // namespace tessal::device
