// SPDX-License-Identifier: Apache-2.0
// The rows read back: in time order, as CSV for a spreadsheet and as JSON.
#include "columns.h"
#include "db.h"

#include "settings/text_file.h"

#include <QJsonObject>

#include <filesystem>
#include <string_view>

namespace tessal::reg {

std::optional<std::vector<Record>> Register::list(const QDate& since, QString& error) const {
    std::vector<Record> records;
    if (db_->version == 0) {
        return records; // an empty file: no table yet
    }
    QSqlQuery q(db_->database());
    // A register of version 1 read as it is: its rows have no id, station,
    // user or instant yet.
    const bool old = db_->version < 2;
    q.prepare(QStringLiteral("SELECT %1 FROM devices %2 ORDER BY %3")
                  .arg(column_list(db_->version),
                       since.isValid() ? QStringLiteral("WHERE time >= :since") : QString(),
                       old ? QStringLiteral("id") : QStringLiteral("utc, uuid")));
    if (since.isValid()) {
        q.bindValue(QStringLiteral(":since"), since.toString(Qt::ISODate));
    }
    // Row by row: a long register is read for as long as rows come, and a
    // server that stops giving them is cut within the deadline.
    q.setForwardOnly(true);
    if (!db_->go_on() ||
        (on_server() &&
         !QSqlQuery(db_->database()).exec(QStringLiteral("SET statement_timeout = 0"))) ||
        !db_->go_on() || !q.exec()) {
        error = db_->failure(q.lastError(), "read");
        db_->cut.disarm();
        return std::nullopt;
    }
    while (db_->go_on() && q.next()) {
        records.push_back(row_of(q, db_->version));
    }
    db_->cut.disarm();
    if (q.lastError().isValid() ||
        (on_server() && (db_->cut.timed_out() || db_->cut.is_cut_off()))) {
        error = db_->failure(q.lastError(), "read");
        return std::nullopt;
    }
    return records;
}

std::optional<std::size_t> Register::export_csv(const QString& file, Failure& failure) const {
    const std::optional<std::vector<Record>> records = list({}, failure.text);
    if (!records) {
        failure.kind = Failure::Kind::register_unusable;
        return std::nullopt;
    }
    // Written whole or not at all: a short write (a full disk) is a failure,
    // and the last good export stays in place.
    const QByteArray text = csv_text(*records);
    std::string problem;
    if (!settings::replace_file(
            std::filesystem::path(file.toStdU16String()),
            std::string_view(text.constData(), static_cast<std::size_t>(text.size())), problem)) {
        failure = {Failure::Kind::file_unwritable,
                   QStringLiteral("the CSV file cannot be written: %1: %2")
                       .arg(file, QString::fromStdString(problem))};
        return std::nullopt;
    }
    return records->size();
}

QByteArray csv_text(const std::vector<Record>& records) {
    QByteArray text = "\xEF\xBB\xBF";
    for (const Column& c : columns()) {
        text += (text.size() > 3 ? "," : "") + QByteArray(c.field);
    }
    text += "\r\n";
    for (const Record& r : records) {
        bool first = true;
        for (const Column& c : columns()) {
            text += (first ? "" : ",") + csv_value(c, r);
            first = false;
        }
        text += "\r\n";
    }
    return text;
}

QJsonObject record_json(const Record& r) {
    QJsonObject o;
    for (const Column& c : columns()) {
        o[QLatin1String(c.field)] = json_value(c, r);
    }
    return o;
}

} // namespace tessal::reg
