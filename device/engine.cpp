// SPDX-License-Identifier: Apache-2.0
#include "engine.h"

#include <algorithm>

namespace tessal::device {

// The front end's prompter as the operation sees it on the device thread:
// each message goes over to the engine's thread and the operation waits
// there until it was closed.
class Engine::Relay final : public Prompter {
  public:
    Relay(Engine& engine, Prompter* front) : engine_(engine), front_(front) {}
    void tell(const Message& message) override { engine_.relay(front_, message, false); }
    bool ask(const Message& question) override { return engine_.relay(front_, question, true); }

  private:
    Engine& engine_;
    Prompter* front_;
};

Engine::Engine(PortMaker make_port, link::Trace* trace, link::DeviceLink::Clock clock) {
    thread_.setObjectName(QStringLiteral("device"));
    thread_.start();
    worker_ = new link::Courier;
    worker_->moveToThread(&thread_);
    // The port is made on the device thread, so that it belongs there.
    on_device_thread([this, &make_port, trace, &clock] {
        link_ = std::make_unique<link::DeviceLink>(make_port(), clock);
        link_->set_trace(trace);
    });
}

Engine::~Engine() {
    cancel();
    // Queued behind a running operation: the link goes once that has ended.
    on_device_thread([this] { link_.reset(); });
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void Engine::set_port_enumerator(const link::PortEnumerator* ports) {
    link_->set_port_enumerator(ports);
}

std::vector<link::PortInfo> Engine::refresh_ports() {
    return link_->refresh_ports();
}

void Engine::on_device(const std::function<void(link::DeviceLink&)>& use) {
    on_device_thread([this, &use] { use(*link_); });
}

void Engine::on_device_thread(const std::function<void()>& work) {
    worker_->wait_for(work);
}

void Engine::cancel() {
    if (!busy_) {
        return;
    }
    link_->cancel();
    // An operation that waits for a message to be closed goes on at once.
    const std::lock_guard lock(ask_mutex_);
    answered_.notify_all();
}

bool Engine::post(QObject* context, PortChoice port, Prompter* prompter, Job job) {
    if (busy_) {
        return false;
    }
    busy_ = true;
    // Nothing runs on the device thread now: the last operation has ended and
    // its report has been delivered.
    link_->clear_cancel();
    const bool bound = context != nullptr;
    QPointer<QObject> target(context);
    worker_->post(
        [this, bound, target, port = std::move(port), prompter, job = std::move(job)]() mutable {
            Relay relay(*this, prompter);
            Session session(*link_, std::move(port), prompter != nullptr ? &relay : nullptr);
            Delivery deliver = job(session);
            Report report = session.finish();
            inbox_.post([this, bound, target, deliver = std::move(deliver),
                         report = std::move(report)]() mutable {
                busy_ = false;
                if (!bound || target) {
                    deliver(std::move(report));
                }
            });
        });
    return true;
}

bool Engine::relay(Prompter* prompter, const Message& message, bool question) {
    std::uint64_t ticket = 0;
    {
        const std::lock_guard lock(ask_mutex_);
        ticket = ++asked_;
    }
    inbox_.post([this, prompter, message, ticket, question] {
        bool answer = false;
        if (prompter != nullptr && !link_->cancelled()) {
            if (question) {
                answer = prompter->ask(message);
            } else {
                prompter->tell(message);
            }
        }
        const std::lock_guard lock(ask_mutex_);
        answers_ = std::max(answers_, ticket);
        last_answer_ = answer;
        answered_.notify_all();
    });
    std::unique_lock lock(ask_mutex_);
    answered_.wait(lock, [&] { return answers_ >= ticket || link_->cancelled(); });
    return answers_ >= ticket && last_answer_ && !link_->cancelled();
}

} // namespace tessal::device
