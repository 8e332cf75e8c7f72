#include "sync/TWebsocketIOHandler.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "sync/TPlainTransport.h"
#include "sync/TTlsTransport.h"

namespace wl {
namespace {

constexpr int kDefaultReadTimeoutMs = 5000;
constexpr std::size_t kMaxHttpHead = 16384;

}  // namespace

TWebsocketIOHandler::TWebsocketIOHandler() : FRandom(std::random_device{}()) {}

TWebsocketIOHandler::~TWebsocketIOHandler() {
    CloseSocket();
}

void TWebsocketIOHandler::Open(const std::string& host, uint16_t port, int connectTimeoutMs, bool tls) {
    std::lock_guard lock(FLock);
    CloseSocket();
    FTransport = tls ? std::unique_ptr<ISocketTransport>(std::make_unique<TTlsTransport>())
                     : std::make_unique<TPlainTransport>();
    FTransport->Open(host, port, connectTimeoutMs, FAborted);
    FTransport->SetNoDelay(NoDelay);
    FSocket.store(FTransport->Fd());
}

void TWebsocketIOHandler::CloseSocket() noexcept {
    std::lock_guard lock(FLock);
    FSocket.store(-1);
    if (FTransport) FTransport->Close();
}

void TWebsocketIOHandler::SetSendTimeout(int ms) {
    std::lock_guard lock(FLock);
    if (IsOpen()) FTransport->SetSendTimeout(ms);
}

bool TWebsocketIOHandler::PeerGone() {
    std::lock_guard lock(FLock);
    int fd = FSocket.load();
    if (fd < 0) return true;
    if (HasData()) return false;  // what already arrived is read first
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
    if (HasData()) return true;
    int fd = FSocket.load();
    if (fd < 0) return false;
    return WaitSocket(fd, POLLIN, ms);
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
    if (!FTransport->Pending() && !WaitSocket(fd, POLLIN, ms)) throw EWebSocketHandleError("Read timed out.");
    char buf[65536];
    const std::size_t n = FTransport->Receive(buf, sizeof buf);
    if (n == 0) return;
    into.append(buf, n);
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
        if (!FTransport->Pending() && (left <= 0 || !WaitSocket(fd, POLLIN, int(left), &FAborted)))
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
    if (!IsOpen()) throw EWebSocketHandleError("Not connected.");
    try {
        while (!bytes.empty()) bytes.remove_prefix(FTransport->Send(bytes.data(), bytes.size()));
    } catch (const EWebSocketHandleError&) {
        // The connection is no use any more: treat it as closed and tell the caller.
        IsWebsocket = false;
        CloseSocket();
        throw;
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
