#include "sync/TWebsocketIOHandler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace wl {
namespace {

constexpr int kDefaultReadTimeoutMs = 5000;
constexpr std::size_t kMaxHttpHead = 16384;

std::string ErrnoText(int err) {
    return std::strerror(err);
}

}  // namespace

int64_t SteadyMs() {
    using namespace std::chrono;
    // Offset so that a real time is never 0, which stands for "never".
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + 1;
}

TWebsocketIOHandler::TWebsocketIOHandler() : FRandom(std::random_device{}()) {}

TWebsocketIOHandler::~TWebsocketIOHandler() {
    CloseSocket();
}

void TWebsocketIOHandler::Open(const std::string& host, uint16_t port, int connectTimeoutMs) {
    std::lock_guard lock(FLock);
    CloseSocket();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        throw EWebSocketHandleError("Invalid host address: \"" + host + "\"");
    }
    const std::string where = host + ":" + std::to_string(port);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw EWebSocketHandleError("Socket error: " + ErrnoText(errno));
    if (FAborted) {
        ::close(fd);
        throw EWebSocketHandleError("Connection aborted.");
    }

    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno != EINPROGRESS) {
        int err = errno;
        ::close(fd);
        throw EWebSocketHandleError("Connect to " + where + " failed: " + ErrnoText(err));
    }
    if (rc != 0) {
        bool ready = false;
        try {
            ready = WaitAbortable(fd, POLLOUT, connectTimeoutMs);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (!ready) {
            ::close(fd);
            throw EWebSocketHandleError("Connect to " + where + " timed out");
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            ::close(fd);
            throw EWebSocketHandleError("Connect to " + where + " failed: " + ErrnoText(err));
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int one = NoDelay ? 1 : 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    FSocket.store(fd);
}

bool TWebsocketIOHandler::WaitAbortable(int fd, short events, int ms) {
    const int64_t deadline = SteadyMs() + ms;
    for (;;) {
        if (FAborted) throw EWebSocketHandleError("Connection aborted.");
        const int64_t left = deadline - SteadyMs();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, int(std::min<int64_t>(left, kAbortCheckMs)));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) throw EWebSocketHandleError("Wait failed: " + ErrnoText(errno));
    }
}

void TWebsocketIOHandler::CloseSocket() noexcept {
    std::lock_guard lock(FLock);
    int fd = FSocket.exchange(-1);
    if (fd < 0) return;
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

void TWebsocketIOHandler::SetSendTimeout(int ms) {
    std::lock_guard lock(FLock);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(FSocket.load(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool TWebsocketIOHandler::PeerGone() {
    std::lock_guard lock(FLock);
    int fd = FSocket.load();
    if (fd < 0) return true;
    if (FFrames.HasData()) return false;  // what already arrived is read first
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & POLLIN) {
        char c;
        ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) return false;  // data first; the end of the stream is met by the read
        return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }
    return (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

bool TWebsocketIOHandler::Readable(int ms) {
    std::lock_guard lock(FLock);
    if (FFrames.HasData()) return true;
    int fd = FSocket.load();
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void TWebsocketIOHandler::Clear() {
    std::lock_guard lock(FLock);
    FHttpInput.clear();
    FFrames.Clear();
    IsWebsocket = false;
    Closing = false;
    CloseCodeSend = false;
    CloseCode = 1000;
    CloseReason.clear();
    LastActivityTime = 0;
    LastPingTime = 0;
}

void TWebsocketIOHandler::Receive(int ms, std::string& into) {
    int fd = FSocket.load();
    if (fd < 0) throw EWebSocketHandleError("Not connected.");
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, ms);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) throw EWebSocketHandleError("Read timed out.");
    char buf[65536];
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0) throw EWebSocketHandleError("Connection Closed Gracefully.");
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        throw EWebSocketHandleError("Read failed: " + ErrnoText(errno));
    }
    into.append(buf, std::size_t(n));
    LastActivityTime = SteadyMs();
}

std::string TWebsocketIOHandler::ReadHttpHead(int timeoutMs) {
    std::lock_guard lock(FLock);
    const int64_t deadline = SteadyMs() + timeoutMs;
    for (;;) {
        auto end = FHttpInput.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string head = FHttpInput.substr(0, end + 4);
            FHttpInput.erase(0, end + 4);
            return head;
        }
        if (FHttpInput.size() > kMaxHttpHead) throw EWebSocketHandleError("HTTP response header too long");
        const int64_t left = deadline - SteadyMs();
        const int fd = FSocket.load();
        if (fd < 0) throw EWebSocketHandleError("Not connected.");
        if (left <= 0 || !WaitAbortable(fd, POLLIN, int(left)))
            throw EWebSocketHandleError("Read timed out.");
        Receive(0, FHttpInput);
    }
}

void TWebsocketIOHandler::SetWebsocket() {
    std::lock_guard lock(FLock);
    FFrames.Clear();
    FFrames.Append(FHttpInput);
    FHttpInput.clear();
    IsWebsocket = true;
}

void TWebsocketIOHandler::SendAll(std::string_view bytes) {
    int fd = FSocket.load();
    if (fd < 0) throw EWebSocketHandleError("Not connected.");
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The connection is no use any more: treat it as closed and tell the caller.
            int err = errno;
            IsWebsocket = false;
            CloseSocket();
            throw EWebSocketHandleError(
                err == EAGAIN || err == EWOULDBLOCK ? "Write timed out." : "Write failed: " + ErrnoText(err));
        }
        bytes.remove_prefix(std::size_t(n));
    }
}

void TWebsocketIOHandler::WriteRaw(std::string_view bytes) {
    std::lock_guard lock(FLock);
    SendAll(bytes);
    LastActivityTime = SteadyMs();
}

uint32_t TWebsocketIOHandler::NewMaskKey() {
    return std::uniform_int_distribution<uint32_t>(0, 2147483646)(FRandom);
}

void TWebsocketIOHandler::Write(std::string_view text) {
    // JSON sent unframed into a connection that expects frames would only confuse the peer. Looked
    // at before the lock too: a handshake in progress holds the lock for as long as the service
    // takes to answer, and a send must fail at once instead of waiting behind it.
    auto refuseUnlessUpgraded = [this] {
        if (!IsOpen() || !IsWebsocket) throw EWebSocketHandleError("Not connected.");
    };
    refuseUnlessUpgraded();
    std::lock_guard lock(FLock);
    refuseUnlessUpgraded();
    WriteData(text, wdcText);
}

void TWebsocketIOHandler::WriteData(std::string_view bytes, TWSDataCode code, bool rsv1, bool rsv2, bool rsv3,
                                    bool fin) {
    std::lock_guard lock(FLock);
    SendAll(EncodeFrame(bytes, code, NewMaskKey(), fin, rsv1, rsv2, rsv3));
    LastActivityTime = SteadyMs();
}

std::optional<TWSMessage> TWebsocketIOHandler::ReadMessage() {
    std::lock_guard lock(FLock);
    for (;;) {
        auto m = FFrames.Next();
        if (m) {
            if (m->Code == wdcPing) {
                WriteData(m->Payload, wdcPong);
            } else if (m->Code == wdcClose) {
                const auto& p = m->Payload;
                CloseCode = p.size() >= 2 ? (uint8_t(p[0]) << 8 | uint8_t(p[1])) : 1000;
                CloseReason = p.size() > 2 ? p.substr(2) : std::string();
                Closing = true;
                Close();
            }
            return m;
        }
        if (!IsOpen()) return std::nullopt;
        if (!FFrames.MidMessage()) {
            if (!Readable(0)) return std::nullopt;
            std::string bytes;
            Receive(0, bytes);
            FFrames.Append(bytes);
            continue;
        }
        std::string bytes;
        Receive(ReadTimeout > 0 ? ReadTimeout : kDefaultReadTimeoutMs, bytes);
        FFrames.Append(bytes);
    }
}

void TWebsocketIOHandler::Close() {
    std::lock_guard lock(FLock);
    try {
        if (IsOpen() && IsWebsocket && !CloseCodeSend) {
            const bool peerStarted = Closing;
            std::string payload("\x03\xE8", 2);
            if (!peerStarted) {
                int code = std::max(CloseCode, 1000);
                payload = {char(code >> 8), char(code & 0xFF)};
                payload += CloseReason;
            }
            CloseCodeSend = true;
            WriteData(payload, wdcClose);
            if (!peerStarted) {
                // Wait for the peer's answer: until it closes, or 1000 ms pass without data.
                Closing = true;
                const int64_t giveUp = SteadyMs() + 5000;
                bool answered = false;
                while (!answered && IsOpen() && SteadyMs() < giveUp && Readable(1000)) {
                    std::string bytes;
                    Receive(0, bytes);
                    FFrames.Append(bytes);
                    while (auto m = FFrames.Next()) answered = answered || m->Code == wdcClose;
                }
            }
        }
    } catch (...) {
        // The connection ends either way.
    }
    IsWebsocket = false;
    CloseSocket();
}

}  // namespace wl
