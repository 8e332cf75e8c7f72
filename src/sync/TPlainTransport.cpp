#include "sync/TPlainTransport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/HostName.h"

#include "sync/SocketWait.h"
#include "sync/WSFrame.h"

namespace wl {
namespace {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Closes fd unless released: every failure path of a connect leaves nothing open.
struct TFdGuard {
    int fd;
    ~TFdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

// Looks a name up on a thread of its own: a resolver that does not answer holds the connect no
// longer than its time-out and never holds the client's shutdown (the lookup is left to finish
// on its own).
in_addr LookUp(const std::string& host, int64_t deadline, const std::atomic<bool>& aborted) {
    struct TLookup {
        std::mutex Lock;
        std::condition_variable Done;
        bool Finished = false;
        int Result = 0;
        in_addr Address{};
    };
    auto lookup = std::make_shared<TLookup>();
    std::thread([lookup, host] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
        std::lock_guard lock(lookup->Lock);
        lookup->Result = result;
        if (result == 0) lookup->Address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        if (found) ::freeaddrinfo(found);
        lookup->Finished = true;
        lookup->Done.notify_all();
    }).detach();
    std::unique_lock lock(lookup->Lock);
    while (!lookup->Finished) {
        if (aborted) throw EWebSocketHandleError("Connection aborted.");
        if (SteadyMs() >= deadline) throw EWebSocketHandleError("Looking up \"" + host + "\" timed out");
        lookup->Done.wait_for(lock, std::chrono::milliseconds(kAbortCheckMs));
    }
    if (lookup->Result != 0)
        throw EWebSocketHandleError("Cannot find \"" + host + "\": " + ::gai_strerror(lookup->Result));
    return lookup->Address;
}

}  // namespace

void TPlainTransport::Open(const std::string& host, uint16_t port, int timeoutMs,
                           const std::atomic<bool>& aborted) {
    Close();
    const int64_t deadline = SteadyMs() + timeoutMs;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        if (!IsHostName(host)) throw EWebSocketHandleError("Invalid host address: \"" + host + "\"");
        addr.sin_addr = LookUp(host, deadline, aborted);
    }
    const std::string where = host + ":" + std::to_string(port);
    TFdGuard fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (fd.fd < 0) throw EWebSocketHandleError("Socket error: " + ErrnoText(errno));
    if (aborted) throw EWebSocketHandleError("Connection aborted.");

    const int rc = ::connect(fd.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno != EINPROGRESS) {
        throw EWebSocketHandleError("Connect to " + where + " failed: " + ErrnoText(errno));
    }
    if (rc != 0) {
        if (!WaitSocket(fd.fd, POLLOUT, int(std::max<int64_t>(deadline - SteadyMs(), 0)), &aborted))
            throw EWebSocketHandleError("Connect to " + where + " timed out");
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd.fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) throw EWebSocketHandleError("Connect to " + where + " failed: " + ErrnoText(err));
    }
    ::fcntl(fd.fd, F_SETFL, ::fcntl(fd.fd, F_GETFL) & ~O_NONBLOCK);
    FSocket = fd.Release();
}

void TPlainTransport::Close() noexcept {
    if (FSocket < 0) return;
    ::shutdown(FSocket, SHUT_RDWR);
    ::close(FSocket);
    FSocket = -1;
}

std::size_t TPlainTransport::Receive(char* buffer, std::size_t size) {
    const ssize_t n = ::recv(FSocket, buffer, size, MSG_DONTWAIT);
    if (n == 0) throw EWebSocketHandleError("Connection Closed Gracefully.");
    if (n > 0) return std::size_t(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    throw EWebSocketHandleError("Read failed: " + ErrnoText(errno));
}

std::size_t TPlainTransport::Send(const char* bytes, std::size_t size) {
    for (;;) {
        const ssize_t n = ::send(FSocket, bytes, size, MSG_NOSIGNAL);
        if (n > 0) return std::size_t(n);
        if (n < 0 && errno == EINTR) continue;
        const int err = errno;
        throw EWebSocketHandleError(err == EAGAIN || err == EWOULDBLOCK ? "Write timed out."
                                                                        : "Write failed: " + ErrnoText(err));
    }
}

void TPlainTransport::SetSendTimeout(int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void TPlainTransport::SetNoDelay(bool on) {
    int one = on ? 1 : 0;
    ::setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace wl
