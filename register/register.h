// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "book.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The commissioning register: one row for every device a station has done,
// in a SQLite file or in a PostgreSQL database that every station of a
// service company writes to.  The program creates the schema and brings an
// older one up to date.  Every write is a transaction of its own; a SQLite
// register another station is writing to is waited for, up to the busy
// time-out, never written over.  Rows are only ever added: the program
// neither changes nor deletes one.
//
// A row that its register cannot take (a server out of reach, a SQLite file
// held too long or on a full disk) goes into the station's local SQLite
// register, marked as waiting for that register, and is sent there, oldest
// first and exactly once, as soon as it answers again.
//
// A Register is used on the thread that opened it (a rule of Qt Sql).
namespace tessal::reg {

// One device done.  Texts come from the device in its character set
// (Latin-1) and are kept as Unicode text.
struct Record {
    QString time;  // local time with its offset: "2026-12-07T10:41:52+01:00"
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
    QString id;      // made by the station, a UUID: "1b4e28ba-2fa1-11d2-883f-0016d3cca427"
    QString station; // the station's name, by default the machine's host name
    QString user;    // the operating-system user who ran the station
    // The same instant as `time` in UTC with milliseconds, the rows' order:
    // "2026-12-07T09:41:52.125Z".  Worked out from `time` when empty.
    QString utc;
    // The device check's stages, a JSON array of {"stage", "outcome",
    // "reading", "reason"}; empty when the device was not checked.
    QString check_result;
    Link link;

    bool operator==(const Record&) const = default;
};

// A row of any of the register's tables: a commissioning row, a row of the
// service book, or a writer's signed head.
using Row = std::variant<Record, Intervention, Change, InterventionEnd, Checkpoint>;

// `when` as a row's time: local time with the offset it had then,
// "2026-12-07T10:41:52+01:00" (seconds), and in UTC with milliseconds.
QString local_time_text(const QDateTime& when);
QString utc_text(const QDateTime& when);

// The operating-system user the program runs as ("" when none is told).
QString os_user();

// A new row's own fields: a fresh id, the station's name and the user, the
// time now.
void stamp(Record& record, const QString& station);

// Where the register is and how it is reached.  Read from one place (see
// configured()), any part overridden from the command line.
struct Place {
    // A SQLite file's path, or a PostgreSQL URL:
    // "postgresql://station@registar.example:5432/tessal?sslmode=verify-full".
    QString location;
    // A file holding the server's password on its first line; empty: libpq's
    // own password file (PGPASSFILE, ~/.pgpass, %APPDATA%\postgresql\pgpass.conf).
    QString password_file;
    // The local SQLite register where rows wait; empty: default_path(), or
    // "waiting.sqlite" beside it when the register is that file itself.
    QString local;
    // The station's name in the rows; empty: the machine's host name.
    QString station;
    // Whether the rows recorded are chained by their writer (see writer.h).
    bool chained = true;
};

// The place configured for this machine: the keys "location",
// "password_file", "local" and "station" of register.ini, the user's
// (~/.config/Tessal/register.ini, %APPDATA%\Tessal\register.ini) before
// the machine's (/etc/xdg/Tessal/register.ini,
// %PROGRAMDATA%\Tessal\register.ini).  No location: default_path().
Place configured();

bool is_server_url(const QString& location);

// Loads the SQL drivers a register at `place` uses (SQLite, and PostgreSQL
// for a server) into the process.  A program that opens its register on a
// thread of its own calls this at its start, before it makes any other
// thread: a driver library carries thread storage, which the loader hands to
// every thread there is, and Wine's loader can fault doing so once threads
// have come and gone.  A driver loaded stays until the program ends.
void load_drivers(const Place& place);

// Why a register operation failed: its kind, for whoever maps failures to
// statuses of its own, and its text.
struct Failure {
    enum class Kind {
        register_unusable, // the register cannot be opened, read or written
        not_in_book,       // the service book holds no such device or entry
        file_unwritable,   // a file the rows were to be written to cannot be
    };
    Kind kind = Kind::register_unusable;
    QString text;
};

// Rows in the local register that wait for another register than the one
// opened (its location since changed, say).
struct Elsewhere {
    QString target; // the register they wait for
    int rows = 0;
    QString local; // the local register they wait in
};

// Which entries of the service book to read; a part left empty takes
// every entry.
struct BookFilter {
    // A device by its whole IMEI: its numbered entries, in the order of
    // their numbers, those from `from` to `to` (0: no bound).
    QString device{};
    int from = 0;
    int to = 0;
    QString id{}; // one entry by its id
    // Entries whose IMEI, SIM identification, seal codes (removed or
    // applied) or technician's name hold this text, letters of A to Z in
    // either case.  A number of 15 digits or more is the beginning of the
    // IMEI or the SIM identification, looked up by the register's index.
    QString imei{};
    QString sim{};
    QString seal{};
    QString technician{};
    QDate since{}; // entries begun that day (by this machine's clock) or later
};

// A value that differs between a device's state after one entry and after
// another: the value each left it with, nothing where no entry up to it
// wrote the field.  A secret is told only as changed.
struct Difference {
    QString field;
    std::optional<QString> from;
    std::optional<QString> to;
    bool secret = false;

    bool operator==(const Difference&) const = default;
};

// The value a change left on the device: the value read back, or the one
// written where none was read back; nothing for a change not written.
std::optional<QString> value_left(const Change& change);
// Whether a change is of a secret, kept only as changed: the device layer
// keeps it as "********".
bool is_secret(const Change& change);

// A writer's public key (32 bytes), as the register or a key file holds it.
struct NamedKey {
    QString writer;
    QByteArray key;
};

// A fault `Register::verify()` found, with the row it is in.
struct Fault {
    enum class Kind {
        changed,       // the row does not match its hash: changed, or made up
        removed,       // rows of a writer's numbers are missing
        reordered,     // the row does not follow the one before it
        fork,          // two rows of a writer bear one number
        outside,       // a row in no chain
        cut_short,     // a checkpoint's row is not there
        differs,       // a checkpoint's row is there with another hash
        bad_signature, // a checkpoint not signed by its writer's trusted key
        key_differs,   // the register trusts another key than a key file holds
    };
    Kind kind = Kind::changed;
    QString writer;
    int seq = 0;   // the row's number in its writer's chain
    QString table; // the row's table and id, when it is there
    QString id;
    QString text; // the fault as a person reads it
};
// The fault's code: "changed", "removed", ...
const char* fault_code(Fault::Kind kind);

// A writer's chain as verify() found it.
struct Chain {
    QString writer;
    int rows = 0;
    int last = 0;         // its highest number
    int signed_up_to = 0; // the highest row a trusted checkpoint signs
    QString signed_at;    // that checkpoint's time
    QString anchor;       // where the key that proved it came from; empty: none
};

// What verify() holds a register against besides itself: keys and
// checkpoints kept outside it, each with where it came from.
struct Anchors {
    std::vector<NamedKey> keys;
    QString keys_from;
    std::vector<Checkpoint> checkpoints;
};

struct Verdict {
    // False for a register of a schema before the chains: nothing in it can
    // be proved until the program next writes to it and brings it up.
    bool chained = true;
    std::vector<Chain> chains;
    std::vector<Fault> faults; // the first kMaxFaults of them, by writer and number
    int faults_found = 0;
    qint64 rows = 0;
    static constexpr int kMaxFaults = 1000;
};

// What became of a row given to Register::record().
struct Kept {
    enum class Where { recorded, waiting, unrecorded } where = Where::recorded;
    // Rows of its table waiting for the register, this one included: for a
    // commissioning row, the devices waiting.
    int waiting = 0;
    QString why; // why the register did not take it
};

class Writer;

class Register {
  public:
    static constexpr int kSchemaVersion = 5;
    static constexpr int kBusyTimeoutMs = 8000;
    // The longest a connection attempt to a server waits, in seconds.
    static constexpr int kConnectTimeoutS = 2;
    // The longest one exchange with a server is waited for, in seconds,
    // whatever the server (or what stands between) does.
    static constexpr int kServerDeadlineS = 5;

    Register();
    ~Register();
    Register(const Register&) = delete;
    Register& operator=(const Register&) = delete;

    // The register of the user's data folder: ".../Tessal/register.sqlite".
    static QString default_path();

    // Opens the register, creating it (and its folder) when missing and
    // bringing its schema up to date; proves a SQLite register can be
    // written.  False, with the reason in `error`, for a register that
    // cannot be made, opened or written, that another program made, or that
    // a newer program made.  With a Place, rows the register cannot take
    // wait in the local register: for a server it is opened (and proved
    // writable) at once, for a SQLite register when first needed.
    bool open(const QString& location, QString& error, int busy_timeout_ms = kBusyTimeoutMs);
    bool open(const Place& place, QString& error, int busy_timeout_ms = kBusyTimeoutMs);
    // Opens an existing register for reading only.
    bool open_for_reading(const QString& location, QString& error,
                          int busy_timeout_ms = kBusyTimeoutMs);
    bool open_for_reading(const Place& place, QString& error, int busy_timeout_ms = kBusyTimeoutMs);

    // The register as shown: a path, or the URL (it never holds a password).
    const QString& path() const;
    bool on_server() const;
    // Where the devices' trace files go: "traces" beside the register, or
    // beside the local register for one on a server.
    QString traces_folder() const;

    // Adds one row to this register, in a transaction of its own; a row
    // whose id is already there is not added again.  An entry of the
    // service book gets its device's next number here.
    bool add(const Row& row, QString& error);
    // Adds one row where it can be kept: this register, else the local
    // register marked as waiting, else in memory until a later call.  Rows
    // waiting are sent first, in the order they were given.  A row without
    // an id gets one first.
    Kept record(const Row& row);
    // Sends the rows waiting for this register, oldest first; gives how
    // many were sent, or nothing (with the reason) when it did not answer.
    // Not tried again before its back-off ends unless `now`.
    std::optional<int> send_waiting(QString& error, bool now = true);
    // Rows waiting for this register, locally and in memory: those kept for
    // it under any URL that reaches the same server as user, database.
    // With `table`, only the rows of that table ("devices", ...).
    int waiting(const char* table = nullptr) const;
    // Rows waiting locally for registers other than this one.
    std::vector<Elsewhere> waiting_elsewhere() const;
    // From any thread: the exchange with the server running now is cut and
    // no other is begun; rows are kept locally from now on.  For a program
    // that is ending.
    void cut_off();
    // The rows kept only in memory: no register could take them yet.
    const std::vector<Row>& unrecorded() const { return held_; }
    // Why the register last failed to take a row; empty once it did.
    const QString& last_failure() const { return last_failure_; }

    // Gives `take` the rows in time order, one at a time as they are read;
    // with a valid `since`, only those of that day (by the station's date)
    // and later.  False, with the reason, when the register cannot be read.
    bool each(const QDate& since, const std::function<void(const Record&)>& take,
              QString& error) const;
    // The same rows, all at once.
    std::optional<std::vector<Record>> list(const QDate& since, QString& error) const;
    // The number this register gave the entry `intervention` (its id):
    // nothing while the entry has not reached it, or for a device not
    // identified.
    std::optional<int> entry_of(const QString& intervention, QString& error) const;
    // A device's entries in the order of their numbers, each with its
    // changes in order and its end when it came; entries not numbered
    // (those of a device not identified) are not among them.
    std::optional<std::vector<Entry>> book(const QString& imei, QString& error) const;
    // Gives `take` the entries `filter` chooses, one at a time as they are
    // read, each with its changes in order and its end when it came: a
    // device's in the order of their numbers, others in time order.  False,
    // with the reason, when the register cannot be read.
    bool each_entry(const BookFilter& filter, const std::function<void(const Entry&)>& take,
                    QString& error) const;
    // The values that differ between the device's state after its entry
    // `a` and after its entry `b`, by field; nothing, with the reason, when
    // the register cannot be read or the device has no such entry.
    std::optional<std::vector<Difference>> differences(const QString& imei, int a, int b,
                                                       Failure& failure) const;
    // Writes the book's changes that `filter` chooses, one row per change
    // with its entry's columns (an entry without a change a row of its
    // own), as CSV (the rules of csv_text) or as a JSON array of objects,
    // replacing the file whole; gives the number of rows.
    enum class Format { csv, json };
    std::optional<std::size_t> export_book(const QString& file, Format format,
                                           const BookFilter& filter, Failure& failure) const;

    // The writer that chains the rows this register records (opened with a
    // Place that chains), made when first asked; nothing, with the reason,
    // when its key can be neither read nor made.
    Writer* writer(QString& error);
    // Signs the head of this register's writer and records the checkpoint:
    // after an entry of the service book, at the end of a station's run.
    // Nothing when no row was chained.
    std::optional<Kept> checkpoint();
    // The first checkpoint of the entry's writer that signs the entry's
    // last row; nothing before there is one, or for rows in no chain.
    std::optional<Checkpoint> signed_entry(const Entry& entry, QString& error) const;
    // Trusts `key` as its writer's, once; false, with the reason, when the
    // register trusts another key for that writer.
    bool trust(const NamedKey& key, QString& error);
    // The last checkpoint of every writer, by writer.
    std::optional<std::vector<Checkpoint>> last_checkpoints(QString& error) const;
    // Walks every writer's chain: every row against its hash, each against
    // the one before it, the chains' heads against the checkpoints (the
    // register's and `outside`'s) signed by the writers' trusted keys
    // (`outside`'s first, then the register's).  Nothing, with the reason,
    // when the register cannot be read.
    // With `writers`, only their chains.
    std::optional<Verdict> verify(const Anchors& outside, QString& error,
                                  const QStringList& writers = {}) const;

    // Writes every row as CSV (see csv_text), replacing the file whole;
    // gives the number of rows.
    std::optional<std::size_t> export_csv(const QString& file, Failure& failure) const;

    struct Db; // the connection: register/db.h

  private:
    QString local_path(const Place& place) const;
    // Not asked again for a while after `error`.
    void back_off(const QString& error);
    // Sends the rows waiting in the local register, 200 at a time, counting
    // them in `sent`; false (with the reason) when one lot did not go.
    bool send_locally_waiting(QString& error, int& sent);
    bool open_local(const Place& place, QString& error);
    // Adds the row to the local register, waiting for this one.
    bool keep_locally(const Row& row, QString& error);

    std::unique_ptr<Db> db_;
    std::optional<Place> place_;      // when opened with one
    std::unique_ptr<Register> local_; // where rows wait, opened with a Place
    std::vector<Row> held_;           // rows no register could take yet
    std::shared_ptr<Writer> writer_;  // made when first needed
    std::chrono::steady_clock::time_point next_try_{};
    QString last_failure_;
};

// The rows as a spreadsheet reads them: UTF-8 with a byte-order mark, a
// header row, CR LF line ends, text fields in double quotes (a quote inside
// doubled), the numbers bare.  A text that a spreadsheet would take for a
// formula (beginning with "=", "+", "-", "@", a tab or a carriage return)
// or for a number it cannot hold (a string of more than 11 digits, such as
// an IMEI or a SIM number) begins with an apostrophe, which keeps it text.
QByteArray csv_text(const std::vector<Record>& records);

// A row as a JSON object; the apply result as the array it holds.
QJsonObject record_json(const Record& record);
// An entry as a JSON object: its opening's members, its number ("entry",
// null when it has none) and "verdict" (null before its end); `whole`, its
// "changes" too (each change's members) and its "end" (null before it).
QJsonObject entry_json(const Entry& entry, bool whole);

} // namespace tessal::reg
