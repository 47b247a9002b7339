// SPDX-License-Identifier: Apache-2.0
// The engine: operations run on the device thread, their results arrive on
// the caller's thread, one at a time, and they can be stopped from there.
#include "device/engine.h"
#include "device/operations.h"
#include "link/frame.h"
#include "support/scripted_port.h"
#include "support/settle.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>

namespace tessal::device {
namespace {

using tessal::testing::ScriptedPort;
using tessal::testing::wait_until;
using Strings = std::vector<std::string>;

// The front end's side of messages on the way, run on the caller's thread.
struct FrontEnd final : Prompter {
    explicit FrontEnd(std::function<void(const Message&)> shown) : shown_(std::move(shown)) {}
    void tell(const Message& message) override { shown_(message); }
    bool ask(const Message& question) override {
        shown_(question);
        return answer;
    }
    std::function<void(const Message&)> shown_;
    bool answer = true;
};

std::string version(Session& s) {
    return read_version(s).value_or("(nothing)");
}
std::string unlock(Session& s) {
    return unlock_sim(s, "1234"), std::string();
}

class EngineTest : public ::testing::Test {
  protected:
    EngineTest()
        : engine(std::make_unique<Engine>(
              [this] {
                  auto made = std::make_unique<ScriptedPort>(&now);
                  port = made.get();
                  return made;
              },
              nullptr, [this] { return now; })) {}

    // Starts `op` (which gives text) for `target` (the test's own object
    // unless given) and keeps what is delivered.
    template <class Op> bool start(Op op, Prompter* front = nullptr, QObject* target = nullptr) {
        return engine->start(
            target != nullptr ? target : &context, choice, op,
            [this](const Report& r, const std::string& read) {
                report = r;
                value = read;
                delivered_on = QThread::currentThread();
                ++deliveries;
            },
            front);
    }
    // Request bodies written; read only while no operation runs.
    Strings requests() const { return port->requests(); }
    bool settle() { return tessal::testing::settle(*engine); }
    bool held() {
        return wait_until([this] { return port->waiting.load(); });
    }

    std::int64_t now = 0; // the fake clock, run by the port on the device thread
    ScriptedPort* port = nullptr;
    std::unique_ptr<Engine> engine;
    QObject context;
    const PortChoice choice; // the first port, its device by default
    Report report;
    std::string value;
    QThread* delivered_on = nullptr;
    int deliveries = 0;
};

TEST_F(EngineTest, ResultArrivesOnTheCallersThreadOneOperationAtATime) {
    port->arrive(link::build_frame("RVT 2.17"));
    std::atomic<QThread*> ran_on{nullptr};
    ASSERT_TRUE(start([&](Session& s) { return ran_on = QThread::currentThread(), version(s); }));
    EXPECT_TRUE(engine->busy());
    std::atomic<bool> refused_ran{false};
    EXPECT_FALSE(start([&](Session&) { return refused_ran = true, std::string(); }));
    ASSERT_TRUE(settle());
    EXPECT_FALSE(engine->busy());
    EXPECT_EQ(deliveries, 1);
    EXPECT_EQ(delivered_on, QThread::currentThread());
    EXPECT_NE(ran_on.load(), nullptr);
    EXPECT_NE(ran_on.load(), QThread::currentThread());
    EXPECT_EQ(value, "RVT 2.17");
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(requests(), Strings{"V"});

    // Free again once the result has arrived.
    port->arrive("\x06");
    ASSERT_TRUE(start([](Session& s) { return restart(s), std::string(); }));
    ASSERT_TRUE(settle());
    EXPECT_EQ(deliveries, 2);
    EXPECT_EQ(report.messages, (std::vector<Message>{{"OK!", Message::Kind::info, {}}}));
    EXPECT_EQ(requests(), (Strings{"V", "E"}));
    EXPECT_FALSE(refused_ran);
}

TEST_F(EngineTest, CancelEndsAHeldWaitAtOnceAndTheNextOperationRuns) {
    port->hold = true;
    ASSERT_TRUE(start([](Session& s) { return std::to_string(read_ftp(s, {}).rows_read); }));
    ASSERT_TRUE(held());
    engine->cancel();
    ASSERT_TRUE(wait_until([&] { return deliveries == 1; }, 3000)) << "the wait went on";
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(value, "0");
    EXPECT_EQ(requests(), Strings{"RFTPGovAddr"});

    port->hold = false;
    port->arrive(link::build_frame("RVT 2.17"));
    ASSERT_TRUE(start(version));
    ASSERT_TRUE(settle());
    EXPECT_FALSE(report.cancelled);
    EXPECT_TRUE(report.messages.empty());
    EXPECT_EQ(value, "RVT 2.17");
    EXPECT_EQ(requests(), (Strings{"RFTPGovAddr", "V"}));
}

TEST_F(EngineTest, MessageOnTheWayIsShownHereWhileTheOperationWaits) {
    port->arrive("\x15");                          // PIN state refused: told at once
    port->arrive(link::build_frame("\r\nOK\r\n")); // PIN taken
    port->arrive("\x06");                          // PIN request off
    Strings told;
    QThread* told_on = nullptr;
    std::size_t sent_while_shown = 0;
    FrontEnd front([&](const Message& message) {
        told_on = QThread::currentThread();
        told.push_back(message.text);
        QThread::msleep(50); // the operation must not go on while the message is open
        sent_while_shown = requests().size();
    });
    ASSERT_TRUE(start(unlock, &front));
    ASSERT_TRUE(settle());
    EXPECT_EQ(told, Strings{"Not OK!"});
    EXPECT_EQ(told_on, QThread::currentThread());
    EXPECT_EQ(sent_while_shown, 1u);
    EXPECT_EQ(requests(), (Strings{"AAT+CPIN?", "AAT+CPIN =1234", "AAT+CLCK = \"SC\",0,1234"}));
    EXPECT_EQ(report.messages, (std::vector<Message>{{"OK", Message::Kind::info, {}}}));
}

TEST_F(EngineTest, CancelWhileAMessageIsOpenLetsTheOperationEnd) {
    port->arrive("\x15");
    port->arrive("\x06");
    bool ended_while_shown = false;
    FrontEnd front([&](const Message&) {
        engine->cancel();
        ended_while_shown = wait_until([&] { return deliveries == 1; }, 3000);
    });
    ASSERT_TRUE(start(unlock, &front));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(ended_while_shown);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(requests(), Strings{"AAT+CPIN?"});
}

TEST_F(EngineTest, ResultForAGoneWindowIsDropped) {
    auto window = std::make_unique<QObject>();
    port->hold = true;
    ASSERT_TRUE(start(version, nullptr, window.get()));
    ASSERT_TRUE(held());
    window.reset();
    port->hold = false; // no reply comes: the wait runs out
    ASSERT_TRUE(settle());
    EXPECT_EQ(deliveries, 0);
    EXPECT_FALSE(engine->busy());
    EXPECT_EQ(requests(), Strings{"V"});
}

TEST_F(EngineTest, DestroyedWhileAWaitIsHeld) {
    port->hold = true;
    ASSERT_TRUE(start(version));
    ASSERT_TRUE(held());
    QElapsedTimer clock;
    clock.start();
    engine.reset();
    EXPECT_LT(clock.elapsed(), 3000);
    QCoreApplication::processEvents();
    EXPECT_EQ(deliveries, 0);
}

} // namespace
} // namespace tessal::device
