// SPDX-License-Identifier: Apache-2.0
// Rows a register cannot take yet: kept in the local register, marked as
// waiting for it, and sent, oldest first and exactly once, when it answers.
#include "columns.h"
#include "db.h"
#include "writer.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cstring>

namespace tessal::reg {

using std::chrono::seconds;
using SteadyClock = std::chrono::steady_clock;

QString Register::local_path(const Place& place) const {
    QString local = place.local.isEmpty() ? default_path() : place.local;
    if (!on_server() &&
        QFileInfo(local).absoluteFilePath() == QFileInfo(path()).absoluteFilePath()) {
        local = QFileInfo(local).absoluteDir().filePath(QStringLiteral("waiting.sqlite"));
    }
    return local;
}

bool Register::open_local(const Place& place, QString& error) {
    const QString local = local_path(place);
    local_ = std::make_unique<Register>();
    if (!local_->open(local, error)) {
        local_.reset();
        return false;
    }
    return true;
}

int Register::waiting(const char* table) const {
    const auto count_in_memory = std::count_if(held_.begin(), held_.end(), [table](const Row& r) {
        return table == nullptr || std::strcmp(table_name(r), table) == 0;
    });
    int count = static_cast<int>(count_in_memory);
    if (!local_ || !local_->db_->database().isOpen()) {
        return count;
    }
    for (const auto& [name, rows] : local_->db_->waiting_counts(table)) {
        if (register_key(name) == db_->key) {
            count += rows;
        }
    }
    return count;
}

std::vector<Elsewhere> Register::waiting_elsewhere() const {
    std::vector<Elsewhere> others;
    if (!local_ || !local_->db_->database().isOpen()) {
        return others;
    }
    for (const auto& [name, rows] : local_->db_->waiting_counts()) {
        const QString key = register_key(name);
        if (key == db_->key) {
            continue;
        }
        const auto same = std::find_if(others.begin(), others.end(),
                                       [&key](const Elsewhere& e) { return e.target == key; });
        if (same != others.end()) {
            same->rows += rows;
        } else {
            others.push_back({key, rows, local_->path()});
        }
    }
    return others;
}

std::optional<int> Register::send_waiting(QString& error, bool now) {
    if (!now && SteadyClock::now() < next_try_) {
        error = last_failure_;
        return std::nullopt;
    }
    int sent = 0;
    // Rows only in memory first: they are the oldest.
    while (!held_.empty()) {
        if (!add(held_.front(), error)) {
            back_off(error);
            return std::nullopt;
        }
        held_.erase(held_.begin());
        ++sent;
    }
    if (local_ && !send_locally_waiting(error, sent)) {
        back_off(error);
        return std::nullopt;
    }
    next_try_ = {};
    last_failure_.clear();
    return sent;
}

bool Register::send_locally_waiting(QString& error, int& sent) {
    for (;;) {
        const std::optional<std::vector<Row>> rows =
            local_->db_->waiting_rows(local_->db_->waiting_names(db_->key), error);
        if (!rows) {
            return false;
        }
        if (rows->empty()) {
            return true;
        }
        if (!db_->database().isOpen() && db_->kind == Kind::postgresql &&
            !db_->reopen_server(error)) {
            return false;
        }
        // The marks that they went; were these lost, the rows would be sent
        // again and not taken twice.
        if (!db_->add_rows(*rows, error) || !local_->db_->mark_sent(*rows, error)) {
            return false;
        }
        sent += static_cast<int>(rows->size());
    }
}

bool Register::keep_locally(const Row& r, QString& error) {
    return local_->db_->write(
        [&](QSqlQuery& q, QSqlError& e) { return local_->db_->insert(q, {r}, e, db_->key); },
        error);
}

void Register::back_off(const QString& error) {
    last_failure_ = error;
    // A server that refuses the station's user or its connection is asked
    // again after a minute, not in a tight loop; one out of reach, or a
    // busy file, after a few seconds.
    next_try_ = SteadyClock::now() + (db_->trouble == Trouble::refused ? seconds(60) : seconds(5));
}

void Register::cut_off() {
    db_->cut.cut_off();
}

Writer* Register::writer(QString& error) {
    if (!writer_ && place_) {
        writer_ = Writer::of_user(place_->station, error);
    }
    return writer_.get();
}

std::optional<Kept> Register::checkpoint() {
    QString error;
    Writer* w = place_ && place_->chained ? writer(error) : nullptr;
    const std::optional<Checkpoint> signed_head = w ? w->sign_head(db_->key, error) : std::nullopt;
    if (!signed_head) {
        return std::nullopt;
    }
    return record(*signed_head);
}

Kept Register::record(const Row& row) {
    // The row's id is made once, here: the same row may be kept locally
    // and sent later, and is never taken twice.
    Row r = row;
    std::visit(
        [](auto& each) {
            if (each.id.isEmpty()) {
                each.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            }
        },
        r);
    Kept kept;
    QString error;
    QString local_error;
    // Its place in the writer's chain is given before it goes anywhere: a
    // row that waits keeps it.  A writer without a key leaves it in no
    // chain, and verify says so; the row itself is never held back for it.
    if (place_ && place_->chained && !std::holds_alternative<Checkpoint>(r)) {
        if (Writer* w = writer(error); w == nullptr || !w->link(r, db_->key, error)) {
            last_failure_ = error;
        }
        error.clear();
    }
    // A server's row is kept locally before the server is asked: whatever
    // becomes of the exchange, or of the program during it, the row stays.
    if (on_server() && local_ && keep_locally(r, local_error)) {
        // Sent with every row waiting before it (another station of this
        // machine may have sent it meanwhile: it is not taken twice).
        if (send_waiting(error, false)) {
            return kept;
        }
        kept.why = error;
        kept.where = Kept::Where::waiting;
        kept.waiting = waiting(table_name(r));
        return kept;
    }
    const bool reachable = send_waiting(error, false).has_value();
    if (reachable) {
        if (add(r, error)) {
            return kept;
        }
        back_off(error);
    }
    kept.why = error;
    if (!local_ && place_) {
        open_local(*place_, local_error);
    }
    if (local_ && keep_locally(r, local_error)) {
        kept.where = Kept::Where::waiting;
    } else {
        held_.push_back(r);
        kept.where = Kept::Where::unrecorded;
        if (!local_error.isEmpty()) {
            kept.why += QStringLiteral("; ") + local_error;
        }
    }
    kept.waiting = waiting(table_name(r));
    return kept;
}

} // namespace tessal::reg
