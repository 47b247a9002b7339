// SPDX-License-Identifier: Apache-2.0
// The rows read back: in time order, as CSV for a spreadsheet and as JSON.
#include "columns.h"
#include "db.h"

#include "settings/text_file.h"

#include <QJsonObject>

#include <filesystem>
#include <string_view>

namespace tessal::reg {

bool Register::each(const QDate& since, const std::function<void(const Record&)>& take,
                    QString& error) const {
    if (db_->version == 0) {
        return true; // an empty file: no table yet
    }
    QSqlQuery q(db_->database());
    // A register of version 1 read as it is: its rows have no id, station,
    // user or instant yet.
    const bool old = db_->version < 2;
    q.prepare(QStringLiteral("SELECT %1 FROM devices %2 ORDER BY %3")
                  .arg(column_list(db_->version),
                       since.isValid() ? QStringLiteral("WHERE time >= :since") : QString(),
                       old ? QStringLiteral("id")
                       // SQLite would rather walk the whole time index than
                       // sort the day's rows the index of the time finds.
                       : since.isValid() && !on_server() ? QStringLiteral("+utc, uuid")
                                                         : QStringLiteral("utc, uuid")));
    if (since.isValid()) {
        q.bindValue(QStringLiteral(":since"), since.toString(Qt::ISODate));
    }
    return db_->stream(
        q, [&] { take(row_of(q, db_->version)); }, error);
}

bool Register::Db::stream(QSqlQuery& q, const std::function<void()>& row, QString& error) {
    q.setForwardOnly(true);
    const bool server = kind == Kind::postgresql;
    if (!go_on() ||
        (server && !QSqlQuery(database()).exec(QStringLiteral("SET statement_timeout = 0"))) ||
        !go_on() || !q.exec()) {
        error = failure(q.lastError(), "read");
        cut.disarm();
        return false;
    }
    while (go_on() && q.next()) {
        row();
    }
    cut.disarm();
    if (q.lastError().isValid() || (server && (cut.timed_out() || cut.is_cut_off()))) {
        error = failure(q.lastError(), "read");
        return false;
    }
    return true;
}

std::optional<std::vector<Record>> Register::list(const QDate& since, QString& error) const {
    std::vector<Record> records;
    if (!each(
            since, [&records](const Record& r) { records.push_back(r); }, error)) {
        return std::nullopt;
    }
    return records;
}

namespace {

QByteArray csv_header() {
    QByteArray text = "\xEF\xBB\xBF";
    for (const Column& c : columns()) {
        text += (text.size() > 3 ? "," : "") + QByteArray(c.field);
    }
    return text + "\r\n";
}

QByteArray csv_row(const Record& r) {
    QByteArray text;
    const char* separator = "";
    for (const Column& c : columns()) {
        text += separator + csv_value(c, r);
        separator = ",";
    }
    return text + "\r\n";
}

} // namespace

std::optional<std::size_t> write_rows(const QString& file, const char* kind,
                                      const settings::Producer& produce, const std::size_t& rows,
                                      Failure& failure) {
    // Written whole or not at all: a short write (a full disk) is a failure,
    // and the last good file stays in place.
    std::string problem;
    if (settings::replace_file(std::filesystem::path(file.toStdU16String()), produce, problem)) {
        return rows;
    }
    failure.kind =
        problem.empty() ? Failure::Kind::register_unusable : Failure::Kind::file_unwritable;
    if (!problem.empty()) {
        failure.text = QStringLiteral("the %1 file cannot be written: %2: %3")
                           .arg(QLatin1String(kind), file, QString::fromStdString(problem));
    }
    return std::nullopt;
}

std::optional<std::size_t> Register::export_csv(const QString& file, Failure& failure) const {
    // The rows go to the file as they are read, never all in memory.
    std::size_t rows = 0;
    return write_rows(
        file, "CSV",
        [&](const settings::PieceWriter& write) {
            const QByteArray header = csv_header();
            bool going = write(std::string_view(header.constData(), std::size_t(header.size())));
            return each(
                {},
                [&](const Record& r) {
                    const QByteArray line = csv_row(r);
                    going = going &&
                            write(std::string_view(line.constData(), std::size_t(line.size())));
                    ++rows;
                },
                failure.text);
        },
        rows, failure);
}

QByteArray csv_text(const std::vector<Record>& records) {
    QByteArray text = csv_header();
    for (const Record& r : records) {
        text += csv_row(r);
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
