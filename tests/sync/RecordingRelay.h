#pragma once
// A loopback TCP relay in front of a service that keeps every byte its clients sent, so that a
// test can tell what went over the wire in clear. One connection at a time, in order.
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace wl::test {

class TRecordingRelay {
  public:
    explicit TRecordingRelay(int targetPort) : FTarget(targetPort) {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = Loopback(0);
        ::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(FListen, 8);
        socklen_t len = sizeof addr;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] { Run(); });
    }
    ~TRecordingRelay() {
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(FStop, &one, sizeof one);
        FThread.join();
        ::close(FListen);
        ::close(FStop);
    }
    TRecordingRelay(const TRecordingRelay&) = delete;
    TRecordingRelay& operator=(const TRecordingRelay&) = delete;

    int Port() const { return FPort; }
    int Connections() const { return FConnections; }
    // Every byte the clients sent, all connections one after the other.
    std::string ClientBytes() {
        std::lock_guard lock(FLock);
        return FClientBytes;
    }

  private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(uint16_t(port));
        return addr;
    }

    void Run() {
        for (;;) {
            pollfd waits[2] = {{FListen, POLLIN, 0}, {FStop, POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0 || waits[1].revents) return;
            const int client = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            ++FConnections;
            const int service = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr = Loopback(FTarget);
            const bool stop = ::connect(service, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
                              !Relay(client, service);
            ::close(client);
            ::close(service);
            if (stop) return;
        }
    }

    // Until either side closes; false when the relay is told to stop.
    bool Relay(int client, int service) {
        char buffer[16384];
        for (;;) {
            pollfd waits[3] = {{client, POLLIN, 0}, {service, POLLIN, 0}, {FStop, POLLIN, 0}};
            if (::poll(waits, 3, -1) < 0 || waits[2].revents) return false;
            for (int from = 0; from < 2; ++from) {
                if (!waits[from].revents) continue;
                const ssize_t n = ::recv(waits[from].fd, buffer, sizeof buffer, 0);
                if (n <= 0) return true;
                if (from == 0) {
                    std::lock_guard lock(FLock);
                    FClientBytes.append(buffer, std::size_t(n));
                }
                if (::send(waits[1 - from].fd, buffer, std::size_t(n), MSG_NOSIGNAL) != n) return true;
            }
        }
    }

    const int FTarget;
    int FListen = -1;
    int FStop = ::eventfd(0, EFD_CLOEXEC);
    int FPort = 0;
    std::atomic<int> FConnections{0};
    std::mutex FLock;
    std::string FClientBytes;
    std::thread FThread;
};

}  // namespace wl::test
