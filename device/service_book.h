// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/operations.h"
#include "device/outcome.h"
#include "register/register.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

// The devices' service book as every front end keeps it: an entry opened
// by a technician on a device, every value a write changed recorded in it
// as the write's outcome tells it, and its end.  A write made with no entry
// open is recorded too, in an entry of its own.  Rows go to the register on
// a thread of the book's own; nothing here waits for the register, so no
// window and no line ever waits for it.
namespace tessal::device {

// A word of the book with the window's words for it.
struct BookWord {
    const char* code;  // as the register keeps it
    const char* words; // as the window shows it
};
// The kinds of work: "commissioning", "inspection", "repair",
// "reconfiguration", "reset", "decommissioning".
std::span<const BookWord> work_kinds();
// The verdicts: "pass", "fail".
std::span<const BookWord> verdicts();
// The word of `code` in `table`, or nothing.
const BookWord* book_word(std::span<const BookWord> table, std::string_view code);

// Who does the work.  Kept in the user's settings folder (technician.ini),
// never in the console's settings file.
struct Technician {
    std::string name;
    std::string authorization;
    std::string company;

    bool named() const { return !name.empty(); }
    bool operator==(const Technician&) const = default;
};
// The technician kept for this user, or nothing when none was kept yet.
std::optional<Technician> load_technician();
// Keeps `technician` for this user; false when the file cannot be written.
bool save_technician(const Technician& technician);

// An entry as it is opened.
struct Opening {
    std::string port; // the device's path, or "COMn"
    Identity device;  // nothing known: "not identified"
    Technician technician;
    std::string kind = "reconfiguration";
    std::string seals_removed;
};

// An entry as it is ended.
struct Closing {
    std::string seals_applied;
    std::string note;
    std::string verdict; // "pass", "fail" or "" for none
};

// The book's rows, each made at the moment it is asked for: the entry
// opened (`station`: the PC's or the station's name), the values a write
// sent, numbered on from `seq` (left at the last), and the entry's end.
// A write that sent nothing gives no change.
reg::Intervention opening_row(const Opening& opening, const std::string& station);
std::vector<reg::Change> change_rows(const std::string& entry, int& seq, const Outcome& outcome);
reg::InterventionEnd closing_row(const std::string& entry, const Closing& closing);

// An entry open on a port.
struct OpenEntry {
    std::string id;
    Opening opening;
    int changes = 0; // recorded so far
};

// What became of the book's rows.
struct BookState {
    int given = 0;      // rows given to the book
    int handed = 0;     // of those, rows the register (or its local one) has been handed
    int waiting = 0;    // rows waiting locally for the register
    int unrecorded = 0; // rows no register could take yet, kept in memory
    std::string why;    // why the register did not take the last row
    // The entry last ended: its id and the number its device's book gave it
    // (nothing while it waits, or for a device not identified).
    std::string ended;
    std::optional<int> entry;
};

class ServiceBook {
  public:
    // `place`: the register; `station`: the PC's or the station's name in
    // the rows (empty: the machine's host name); `kept`: a file where entries
    // open between runs of the program are kept (tessal-cli), empty: in
    // memory only.
    ServiceBook(reg::Place place, std::string station, std::filesystem::path kept = {});
    // Hands the register what was given, waiting at most a moment for a
    // server before keeping the rest locally.
    ~ServiceBook();
    ServiceBook(const ServiceBook&) = delete;
    ServiceBook& operator=(const ServiceBook&) = delete;

    // Opens an entry on the opening's port, ending none; gives its id.
    std::string open(const Opening& opening);
    // The entry open on `port`, if any.
    std::optional<OpenEntry> open_on(const std::string& port) const;
    // Records what a write did on `port`: in the entry open there, or in an
    // entry of its own (the device last seen on that port, the technician
    // kept for this user) that ends with it.  A write that sent nothing is
    // not a change.
    void record(const std::string& port, const Outcome& outcome);
    // The device as last read on `port`, for an entry opened there later.
    void saw(const std::string& port, const Identity& identity);
    // What an operation's report tells the book: the device it read on its
    // port, and every write it made there.  The one call a front end makes
    // for each operation.
    void heard(const Report& report);
    // Ends the entry open on `port`; false when none is.
    bool close(const std::string& port, const Closing& closing);
    // Who does the work in an entry a write opens alone: `technician`, or
    // with nothing, the technician kept for this user.
    void set_technician(std::optional<Technician> technician);

    BookState state() const;
    // Waits until the register has been handed every row given so far, or
    // `within` has passed; gives the state then.
    BookState settle(std::chrono::milliseconds within);

  private:
    void give(reg::Row row);
    void run();
    void keep_open_entries() const;
    Identity seen_on(const std::string& port) const;

    reg::Place place_;
    std::string station_;
    std::filesystem::path kept_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable handed_;
    std::deque<reg::Row> queue_;
    std::map<std::string, OpenEntry> open_;
    std::map<std::string, Identity> seen_;
    std::optional<Technician> technician_;
    BookState state_;
    bool ending_ = false;
    reg::Register* register_ = nullptr; // the thread's, while it runs
    std::thread thread_;
};

} // namespace tessal::device
