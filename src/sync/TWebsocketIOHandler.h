#pragma once
// The connection of one WebSocket client: connect with a time-out (plain TCP or TLS, behind
// ISocketTransport), the unframed HTTP exchange of the opening handshake, masked frame writes,
// frame reads with ping answers, and the close handshake.
//
// Threads: every operation runs under Lock() (re-entrant), taken by each frame write and each read
// pass; the transport (OpenSSL's connection is not thread-safe) is only used under it. IsWebsocket,
// the socket number and the two times are atomics so that the reader thread can look at them while
// collecting sockets without taking the lock.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sync/ISocketTransport.h"
#include "sync/SocketWait.h"
#include "sync/WSFrame.h"

namespace wl {

class TWebsocketIOHandler {
  public:
    TWebsocketIOHandler();
    ~TWebsocketIOHandler();
    TWebsocketIOHandler(const TWebsocketIOHandler&) = delete;
    TWebsocketIOHandler& operator=(const TWebsocketIOHandler&) = delete;

    std::recursive_mutex& Lock() { return FLock; }

    // TCP, or TLS over TCP when `tls`. Open throws EWebSocketHandleError on failure or after
    // connectTimeoutMs (and the TLS handshake's own time-out).
    void Open(const std::string& host, uint16_t port, int connectTimeoutMs, bool tls = false);
    // Ends a connect or a wait for the handshake's answer within kAbortCheckMs and refuses every
    // later one (they throw "Connection aborted."); for the client's shutdown. Any thread.
    void Abort() { FAborted = true; }
    static constexpr int kAbortCheckMs = wl::kAbortCheckMs;
    bool IsOpen() const { return FSocket.load() >= 0; }
    int Socket() const { return FSocket.load(); }
    void CloseSocket() noexcept;
    void SetSendTimeout(int ms);
    // A closed or failed connection shows as hang-up, error or end of stream (nothing is consumed).
    bool PeerGone();
    bool Readable(int ms);

    // Both input buffers, IsWebsocket, Closing, CloseCodeSend, close code and reason, both times.
    void Clear();

    // The HTTP exchange of the handshake, unframed.
    void WriteRaw(std::string_view bytes);
    // Reads up to and including the empty line; bytes behind it stay buffered for the frame input.
    std::string ReadHttpHead(int timeoutMs);
    // The handshake succeeded: from now on bytes are framed, the ones already received included.
    void SetWebsocket();

    // One text message as one frame with FIN set. Refuses when the handshake has not succeeded.
    void Write(std::string_view text);
    void WriteData(std::string_view bytes, TWSDataCode code, bool rsv1 = false, bool rsv2 = false,
                   bool rsv3 = false, bool fin = true);

    // One message (or control frame), waiting up to ReadTimeout for every missing piece. Pings are
    // answered with pongs, a close frame is answered and the socket closed. nullopt when nothing
    // is buffered and the socket has nothing to read.
    std::optional<TWSMessage> ReadMessage();
    // Input received and not yet handed out: in the frame input or still inside the transport.
    bool HasData() const { return FFrames.HasData() || (FTransport && FTransport->Pending()); }

    // Close handshake; also used when the program disconnects. Errors are ignored.
    void Close();

    std::atomic<bool> IsWebsocket{false};
    bool Closing = false;
    bool CloseCodeSend = false;
    int CloseCode = 1000;
    std::string CloseReason;
    std::atomic<int64_t> LastActivityTime{0};
    std::atomic<int64_t> LastPingTime{0};
    int ReadTimeout = 0;  // ms; the handshake raises it to at least 5000
    bool NoDelay = true;

  private:
    // Reads what is there (after waiting up to ms) into the given reader; throws on a closed socket.
    void Receive(int ms, std::string& into);
    void SendAll(std::string_view bytes);
    uint32_t NewMaskKey();

    std::recursive_mutex FLock;
    std::unique_ptr<ISocketTransport> FTransport;
    std::atomic<int> FSocket{-1};  // FTransport's socket while it is open
    std::atomic<bool> FAborted{false};
    std::string FHttpInput;  // raw bytes while not upgraded
    TWSFrameReader FFrames;
    std::mt19937 FRandom;
};

}  // namespace wl
