// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

// The commissioning register: one row for every device the station has
// done, in a SQLite file that several stations may share.  The program
// creates the schema and brings an older one up to date.  Every write is a
// transaction of its own; a register another station is writing to is
// waited for, up to the busy time-out, never written over.
//
// A Register is used on the thread that opened it (a rule of Qt Sql).
namespace tessal::reg {

// One device done.  Texts come from the device in its character set
// (Latin-1) and are kept as Unicode text.
struct Record {
    QString time;  // local time, ISO form: "2026-12-07T10:41:52"
    QString port;  // the device path the station used
    int speed = 0; // bit/s at which the device answered; 0 when none did
    QString version;
    QString imei;
    QString sim_id;
    std::optional<int> signal; // as the modem reported it (0 to 99)
    QString profile_file;
    QString profile_sha256; // of the profile file's bytes, lower-case hex
    // The per-value outcome of applying the profile: a JSON array of
    // {"field", "state", "device", "profile", "now", "why"}.
    QString apply_result;
    bool pass = false;
    QString failed; // what failed, empty for a device that passed
    QString trace_file;

    bool operator==(const Record&) const = default;
};

class Register {
  public:
    static constexpr int kSchemaVersion = 1;
    static constexpr int kBusyTimeoutMs = 8000;

    Register();
    ~Register();
    Register(const Register&) = delete;
    Register& operator=(const Register&) = delete;

    // The register of the user's data folder: ".../Tessal/register.sqlite".
    static QString default_path();

    // Opens the register, creating it (and its folder) when missing and
    // bringing its schema up to date; proves it can be written.  False,
    // with the reason in `error`, for a register that cannot be made,
    // opened or written, or that a newer program made.
    bool open(const QString& path, QString& error, int busy_timeout_ms = kBusyTimeoutMs);
    // Opens an existing register for reading only.
    bool open_for_reading(const QString& path, QString& error,
                          int busy_timeout_ms = kBusyTimeoutMs);

    const QString& path() const { return path_; }
    // Where the devices' trace files go: "traces" beside the register.
    QString traces_folder() const;

    // Adds one row in a transaction of its own.
    bool add(const Record& record, QString& error);
    // The rows in the order they were added; with a valid `since`, only
    // those of that day and later.
    std::optional<std::vector<Record>> list(const QDate& since, QString& error) const;
    // Writes every row as CSV (see csv_text), replacing the file whole;
    // gives the number of rows.
    std::optional<std::size_t> export_csv(const QString& file, QString& error) const;

  private:
    bool connect(const QString& path, bool read_only, int busy_timeout_ms, QString& error);
    bool prepare_schema(QString& error);
    void disconnect();

    QString connection_; // the Qt Sql connection's name, unique per register
    QString path_;
    int busy_ms_ = kBusyTimeoutMs;
    int version_ = 0; // the schema's version as last read
};

// The rows as a spreadsheet reads them: UTF-8 with a byte-order mark, a
// header row, CR LF line ends, text fields in double quotes (a quote inside
// doubled), the numbers bare.
QByteArray csv_text(const std::vector<Record>& records);

// A row as a JSON object; the apply result as the array it holds.
QJsonObject record_json(const Record& record);

} // namespace tessal::reg
