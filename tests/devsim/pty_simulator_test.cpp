#include "devsim/pty_simulator.h"

#include "link/frame.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tessal::devsim {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The console's side of the line, in plain POSIX.
class Client {
  public:
    explicit Client(const fs::path& path, bool make_raw = true) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings{};
        if (fd_ >= 0 && make_raw && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~Client() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool is_open() const { return fd_ >= 0; }

    void send(std::string_view bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void request(std::string_view command) { send(link::build_frame(command)); }

    // Collects bytes until a frame is complete, a lone ACK or NAK came, the
    // line hung up or `timeout` passed.  Each read is kept in `reads`.
    std::string read_reply(milliseconds timeout = 2000ms) {
        return read_for(timeout, [](const std::string& bytes) {
            return bytes == "\x06" || bytes == "\x15" || (!bytes.empty() && bytes.back() == '\x03');
        });
    }
    // Collects everything that arrives within `window`.
    std::string read_all(milliseconds window) {
        return read_for(window, [](const std::string&) { return false; });
    }

    // Sends the request, reads the reply and acknowledges a reply frame.
    std::string exchange(std::string_view command) {
        request(command);
        std::string reply = read_reply();
        if (reply.size() >= 4 && reply.back() == '\x03') {
            send("\x06");
            return reply.substr(1, reply.size() - 4);
        }
        return reply;
    }

    bool hung_up = false;
    std::vector<std::string> reads;

  private:
    template <class Done> std::string read_for(milliseconds timeout, Done done) {
        std::string bytes;
        const auto deadline = steady_clock::now() + timeout;
        while (!done(bytes) && !hung_up) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got > 0) {
                reads.emplace_back(buffer, static_cast<std::size_t>(got));
                bytes += reads.back();
            } else if (got == 0 || errno != EAGAIN) {
                hung_up = true;
            }
        }
        return bytes;
    }

    int fd_ = -1;
};

template <class Predicate> bool eventually(Predicate predicate, milliseconds timeout = 2000ms) {
    const auto deadline = steady_clock::now() + timeout;
    while (!predicate()) {
        if (steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class PtySimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessal-devsim-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        sim_ = std::make_unique<PtySimulator>(link());
        ASSERT_TRUE(sim_->start()) << sim_->error();
    }
    void TearDown() override {
        sim_.reset();
        fs::remove_all(dir_);
    }

    fs::path link() const { return dir_ / "ttyDEV"; }
    void set_faults(const std::function<void(Faults&)>& change) {
        Faults faults;
        change(faults);
        sim_->set_faults(faults);
    }

    fs::path dir_;
    std::unique_ptr<PtySimulator> sim_;
};

TEST_F(PtySimulatorTest, LinksTheTerminalAndRemovesTheLinkOnStop) {
    ASSERT_TRUE(fs::is_symlink(link()));
    EXPECT_EQ(fs::read_symlink(link()), sim_->device_path());
    EXPECT_TRUE(sim_->device_path().starts_with("/dev/pts/"));
    // With no console on the line, the master must not see a hang-up.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sim_->hang_ups(), 0);
    sim_->stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link())));
}

TEST_F(PtySimulatorTest, LeavesAFileAtTheLinkPathAlone) {
    const fs::path file = dir_ / "taken";
    std::ofstream(file) << "keep";
    PtySimulator other(file);
    EXPECT_FALSE(other.start());
    EXPECT_NE(other.error().find("not a symbolic link"), std::string::npos);
    other.stop();
    EXPECT_TRUE(fs::is_regular_file(file));
}

TEST_F(PtySimulatorTest, AnswersAndCountsTheConsolesAck) {
    sim_->with_device([](Device& device) { device.set_version("sim 1.0"); });
    Client client(link());
    ASSERT_TRUE(client.is_open());
    EXPECT_EQ(client.exchange("V"), "sim 1.0");
    const std::int64_t now_ns =
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    EXPECT_GT(sim_->last_reply_byte_ns(), 0);
    EXPECT_LE(sim_->last_reply_byte_ns(), now_ns);
    EXPECT_TRUE(eventually([&] { return sim_->acks_received() == 1; }));
    EXPECT_EQ(sim_->requests(), std::vector<std::string>{"V"});
    EXPECT_EQ(sim_->with_device([](Device& device) { return device.last_command(); }), "V");
}

TEST_F(PtySimulatorTest, EachCommandMayUseAFreshOpening) {
    const std::vector<std::pair<std::string, std::string>> exchanges = {
        {"T", "\x06"},
        {"PFTPGovUser:servis", "\x06"},
        {"W", "PFTPGovUser:servis"},
        {"RFTPGovUser", "servis"}};
    for (const auto& [command, reply] : exchanges) {
        Client client(link());
        EXPECT_EQ(client.exchange(command), reply) << command;
    }
}

TEST_F(PtySimulatorTest, LineIsRawWithoutTheConsoleSettingIt) {
    Client client(link(), false);
    EXPECT_EQ(client.exchange("AAT+CSQ"), "\r\n+CSQ: 21,99\r\n\r\nOK\r\n");
}

TEST_F(PtySimulatorTest, BadChecksumIsAnsweredWithNak) {
    Client client(link());
    std::string frame = link::build_frame("V");
    frame[2] = '1';
    client.send(frame);
    EXPECT_EQ(client.read_reply(), "\x15");
    EXPECT_EQ(sim_->bad_checksums(), 1);
    EXPECT_TRUE(sim_->requests().empty());
}

TEST_F(PtySimulatorTest, CorruptReplyIsNotResentAfterTheConsolesNak) {
    set_faults([](Faults& f) { f.corrupt_checksum = true; });
    Client client(link());
    client.request("V");
    const std::string reply = client.read_reply();
    ASSERT_GE(reply.size(), 4U);
    const std::string payload = reply.substr(1, reply.size() - 4);
    EXPECT_NE(reply, link::build_frame(payload));
    client.send("\x15");
    EXPECT_TRUE(eventually([&] { return sim_->naks_received() == 1; }));
    EXPECT_EQ(client.read_all(200ms), "");
}

TEST_F(PtySimulatorTest, ChunkedReplyComesInPiecesWithPauses) {
    set_faults([](Faults& f) {
        f.chunk_size = 4;
        f.chunk_pause_ms = 40;
    });
    sim_->with_device([](Device& device) { device.set_version("0123456789"); }); // 14 bytes
    Client client(link());
    const auto start = steady_clock::now();
    client.request("V");
    EXPECT_EQ(client.read_reply(), link::build_frame("0123456789"));
    EXPECT_GE(steady_clock::now() - start, 110ms); // three pauses of 40 ms
    EXPECT_GE(client.reads.size(), 3U);
}

TEST_F(PtySimulatorTest, FramingFaultsShapeTheReplyBytes) {
    const std::string frame =
        link::build_frame(sim_->with_device([](Device& d) { return d.version(); }));
    set_faults([](Faults& f) { f.trailing_byte = true; });
    {
        Client client(link());
        client.request("V");
        EXPECT_EQ(client.read_all(300ms), frame + "\n");
    }
    set_faults([](Faults& f) { f.stray_prefix = "\r\nxx"; });
    {
        Client client(link());
        client.request("V");
        EXPECT_EQ(client.read_reply(), "\r\nxx" + frame);
    }
    set_faults([](Faults& f) { f.ack_before_frame = true; });
    {
        Client client(link());
        client.request("V");
        EXPECT_EQ(client.read_reply(), "\x06");
        EXPECT_EQ(client.read_reply(), frame);
    }
}

TEST_F(PtySimulatorTest, NewRequestDropsTheRestOfAHeldBackReply) {
    set_faults([](Faults& f) { f.ack_before_frame = true; });
    Client client(link());
    client.request("V");
    EXPECT_EQ(client.read_reply(), "\x06");
    client.request("T"); // while the frame is held back
    EXPECT_EQ(client.read_all(300ms), "\x06");
    EXPECT_EQ(sim_->requests(), (std::vector<std::string>{"V", "T"}));
}

TEST_F(PtySimulatorTest, HangUpMidReplyThenTheLinkLeadsToAFreshLine) {
    set_faults([](Faults& f) { f.hang_up_mid_reply = true; });
    const std::string before = sim_->device_path();
    {
        Client client(link());
        client.request("J");
        const std::string bytes = client.read_all(2000ms);
        EXPECT_TRUE(client.hung_up);
        EXPECT_LE(bytes.size(), link::build_frame(Device::default_descriptor()).size() / 2);
    }
    EXPECT_EQ(sim_->hang_ups(), 1);
    EXPECT_NE(sim_->device_path(), before);
    EXPECT_EQ(fs::read_symlink(link()), sim_->device_path());

    sim_->set_faults({});
    Client again(link());
    EXPECT_EQ(again.exchange("T"), "\x06");
}

TEST_F(PtySimulatorTest, VanishingDeviceHangsUpWithoutAnswer) {
    set_faults([](Faults& f) { f.vanish_on_request = true; });
    {
        Client client(link());
        client.request("V");
        EXPECT_EQ(client.read_all(2000ms), "");
        EXPECT_TRUE(client.hung_up);
    }
    sim_->set_faults({});
    Client again(link());
    EXPECT_EQ(again.exchange("T"), "\x06");
    EXPECT_EQ(sim_->requests(), (std::vector<std::string>{"V", "T"}));
}

TEST_F(PtySimulatorTest, InstantReplyIsTheInstantCommandsAndComesOnce) {
    set_faults([](Faults& f) {
        f.instant = true;
        f.instant_command = "RFTPGovUser";
    });
    Client client(link());
    client.request("T");
    EXPECT_EQ(client.read_reply(), link::build_frame("terminal"));
    client.send("\x06");
    EXPECT_EQ(client.read_all(200ms), "");
    EXPECT_EQ(sim_->requests(), std::vector<std::string>{"T"});
}

TEST_F(PtySimulatorTest, CommandFaultsHitOnlyTheirCommands) {
    Faults silent;
    silent.silent = true;
    Faults nak;
    nak.nak_all = true;
    sim_->set_command_faults({{"RFTPGovPass", silent}, {"RFTP", nak}});
    Client client(link());
    EXPECT_EQ(client.exchange("RFTPGovUser"), "\x15");
    client.request("RFTPGovPass");
    EXPECT_EQ(client.read_reply(300ms), "");
    EXPECT_EQ(client.exchange("RFtpGovFoldsCommand"), "/komande");
    // The silent device heard its request all the same.
    EXPECT_EQ(sim_->requests().size(), 3U);
}

TEST_F(PtySimulatorTest, LineSpeedPacesRequestAndReply) {
    set_faults([](Faults& f) { f.line_speed = 9600; });
    sim_->with_device([](Device& device) { device.set_version(std::string(45, 'v')); });
    Client client(link());
    const auto start = steady_clock::now();
    client.request("V");
    const std::string reply = client.read_reply();
    const auto taken = steady_clock::now() - start;
    ASSERT_EQ(reply.size(), 49U);
    const auto wire = (5 + 49) * 10 * 1s / 9600; // about 56 ms
    EXPECT_GE(taken, wire - 2ms);
    EXPECT_LT(taken, wire * 2 + 100ms);
    EXPECT_GE(client.reads.size(), 3U); // not in one piece
}

TEST_F(PtySimulatorTest, DelayHoldsTheReplyAndStopCutsItShort) {
    set_faults([](Faults& f) { f.reply_delay_ms = 10000; });
    Client client(link());
    client.request("V");
    ASSERT_TRUE(sim_->wait_for_requests(1, 2000ms));
    EXPECT_EQ(client.read_all(200ms), "");
    const auto start = steady_clock::now();
    sim_->stop();
    EXPECT_LT(steady_clock::now() - start, 1s);
}

} // namespace
} // namespace tessal::devsim
