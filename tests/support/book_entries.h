// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "register/register.h"

#include <QUuid>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace tessal::testing {

// One value of an entry: field, before ("?": not read), wanted, state, now.
using Written = std::array<const char*, 5>;

// An entry of a device's service book as a test writes it.
struct BookEntry {
    QString id; // the last two digits of its UUID
    QString imei;
    QString day; // of December 2026: opened at 10:00, ended at 11:00, Belgrade time
    QString technician;
    QString seals; // removed;applied
    std::vector<Written> changes;
    const char* verdict = nullptr; // nullptr: not ended
    QString sim = "89381030000123456784";
    QString kind = "repair";
    QString authorization = {}, company = {}, version = {}, note = {};
};

inline QString entry_uuid(const QString& id) {
    return "00000000-0000-4000-8000-0000000000" + id;
}

// The entry's rows in the order they are written: opened, its changes, its end.
inline std::vector<reg::Row> rows_of(const BookEntry& e) {
    reg::Intervention opened;
    opened.id = entry_uuid(e.id);
    opened.time = "2026-12-" + e.day + "T10:00:00+01:00";
    opened.imei = e.imei;
    opened.sim_id = e.sim;
    opened.technician = e.technician;
    opened.authorization = e.authorization;
    opened.company = e.company;
    opened.version = e.version;
    opened.kind = e.kind;
    opened.seals_removed = e.seals.section(';', 0, 0);
    std::vector<reg::Row> rows{opened};
    int seq = 0;
    for (const auto& [field, before, wanted, state, now] : e.changes) {
        reg::Change c;
        c.intervention = opened.id;
        c.seq = ++seq;
        c.time = opened.time;
        c.field = field;
        c.before = QString(before) == "?" ? std::nullopt : std::optional<QString>(before);
        c.wanted = QString::fromUtf8(wanted);
        c.state = state;
        c.now = QString::fromUtf8(now);
        rows.push_back(c);
    }
    if (e.verdict != nullptr) {
        reg::InterventionEnd end;
        end.intervention = opened.id;
        end.time = "2026-12-" + e.day + "T11:00:00+01:00";
        end.seals_applied = e.seals.section(';', 1);
        end.verdict = e.verdict;
        end.note = e.note;
        rows.push_back(end);
    }
    return rows;
}

// Writes the entries as the program does, each row in its writer's chain;
// or, not `chained`, past the program as rows added by hand.
inline void write_book(reg::Register& book, const std::vector<BookEntry>& entries,
                       bool chained = true) {
    for (const BookEntry& e : entries) {
        for (reg::Row row : rows_of(e)) {
            QString error;
            if (chained) {
                ASSERT_EQ(book.record(row).where, reg::Kept::Where::recorded)
                    << book.last_failure().toStdString();
                continue;
            }
            std::visit(
                [](auto& r) {
                    r.id =
                        r.id.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : r.id;
                },
                row);
            ASSERT_TRUE(book.add(row, error)) << error.toStdString();
        }
    }
}

} // namespace tessal::testing
