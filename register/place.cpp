// SPDX-License-Identifier: Apache-2.0
// Where the register is: the place configured for the machine, a server's
// URL taken apart, and a row's own fields (its id, station, user and time).
#include "db.h"

#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrlQuery>
#include <QUuid>

namespace tessal::reg {

QString local_time_text(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString utc_text(const QDateTime& when) {
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString os_user() {
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return user.isEmpty() ? QStringLiteral("") : user;
}

void stamp(Record& r, const QString& station) {
    const QDateTime now = QDateTime::currentDateTime();
    r.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.station = station.isEmpty() ? QSysInfo::machineHostName() : station;
    r.user = os_user();
    r.time = local_time_text(now);
    r.utc = utc_text(now);
}

bool is_server_url(const QString& location) {
    return location.startsWith(QLatin1String("postgresql://")) ||
           location.startsWith(QLatin1String("postgres://"));
}

void load_drivers(const Place& place) {
    QStringList drivers{QStringLiteral("QSQLITE")};
    if (is_server_url(place.location)) {
        drivers << QStringLiteral("QPSQL");
    }
    const QString connection = QStringLiteral("tessal-load-drivers");
    for (const QString& driver : drivers) {
        QSqlDatabase::addDatabase(driver, connection);
        QSqlDatabase::removeDatabase(connection);
    }
}

Place configured() {
    QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessal"),
                   QStringLiteral("register"));
    Place place;
    place.location = file.value(QStringLiteral("location")).toString();
    place.password_file = file.value(QStringLiteral("password_file")).toString();
    place.local = file.value(QStringLiteral("local")).toString();
    place.station = file.value(QStringLiteral("station")).toString();
    if (place.location.isEmpty()) {
        place.location = Register::default_path();
    }
    return place;
}
QString Register::default_path() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/register.sqlite");
}

bool server_of(const QString& location, Register::Db& db, QString& error) {
    const QUrl url(location, QUrl::StrictMode);
    if (!url.isValid() || url.path().size() < 2) {
        error = QStringLiteral("the register's URL is not understood (postgresql://USER@HOST:PORT/"
                               "DATABASE): %1")
                    .arg(url.isValid() ? url.toString(QUrl::RemovePassword) : QString());
        return false;
    }
    if (!url.password().isEmpty() || location.section(QLatin1Char('@'), 0, 0).count(':') > 1) {
        error = QStringLiteral(
            "the register's URL must not hold a password; put it in the password file "
            "(PGPASSFILE, ~/.pgpass, %APPDATA%\\postgresql\\pgpass.conf) or give --password-file");
        return false;
    }
    static const QStringList allowed{QStringLiteral("sslmode"),
                                     QStringLiteral("sslrootcert"),
                                     QStringLiteral("sslcert"),
                                     QStringLiteral("sslkey"),
                                     QStringLiteral("sslcrl"),
                                     QStringLiteral("application_name"),
                                     QStringLiteral("target_session_attrs")};
    for (const auto& [key, value] : QUrlQuery(url).queryItems()) {
        if (!allowed.contains(key)) {
            error =
                QStringLiteral("the register's URL has a parameter that is not used: %1").arg(key);
            return false;
        }
    }
    db.kind = Kind::postgresql;
    db.url = url;
    db.shown = url.toString(QUrl::RemovePassword);
    db.user = url_user(url);
    db.key = register_key(location);
    return true;
}

} // namespace tessal::reg
