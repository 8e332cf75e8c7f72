#pragma once
// The byte stream under the WebSocket client: plain TCP or TLS over TCP. Everything above it
// (handshake, framing, pings, close, the reader and retry threads) is shared by both.
//
// Threads: not thread-safe; the I/O handler calls it only under its handler lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace wl {

class ISocketTransport {
  public:
    virtual ~ISocketTransport() = default;

    // Connects to host (an IPv4 address or a name) within timeoutMs; for TLS the verified
    // handshake too. Throws EWebSocketHandleError with a text for the sync log. Gives up with
    // "Connection aborted." soon after *aborted is set.
    virtual void Open(const std::string& host, uint16_t port, int timeoutMs,
                      const std::atomic<bool>& aborted) = 0;
    virtual void Close() noexcept = 0;
    // The socket to wait on; -1 when closed.
    virtual int Fd() const = 0;
    // Input already taken off the socket but not handed out yet: a wait on Fd() would not see it.
    virtual bool Pending() const = 0;
    // Whatever is there, without waiting: the count, 0 when nothing is there yet. Throws
    // "Connection Closed Gracefully." at the end of the stream, and on errors.
    virtual std::size_t Receive(char* buffer, std::size_t size) = 0;
    // Writes some of the bytes (at least one), waiting at most the send time-out. Throws
    // "Write timed out." or "Write failed: ..." when the connection is no use any more.
    virtual std::size_t Send(const char* bytes, std::size_t size) = 0;
    virtual void SetSendTimeout(int ms) = 0;
    virtual void SetNoDelay(bool on) = 0;
};

}  // namespace wl
