// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/service_book.h"

#include <memory>
#include <optional>
#include <string>

// What one run of tessal-cli gives the service book.  Every report of a
// device operation is handed to one book, made when the first write comes
// or a service command needs it; the entries `service start` opens are kept
// between runs in the user's settings folder, so that later runs join them.
namespace tessal::cli {

class Recorder {
  public:
    // `named`: the technician the command line names; nothing for the one
    // kept for this user.
    explicit Recorder(std::optional<device::Technician> named);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Loads the register's drivers: called before the program makes any
    // thread.
    static void prepare();

    // The book, made when first asked for.
    device::ServiceBook& book();
    // Hands a report to the book: the writes it made and the device it read.
    // A report with writes is held until the next one with writes, or the
    // end of the run, so that a read-back of the same command can still
    // settle what they did (see settled()).
    void heard(const device::Report& report);
    // What a read-back found of the last write heard.
    void settled(const device::Outcome& outcome);
    // Opens an entry; gives its id.
    std::string open(const device::Opening& opening);
    // Ends the entry open on `port`: the entry ended, or nothing when none
    // was open.
    std::optional<device::OpenEntry> close(const std::string& port, const device::Closing& closing);
    // Who does this run's work: the technician named, else the one kept for
    // this user, else nobody.
    device::Technician technician() const;
    // The technician of the entry that the run's last record went into.
    const device::Technician& recorded_by() const { return recorded_by_; }
    // What became of the run's rows, waited for no longer than the
    // register's own deadlines allow; nothing when the run gave the book
    // nothing to record.
    std::optional<device::BookState> settle();

  private:
    // Gives the book the report held, if any.
    void hand_held();

    std::optional<device::Technician> named_;
    device::Technician recorded_by_;
    std::optional<device::Report> held_;
    std::unique_ptr<device::ServiceBook> book_;
};

} // namespace tessal::cli
