#include "transaction.h"

#include "link/frame.h"
#include "link/messages.h"
#include "message_service.h"

#include <QApplication>
#include <QCursor>

namespace tessal::console {

// Moves the transaction into a state for a scope and back out of it.  A close
// asked for inside the scope is kept: leaving never undoes it.
class Transaction::Enter {
  public:
    Enter(Transaction& t, State state) : t_(t), before_(t.state_) { t_.state_ = state; }
    ~Enter() {
        if (!t_.stopping()) {
            t_.state_ = before_;
        }
    }
    Enter(const Enter&) = delete;
    Enter& operator=(const Enter&) = delete;

  private:
    Transaction& t_;
    State before_;
};

Transaction::Transaction(link::DeviceLink& link, settings::Settings& settings,
                         MessageService& messages)
    : link_(link), settings_(settings), messages_(messages) {
    // A wait that lasts shows the busy cursor; a quick reply does not flicker
    // it (and costs nothing for it).
    busy_cursor_.setSingleShot(true);
    busy_cursor_.setInterval(kBusyCursorDelayMs);
    QObject::connect(&busy_cursor_, &QTimer::timeout, [this] {
        if (state_ == State::waiting && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            cursor_shown_ = true;
        }
    });
}

bool Transaction::run(const std::function<void()>& work) {
    if (state_ != State::idle) {
        return false;
    }
    {
        Enter running(*this, State::running);
        work();
        link_.close_port();
    }
    if (state_ == State::closing) {
        state_ = for_good_ ? State::closed : State::idle;
        std::vector<std::function<void()>> after;
        after.swap(after_close_);
        for (const std::function<void()>& done : after) {
            if (done) {
                done();
            }
        }
    }
    return true;
}

std::string Transaction::init_port(std::uint8_t& port_number, std::int32_t& speed) {
    if (stopping()) {
        return std::string(link::kPortError);
    }
    link_.set_port_map(link::PortMap{settings_.com_devices});
    return link_.init_port(port_number, speed);
}

std::string Transaction::get_frame(const std::string& command) {
    if (state_ != State::running) {
        // Closing, or an exchange already waits: nothing goes out.
        return std::string(link::kPortFailure);
    }
    Enter waiting(*this, State::waiting);
    busy_cursor_.start();
    std::string result = link_.get_frame(command);
    busy_cursor_.stop();
    if (cursor_shown_) {
        QApplication::restoreOverrideCursor();
        cursor_shown_ = false;
    }
    return result;
}

std::string Transaction::close_port() {
    if (state_ == State::waiting) {
        return std::string(link::kPortError);
    }
    return link_.close_port();
}

bool Transaction::open_port() {
    if (init_port(settings_.port_number, settings_.speed) != link::kOk) {
        // The box says why, behind its details button.
        if (!stopping()) {
            const auto& failure = link_.last_port_failure();
            messages_.inform_with_details(
                QString::fromLatin1(link::kMsgPortNotOpened),
                failure ? QString::fromStdString(link::port_failure_details(*failure)) : QString());
        }
        return false;
    }
    return true;
}

void Transaction::inform(const QString& text) {
    if (!stopping()) {
        messages_.inform(text);
    }
}

void Transaction::inform(const std::string& text) {
    inform(from_device(text));
}

void Transaction::plain(const QString& text) {
    if (!stopping()) {
        messages_.plain(text);
    }
}

bool Transaction::confirm(const QString& text) {
    return !stopping() && messages_.confirm(text);
}

void Transaction::close(std::function<void()> done, bool for_good) {
    for_good_ = for_good_ || for_good;
    if (state_ == State::idle || state_ == State::closed) {
        if (for_good_) {
            state_ = State::closed;
        }
        if (done) {
            done();
        }
        return;
    }
    state_ = State::closing;
    after_close_.push_back(std::move(done));
    link_.cancel_wait();
}

QString from_device(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string to_device(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace tessal::console
