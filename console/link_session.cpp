#include "link_session.h"

#include "link/frame.h"
#include "link/messages.h"
#include "message_service.h"

#include <QApplication>
#include <QCursor>

namespace tessal::console {

LinkSession::LinkSession(link::DeviceLink& link, settings::Settings& settings,
                         MessageService& messages)
    : link_(link), settings_(settings), messages_(messages) {
    link_.set_event_pump([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
}

LinkSession::~LinkSession() {
    link_.set_event_pump({});
}

std::string LinkSession::init_port(std::uint8_t& port_number, std::int32_t& speed) {
    link_.set_port_map(link::PortMap{settings_.com_devices});
    return link_.init_port(port_number, speed);
}

std::string LinkSession::close_port() {
    return link_.close_port();
}

std::string LinkSession::get_frame(const std::string& command) {
    if (closing_) {
        // The window is going away: no new traffic on the port.
        return std::string(link::kPortFailure);
    }
    const bool cursor = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (cursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    std::string result = link_.get_frame(command);
    if (cursor) {
        QApplication::restoreOverrideCursor();
    }
    return result;
}

bool LinkSession::run(const std::function<void()>& body) {
    if (busy_ || closing_ || link_.exchange_running()) {
        return false;
    }
    busy_ = true;
    body();
    close_port();
    busy_ = false;
    if (closing_ && after_close_) {
        std::function<void()> after = std::move(after_close_);
        after_close_ = {};
        after();
    }
    return true;
}

bool LinkSession::open_port() {
    if (init_port(settings_.port_number, settings_.speed) != link::kOk) {
        // The box says why, behind its details button.
        const auto& failure = link_.last_port_failure();
        if (!closing_) {
            messages_.inform_with_details(
                QString::fromLatin1(link::kMsgPortNotOpened),
                failure ? QString::fromStdString(link::port_failure_details(*failure)) : QString());
        }
        return false;
    }
    return true;
}

void LinkSession::inform(const QString& text) {
    if (!closing_) {
        messages_.inform(text);
    }
}

void LinkSession::inform(const std::string& text) {
    inform(from_device(text));
}

void LinkSession::request_close(std::function<void()> after_close) {
    closing_ = true;
    if (busy_) {
        after_close_ = std::move(after_close);
        link_.cancel_wait();
        return;
    }
    if (after_close) {
        after_close();
    }
}

QString from_device(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string to_device(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace tessal::console
