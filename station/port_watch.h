// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "link/port_map.h"

#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tessal::station {

// The ports the station watches: which are there now, which appeared and
// have stayed long enough to be opened, and which were done and are left
// alone until they go.  Made and used on the station's own thread.
class PortWatch {
  public:
    using Clock = std::chrono::steady_clock;

    // `glob`: as Options::ports_glob says; `ports`: the machine's ports, or
    // nothing for Qt's enumeration.
    PortWatch(const QString& glob, const link::PortEnumerator* ports);
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The ports there now, in the order they are taken.
    std::vector<QString> present() const;
    bool listed(const QString& port) const;
    // The ports there before the first look are left alone until they go,
    // unless named exactly (a glob of paths leaves none alone).
    void leave_present_alone();
    // One look at the ports: the next to be opened, now taken as done; or
    // nothing, with `wait` cut to when a port listed now will have settled.
    std::optional<QString> next(std::chrono::milliseconds settle, std::chrono::milliseconds& wait);
    // When the port was first seen in the list it is still in.
    Clock::time_point appeared(const QString& port) const;
    // The watcher of the ports' folder, when the glob names one; it tells
    // when the folder changes.
    QFileSystemWatcher* folder_watcher() { return folder_.isEmpty() ? nullptr : &watcher_; }

  private:
    bool by_name() const { return !named_.isEmpty() || !patterns_.empty(); }
    bool named(const QString& name) const;
    std::vector<QString> named_present() const;
    std::vector<QString> glob_present() const;

    QString glob_;
    // The ports given by name: exact names, and patterns.
    QStringList named_;
    std::vector<QRegularExpression> patterns_;
    std::unique_ptr<link::PortEnumerator> machine_;
    const link::PortEnumerator* ports_ = nullptr;
    QString folder_; // of a glob of paths
    QFileSystemWatcher watcher_;
    std::map<QString, Clock::time_point> seen_; // listed now, since when
    std::set<QString> handled_; // done, or there at the start: left alone until gone
};

} // namespace tessal::station
