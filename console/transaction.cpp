// SPDX-License-Identifier: Apache-2.0
#include "transaction.h"

#include "message_service.h"

#include <QApplication>
#include <QCursor>

namespace tessal::console {

Transaction::Transaction(device::Engine& engine, settings::Settings& settings,
                         MessageService& messages)
    : engine_(engine), settings_(settings), messages_(messages) {
    // A wait that lasts shows the busy cursor; a quick reply does not flicker
    // it.
    busy_cursor_.setSingleShot(true);
    busy_cursor_.setInterval(kBusyCursorDelayMs);
    QObject::connect(&busy_cursor_, &QTimer::timeout, [this] { busy_cursor(true); });
}

Transaction::~Transaction() {
    engine_.cancel();
    busy_cursor(false);
}

void Transaction::busy_cursor(bool shown) {
    if (shown == cursor_shown_ || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return;
    }
    if (shown) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    cursor_shown_ = shown;
}

void Transaction::begin() {
    state_ = State::running;
    busy_cursor_.start();
}

void Transaction::end(const device::Report& report, const std::function<void()>& after) {
    busy_cursor_.stop();
    busy_cursor(false);
    for (const auto& heard : on_report_) {
        heard(report);
    }
    if (!report.cancelled) {
        for (const device::Message& message : report.messages) {
            show(message);
        }
    }
    if (after) {
        after();
    }
    if (state_ == State::running) {
        state_ = State::idle;
        return;
    }
    // A close was asked meanwhile: it completes now.
    state_ = for_good_ ? State::closed : State::idle;
    std::vector<std::function<void()>> waiting;
    waiting.swap(after_close_);
    for (const std::function<void()>& done : waiting) {
        if (done) {
            done();
        }
    }
}

void Transaction::show(const device::Message& message) {
    if (stopping()) {
        return;
    }
    const QString text = from_device(message.text);
    if (message.kind == device::Message::Kind::plain) {
        messages_.plain(text);
    } else if (!message.details.empty()) {
        messages_.inform_with_details(text, QString::fromStdString(message.details));
    } else {
        messages_.inform(text);
    }
}

void Transaction::tell(const device::Message& message) {
    // The operation waits, with the port open, until the box is closed.
    busy_cursor_.stop();
    busy_cursor(false);
    show(message);
    if (state_ == State::running) {
        busy_cursor_.start();
    }
}

bool Transaction::ask(const device::Message& question) {
    busy_cursor_.stop();
    busy_cursor(false);
    const bool yes = confirm(from_device(question.text));
    if (state_ == State::running) {
        busy_cursor_.start();
    }
    return yes;
}

void Transaction::inform(const QString& text) {
    if (!stopping()) {
        messages_.inform(text);
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
    engine_.cancel();
}

} // namespace tessal::console
