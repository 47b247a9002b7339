// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "handover.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tessal::link {

// One record of the serial-line trace: bytes that crossed the line, or an
// event of the link.  An event keeps its parts; its text is made only when
// the record is formatted, off the reply path.
struct TraceRecord {
    enum class Kind : char {
        ToDevice = '>',   // bytes from the console to the device
        FromDevice = '<', // bytes from the device to the console
        Event = '-',      // something the link did or saw
    };
    enum class Event : char {
        Text,       // data: the text
        PortOpened, // data: device, detail: settings text
        PortFailed, // data: device (empty: the port number has none), detail: cause
        PortClosed,
        PortCloseFailed,
        Outcome,  // data: the StatusWord
        Payload,  // number: payload length
        TimedOut, // number: the reply time-out in ms
        WaitCutShort,
    };
    std::chrono::system_clock::time_point time;
    Kind kind = Kind::Event;
    Event event = Event::Text;
    std::string data;         // the bytes, or the event's main part
    std::string detail;       // the event's second part
    std::string cause;        // the system's reason, when one was given
    std::int64_t number = -1; // bytes read: ms since the request was written
};

// "02 56 39 3A 03": upper-case hex pairs separated by one blank.
std::string trace_hex(std::string_view bytes);
// Printable ASCII as it is, control bytes by name (<STX>, <CR>, <DEL>),
// every other byte as \xNN.
std::string trace_text(std::string_view bytes);
// Local time with milliseconds: "2026-12-07 14:03:27.481".
std::string trace_time(std::chrono::system_clock::time_point time);
// One line, without a line end:
//   "<time> > 02 56 39 3A 03  <STX>V9:<ETX>"
//   "<time> < 06  <ACK>  (+12 ms)"
//   "<time> - odgovor: TO"
std::string format_record(const TraceRecord& record);
// The text of an event record: "odgovor: TO".
std::string event_text(const TraceRecord& record);

// "1 bajt", "3 bajta", "12 bajtova".
std::string byte_count_text(std::size_t count);

// The trace file: lines appended to one file; when the next line would take
// it past `cap` bytes, the file is renamed to `rotated_path()` (replacing an
// older one) and a new file begins; a file that cannot be renamed (held open
// by a viewer on Windows) is copied there and emptied; a file that can be
// neither renamed nor emptied takes no more lines.  The file's folder is made when missing.
// Failures to write cost only the file: nothing is thrown or reported, the
// lines are dropped, the next append tries again.
class TraceFile {
  public:
    static constexpr std::uintmax_t kCap = 1024 * 1024;

    explicit TraceFile(std::filesystem::path path, std::uintmax_t cap = kCap);

    void append(const std::vector<std::string>& lines);

    const std::filesystem::path& path() const { return path_; }
    // "rvt_trace.txt" becomes "rvt_trace.1.txt".
    std::filesystem::path rotated_path() const;

  private:
    bool ensure_open();
    void rotate();

    std::filesystem::path path_;
    std::uintmax_t cap_;
    std::ofstream out_;
    std::uintmax_t size_ = 0;
    bool full_ = false; // at its cap and could be neither renamed nor emptied
};

// The trace of the serial line.  The device link records into it (see
// DeviceLink::set_trace); the trace window reads it; a worker thread appends
// the lines to the trace file.
//
// Record methods are called on one thread at a time (the one that runs the
// link); the window reads from its own.  Recording takes the time, stores the
// raw record under a short lock and returns: no text is made, no thread is
// woken, no file is touched, so a reply is never held up.  The writer looks for new records every
// kWritePeriod and formats and writes them in one go; the window formats
// the records it shows when the event loop next runs (also inside the
// link's wait for a reply).
class Trace : public QObject {
    Q_OBJECT

  public:
    // Records the trace keeps for the window.
    static constexpr std::size_t kKeptRecords = 10000;
    static constexpr std::chrono::milliseconds kWritePeriod{200};

    // `file` empty: no trace file.
    explicit Trace(std::filesystem::path file = {}, QObject* parent = nullptr);
    ~Trace() override; // writes what is still queued, then stops the writer

    // The record points of the link.
    void port_opened(std::string_view device, std::string_view settings);
    // An empty device: the port number has no device.
    void port_failed(std::string_view device, std::string_view cause);
    void port_closed();
    void port_close_failed();
    void sent(std::string_view bytes);
    // An empty chunk is not recorded.
    void received(std::string_view bytes, std::int64_t elapsed_ms);
    void outcome(std::string_view status_word);
    void payload(std::size_t length);
    void timed_out(std::int32_t timeout_ms);
    void wait_cut_short();

    // Kept records numbered from `next` on; `next` moves past the last one.
    // Records older than the last kKeptRecords are gone.
    std::vector<TraceRecord> records_since(std::uint64_t& next) const;
    std::uint64_t end() const;

    // Blocks until the writer has handed every record so far to the file.
    void flush_file();

  signals:
    // New records were added.  Emitted from the event loop, once for any
    // number of records added since the last emission.
    void recorded();

  protected:
    void connectNotify(const QMetaMethod& signal) override;

  private:
    // Stores a record, with its time taken now.
    void add(TraceRecord record);
    void add_event(TraceRecord::Event event, std::string data = {}, std::string detail = {},
                   std::string cause = {}, std::int64_t number = -1);
    void write_loop();

    Courier inbox_; // runs deliveries on the trace's thread
    std::atomic<bool> delivery_pending_{false};
    std::atomic<bool> listened_{false}; // something is connected to recorded()

    // Shared between the recording thread, the reader and the writer.
    mutable std::mutex mutex_;
    std::deque<TraceRecord> kept_;
    std::uint64_t end_ = 0; // number of the next record
    std::condition_variable wake_;
    std::condition_variable written_;
    std::vector<TraceRecord> queue_;
    std::uint64_t queued_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t flush_to_ = 0; // flush_file() waits for this many
    bool stop_ = false;
    std::unique_ptr<TraceFile> file_;
    std::thread writer_;
};

// What the device link holds: a record point does nothing without a trace,
// so the link with no trace set pays one test per record point.
//   tap(&Trace::sent, frame);
class TraceTap {
  public:
    void set(Trace* trace) { trace_ = trace; }

    template <class... Parameters, class... Arguments>
    void operator()(void (Trace::*point)(Parameters...), Arguments&&... arguments) const {
        if (trace_) {
            (trace_->*point)(std::forward<Arguments>(arguments)...);
        }
    }

  private:
    Trace* trace_ = nullptr;
};

} // namespace tessal::link
