// SPDX-License-Identifier: Apache-2.0
#include "port_watch.h"

#include "link/qt_port_enumerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tessal::station {

namespace {

QString port_name(const link::PortInfo& port) {
    return QFile::decodeName(QByteArray::fromStdString(port.device));
}

} // namespace

PortWatch::PortWatch(const QString& glob, const link::PortEnumerator* ports)
    : glob_(glob), ports_(ports) {
    if (!glob.isEmpty() && !glob.contains(QLatin1Char('/')) && !glob.contains(QLatin1Char('\\'))) {
        for (const QString& item : glob.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString name = item.trimmed();
            if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))) {
                patterns_.emplace_back(QRegularExpression::wildcardToRegularExpression(name),
                                       QRegularExpression::CaseInsensitiveOption);
            } else if (!name.isEmpty()) {
                named_ << name;
            }
        }
    }
    if (ports_ == nullptr && (glob.isEmpty() || by_name())) {
        machine_ = std::make_unique<link::QtPortEnumerator>();
        ports_ = machine_.get();
    }
    if (!glob.isEmpty() && !by_name()) {
        folder_ = QFileInfo(glob).absolutePath();
    }
}

bool PortWatch::named(const QString& name) const {
    return named_.contains(name, Qt::CaseInsensitive) ||
           std::any_of(patterns_.begin(), patterns_.end(),
                       [&name](const QRegularExpression& p) { return p.match(name).hasMatch(); });
}

std::vector<QString> PortWatch::named_present() const {
    std::vector<QString> ports;
    for (const link::PortInfo& port : ports_->ports()) {
        if (const QString name = port_name(port); named(name)) {
            ports.push_back(name);
        }
    }
    // A name given that the list lacks, for a port there nonetheless.
    for (const QString& name : named_) {
        const bool listed = std::any_of(ports.begin(), ports.end(), [&name](const QString& p) {
            return p.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!listed && ports_->exists(QFile::encodeName(name).toStdString())) {
            ports.push_back(name);
        }
    }
    return ports;
}

std::vector<QString> PortWatch::glob_present() const {
    std::vector<QString> ports;
    const QFileInfo glob(glob_);
    const QDir folder = glob.absoluteDir();
    // Links to device nodes and the nodes themselves, dangling links too.
    for (const QString& name :
         folder.entryList({glob.fileName()}, QDir::Files | QDir::System, QDir::Name)) {
        ports.push_back(folder.filePath(name));
    }
    return ports;
}

std::vector<QString> PortWatch::present() const {
    if (by_name()) {
        return named_present();
    }
    if (!glob_.isEmpty()) {
        return glob_present();
    }
    std::vector<QString> ports;
    for (const link::PortInfo& port : ports_->ports()) {
        if (port.adapter) {
            ports.push_back(port_name(port));
        }
    }
    return ports;
}

bool PortWatch::listed(const QString& port) const {
    const std::vector<QString> ports = present();
    return std::find(ports.begin(), ports.end(), port) != ports.end();
}

void PortWatch::leave_present_alone() {
    if (!folder_.isEmpty()) {
        return;
    }
    for (const QString& port : present()) {
        if (!named_.contains(port, Qt::CaseInsensitive)) {
            handled_.insert(port);
        }
    }
}

std::optional<QString> PortWatch::next(std::chrono::milliseconds settle,
                                       std::chrono::milliseconds& wait) {
    using std::chrono::milliseconds;
    if (!folder_.isEmpty() && watcher_.directories().isEmpty() && QFileInfo(folder_).isDir()) {
        watcher_.addPath(folder_); // a folder that is made late is watched once there
    }
    const std::vector<QString> ports = present();
    const auto gone = [&ports](const QString& port) {
        return std::find(ports.begin(), ports.end(), port) == ports.end();
    };
    std::erase_if(seen_, [&](const auto& entry) { return gone(entry.first); });
    std::erase_if(handled_, gone);
    const Clock::time_point now = Clock::now();
    for (const QString& port : ports) {
        const Clock::time_point since = seen_.try_emplace(port, now).first->second;
        if (handled_.count(port) > 0) {
            continue;
        }
        const auto age = std::chrono::duration_cast<milliseconds>(now - since);
        if (age >= settle) {
            handled_.insert(port);
            return port;
        }
        wait = std::min(wait, settle - age + milliseconds(1));
    }
    return std::nullopt;
}

PortWatch::Clock::time_point PortWatch::appeared(const QString& port) const {
    const auto found = seen_.find(port);
    return found != seen_.end() ? found->second : Clock::now();
}

} // namespace tessal::station
