// SPDX-License-Identifier: Apache-2.0
#pragma once

// A TCP proxy on 127.0.0.1 in front of a server's port, that can be frozen
// as a stalled network or a hung peer is: every connection stays
// established and the kernel still acknowledges what is sent, but no byte
// moves either way and no new connection is taken up.  Ending the proxy
// closes every connection.  POSIX only.

#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace tessal::testing {

class TcpProxy {
  public:
    explicit TcpProxy(int target_port) : target_(target_port) {
        listen();
        thread_ = std::thread([this] { run(); });
    }
    ~TcpProxy() {
        ending_ = true;
        thread_.join();
        for (const auto& [a, b] : pairs_) {
            ::close(a);
            ::close(b);
        }
        ::close(listener_);
    }
    TcpProxy(const TcpProxy&) = delete;
    TcpProxy& operator=(const TcpProxy&) = delete;

    int port() const { return port_; }
    // The URL of the server behind it, `server`, through the proxy.
    QString url(const QString& server) const {
        QUrl through(server);
        through.setPort(port_);
        return through.toString();
    }
    void freeze(bool frozen) { frozen_ = frozen; }

  private:
    // Listens on a free port.
    void listen() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in at = address(0);
        socklen_t size = sizeof at;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
    }
    static sockaddr_in address(int port) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<uint16_t>(port));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return at;
    }
    // Moves what `from` has to `to`; false when either end is gone.
    static bool pass(int from, int to) {
        char bytes[16384];
        const ssize_t got = ::read(from, bytes, sizeof bytes);
        for (ssize_t sent = 0; got > 0 && sent < got;) {
            const ssize_t n =
                ::send(to, bytes + sent, static_cast<size_t>(got - sent), MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += n;
        }
        return got > 0;
    }
    void take_up() {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in at = address(target_);
        if (client < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
            ::close(client);
            ::close(server);
            return;
        }
        pairs_.emplace_back(client, server);
    }
    void run() {
        while (!ending_) {
            if (frozen_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::vector<pollfd> watched{{listener_, POLLIN, 0}};
            for (const auto& [a, b] : pairs_) {
                watched.push_back({a, POLLIN, 0});
                watched.push_back({b, POLLIN, 0});
            }
            if (::poll(watched.data(), watched.size(), 20) <= 0) {
                continue;
            }
            if (watched[0].revents != 0) {
                take_up();
            }
            std::vector<std::pair<int, int>> open;
            for (std::size_t i = 0; i < pairs_.size(); ++i) {
                const auto [a, b] = pairs_[i];
                const bool polled = 2 * i + 2 < watched.size();
                if (polled && (((watched[2 * i + 1].revents != 0) && !pass(a, b)) ||
                               ((watched[2 * i + 2].revents != 0) && !pass(b, a)))) {
                    ::close(a);
                    ::close(b);
                } else {
                    open.push_back(pairs_[i]);
                }
            }
            pairs_ = std::move(open);
        }
    }

    int target_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> frozen_{false};
    std::atomic<bool> ending_{false};
    std::vector<std::pair<int, int>> pairs_;
    std::thread thread_;
};

} // namespace tessal::testing
