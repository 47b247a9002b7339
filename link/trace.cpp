// SPDX-License-Identifier: Apache-2.0
#include "trace.h"

#include <QDateTime>
#include <QMetaMethod>

#include <array>
#include <system_error>

namespace tessal::link {

namespace {

constexpr std::array<const char*, 32> kControlNames{
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

constexpr char kHexDigits[] = "0123456789ABCDEF";

void append_hex(std::string& out, unsigned char byte) {
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0x0F]);
}

} // namespace

std::string trace_hex(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        if (!out.empty()) {
            out.push_back(' ');
        }
        append_hex(out, static_cast<unsigned char>(ch));
    }
    return out;
}

std::string trace_text(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < kControlNames.size()) {
            out.push_back('<');
            out.append(kControlNames[byte]);
            out.push_back('>');
        } else if (byte == 0x7F) {
            out.append("<DEL>");
        } else if (byte > 0x7F) {
            out.append("\\x");
            append_hex(out, byte);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::string trace_time(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const qint64 ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    // Many records share a second: its local date and time are worked out
    // once for all of them.
    thread_local qint64 cached_second = -1;
    thread_local std::string cached_text;
    if (second != cached_second || cached_text.empty()) {
        cached_second = second;
        cached_text = QDateTime::fromMSecsSinceEpoch(second * 1000)
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss."))
                          .toStdString();
    }
    const auto millis = static_cast<int>(ms - second * 1000);
    std::string text = cached_text;
    text.push_back(static_cast<char>('0' + millis / 100));
    text.push_back(static_cast<char>('0' + millis / 10 % 10));
    text.push_back(static_cast<char>('0' + millis % 10));
    return text;
}

std::string event_text(const TraceRecord& record) {
    using Event = TraceRecord::Event;
    const auto with_cause = [&record](std::string text) {
        if (!record.cause.empty()) {
            text += ": " + record.cause;
        }
        return text;
    };
    switch (record.event) {
    case Event::Text:
        return record.data;
    case Event::PortOpened:
        return "port otvoren " + record.data + " " + record.detail;
    case Event::PortFailed:
        if (record.data.empty()) {
            return "greska pri otvaranju porta: broj porta nema uredjaj";
        }
        return with_cause("greska pri otvaranju porta " + record.data);
    case Event::PortClosed:
        return "port zatvoren";
    case Event::PortCloseFailed:
        return "greska pri zatvaranju porta";
    case Event::Outcome:
        return "odgovor: " + record.data;
    case Event::Payload:
        return "odgovor: payload " + byte_count_text(static_cast<std::size_t>(record.number));
    case Event::TimedOut:
        return "isteklo vreme za odgovor (" + std::to_string(record.number) + " ms)";
    case Event::WaitCutShort:
        return "cekanje prekinuto";
    }
    return record.data;
}

std::string format_record(const TraceRecord& record) {
    std::string line = trace_time(record.time);
    line.push_back(' ');
    line.push_back(static_cast<char>(record.kind));
    line.push_back(' ');
    if (record.kind == TraceRecord::Kind::Event) {
        line.append(event_text(record));
        return line;
    }
    line.append(trace_hex(record.data));
    line.append("  ");
    line.append(trace_text(record.data));
    if (record.number >= 0) {
        line.append("  (+" + std::to_string(record.number) + " ms)");
    }
    return line;
}

std::string byte_count_text(std::size_t count) {
    const std::size_t last = count % 10;
    const std::size_t last_two = count % 100;
    const char* word = "bajtova";
    if (last == 1 && last_two != 11) {
        word = "bajt";
    } else if (last >= 2 && last <= 4 && (last_two < 12 || last_two > 14)) {
        word = "bajta";
    }
    return std::to_string(count) + " " + word;
}

TraceFile::TraceFile(std::filesystem::path path, std::uintmax_t cap)
    : path_(std::move(path)), cap_(cap) {}

std::filesystem::path TraceFile::rotated_path() const {
    std::filesystem::path rotated = path_;
    rotated.replace_extension();
    rotated += ".1";
    rotated += path_.extension();
    return rotated;
}

bool TraceFile::ensure_open() {
    if (out_.is_open()) {
        return true;
    }
    if (full_) {
        return false;
    }
    std::error_code ec;
    // The folder may not exist yet (the user's settings folder before the
    // first save); it is made so that no line is lost for want of it.
    if (path_.has_parent_path()) {
        std::filesystem::create_directories(path_.parent_path(), ec);
    }
    const std::uintmax_t size = std::filesystem::file_size(path_, ec);
    out_.open(path_, std::ios::binary | std::ios::app);
    if (!out_) {
        out_.close();
        out_.clear();
        return false;
    }
    size_ = ec ? 0 : size;
    return true;
}

void TraceFile::rotate() {
    out_.close();
    out_.clear();
    std::error_code ec;
    std::filesystem::rename(path_, rotated_path(), ec);
    if (ec) {
        // On Windows a viewer that holds the file open keeps it from being
        // renamed, but may let it be read and written: its lines are copied
        // aside instead, and the file emptied.  Lines that cannot be copied
        // are given up; the cap still holds.
        std::error_code copy_ec;
        std::filesystem::copy_file(path_, rotated_path(),
                                   std::filesystem::copy_options::overwrite_existing, copy_ec);
        std::filesystem::resize_file(path_, 0, ec);
    }
    if (ec) {
        // Neither renamed nor emptied: the file is full for good.  Later lines
        // are dropped rather than taking it past its cap.
        full_ = true;
    }
    size_ = 0;
}

void TraceFile::append(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const std::uintmax_t length = line.size() + 2; // with CR LF
        if (!ensure_open()) {
            return;
        }
        if (size_ > 0 && size_ + length > cap_) {
            rotate();
            if (!ensure_open()) {
                return;
            }
        }
        out_ << line << "\r\n";
        if (!out_) {
            out_.close();
            out_.clear();
            return;
        }
        size_ += length;
    }
    out_.flush();
    if (!out_) {
        out_.close();
        out_.clear();
    }
}

Trace::Trace(std::filesystem::path file, QObject* parent) : QObject(parent) {
    if (!file.empty()) {
        file_ = std::make_unique<TraceFile>(std::move(file));
        writer_ = std::thread([this] { write_loop(); });
    }
}

Trace::~Trace() {
    if (writer_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        writer_.join();
    }
}

void Trace::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&Trace::recorded)) {
        listened_ = true;
    }
}

void Trace::add(TraceRecord record) {
    record.time = std::chrono::system_clock::now();
    {
        const std::lock_guard lock(mutex_);
        if (writer_.joinable()) {
            queue_.push_back(record);
            ++queued_;
        }
        kept_.push_back(std::move(record));
        if (kept_.size() > kKeptRecords) {
            kept_.pop_front();
        }
        ++end_;
    }
    // One delivery for any number of records; it runs on the trace's own
    // thread, whichever thread recorded.
    if (listened_ && !delivery_pending_.exchange(true)) {
        inbox_.post([this] {
            delivery_pending_ = false;
            emit recorded();
        });
    }
}

void Trace::add_event(TraceRecord::Event event, std::string data, std::string detail,
                      std::string cause, std::int64_t number) {
    TraceRecord record;
    record.event = event;
    record.data = std::move(data);
    record.detail = std::move(detail);
    record.cause = std::move(cause);
    record.number = number;
    add(std::move(record));
}

void Trace::write_loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kWritePeriod, [this] { return stop_ || flush_to_ > done_; });
        std::vector<TraceRecord> batch;
        batch.swap(queue_);
        const bool stopping = stop_;
        lock.unlock();
        if (!batch.empty()) {
            std::vector<std::string> lines;
            lines.reserve(batch.size());
            for (const TraceRecord& record : batch) {
                lines.push_back(format_record(record));
            }
            file_->append(lines);
        }
        lock.lock();
        done_ += batch.size();
        written_.notify_all();
        if (stopping && queue_.empty()) {
            return;
        }
    }
}

void Trace::flush_file() {
    if (!writer_.joinable()) {
        return;
    }
    std::unique_lock lock(mutex_);
    flush_to_ = queued_;
    wake_.notify_one();
    written_.wait(lock, [this] { return done_ >= flush_to_; });
}

std::uint64_t Trace::end() const {
    const std::lock_guard lock(mutex_);
    return end_;
}

std::vector<TraceRecord> Trace::records_since(std::uint64_t& next) const {
    const std::lock_guard lock(mutex_);
    const std::uint64_t first = end_ - kept_.size();
    if (next < first) {
        next = first;
    }
    std::vector<TraceRecord> out(kept_.begin() + static_cast<std::ptrdiff_t>(next - first),
                                 kept_.end());
    next = end_;
    return out;
}

void Trace::port_opened(std::string_view device, std::string_view settings) {
    add_event(TraceRecord::Event::PortOpened, std::string(device), std::string(settings));
}

void Trace::port_failed(std::string_view device, std::string_view cause) {
    add_event(TraceRecord::Event::PortFailed, std::string(device), {}, std::string(cause));
}

void Trace::port_closed() {
    add_event(TraceRecord::Event::PortClosed);
}

void Trace::port_close_failed() {
    add_event(TraceRecord::Event::PortCloseFailed);
}

void Trace::sent(std::string_view bytes) {
    TraceRecord record;
    record.kind = TraceRecord::Kind::ToDevice;
    record.data = bytes;
    add(std::move(record));
}

void Trace::received(std::string_view bytes, std::int64_t elapsed_ms) {
    if (bytes.empty()) {
        return;
    }
    TraceRecord record;
    record.kind = TraceRecord::Kind::FromDevice;
    record.data = bytes;
    record.number = elapsed_ms;
    add(std::move(record));
}

void Trace::outcome(std::string_view status_word) {
    add_event(TraceRecord::Event::Outcome, std::string(status_word));
}

void Trace::payload(std::size_t length) {
    add_event(TraceRecord::Event::Payload, {}, {}, {}, static_cast<std::int64_t>(length));
}

void Trace::timed_out(std::int32_t timeout_ms) {
    add_event(TraceRecord::Event::TimedOut, {}, {}, {}, timeout_ms);
}

void Trace::wait_cut_short() {
    add_event(TraceRecord::Event::WaitCutShort);
}

} // namespace tessal::link
