// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

#include <optional>
#include <variant>
#include <vector>

// The devices' service book, kept in the register beside the commissioning
// rows.  An entry is what one technician did on one device in one sitting:
// the row that opens it (the device, who, when, what kind of work, the seals
// removed), a row for every value a write changed, when it was changed, and
// the row that ends it (the seals applied, a note, the verdict).  Each is
// added when it happens and none is ever changed, so an entry whose end
// never came (a program killed in the middle) keeps every change made.
namespace tessal::reg {

// A row's place in its writer's chain: every row the program adds carries
// its writer (one user of one PC, or a station), the writer's count of its
// rows (1, 2, 3, ... with no gap) and the SHA-256 of the row's content
// together with the hash of the writer's row before it.  A row changed,
// removed, moved or made up afterwards no longer fits its chain.
struct Link {
    QString writer; // empty: a row that is in no chain
    int seq = 0;
    QString prev; // lower-case hex; 64 zeros before the writer's first row
    QString hash;

    bool operator==(const Link&) const = default;
};

// A writer's head, signed with the writer's key: its row `seq` has the hash
// `hash`.  Whoever holds the writer's public key can tell that every row up
// to it is there as it was written, however the register was treated.
struct Checkpoint {
    QString id;
    QString writer;
    int seq = 0;
    QString hash;
    QString time; // when it was signed, local time with its offset
    QString utc;
    QString signature; // Ed25519, base64

    bool operator==(const Checkpoint&) const = default;
};

struct Intervention {
    QString id;   // a UUID, made by whoever opens the entry
    QString time; // its start, local time with its offset
    QString utc;  // the same instant in UTC with milliseconds
    // The device as read at the start; all empty: "not identified".
    QString imei;
    QString version;
    QString sim_id;
    QString port;
    QString technician; // "" for a write whose technician was not named
    QString authorization;
    QString company;
    QString station; // the PC or the station's name
    QString user;    // the operating-system user
    // "commissioning", "inspection", "repair", "reconfiguration", "reset",
    // "decommissioning".
    QString kind;
    QString seals_removed;
    // The entry's number in the device's book, 1, 2, 3, ... with no gap,
    // given by the register that keeps the book as the row reaches it;
    // nothing before then, and for a device not identified.
    std::optional<int> entry;
    Link link;

    bool operator==(const Intervention&) const = default;
};

// One value of a write, as the device layer's outcome of it tells.
struct Change {
    QString id;
    QString intervention; // the entry's id
    int seq = 0;          // its place in the entry, from 1
    QString time;
    QString utc;
    QString write; // "ftp", "jad", "clock", "sim_id", "password", "pin", ...
    QString field; // "ftp.user", "clock", "device.reset", ...
    // What the device held before, as the program read it; nothing when it
    // read nothing.  A secret's value is never kept, only that it changed.
    std::optional<QString> before;
    QString wanted;
    QString now;
    QString state; // "confirmed", "written", "not_written", ...
    QString why;
    Link link;

    bool operator==(const Change&) const = default;
};

struct InterventionEnd {
    QString id;
    QString intervention;
    QString time;
    QString utc;
    QString seals_applied;
    QString note;
    QString verdict; // "pass", "fail", or "" when none was given
    Link link;

    bool operator==(const InterventionEnd&) const = default;
};

// A device's entry as read back.
struct Entry {
    Intervention opened;
    std::vector<Change> changes;
    std::optional<InterventionEnd> ended;
    // The first checkpoint of its writer that signs its last row, once
    // there is one (read by Register::book() and signed_entry()).
    std::optional<Checkpoint> signed_by;

    // The link of its last row.
    const Link& last_link() const {
        return ended ? ended->link : !changes.empty() ? changes.back().link : opened.link;
    }
};

} // namespace tessal::reg
