#pragma once
// The socket of one WebSocket client: TCP connect with a time-out, the unframed HTTP exchange of the
// opening handshake, masked frame writes, frame reads with ping answers, and the close handshake.
//
// Threads: every operation runs under Lock() (re-entrant), taken by each frame write and each read
// pass. IsWebsocket, the socket number and the two times are atomics so that the reader thread can
// look at them while collecting sockets without taking the lock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sync/WSFrame.h"

namespace wl {

// Milliseconds of a monotonic clock; 0 stands for "never".
int64_t SteadyMs();

class TWebsocketIOHandler {
  public:
    TWebsocketIOHandler();
    ~TWebsocketIOHandler();
    TWebsocketIOHandler(const TWebsocketIOHandler&) = delete;
    TWebsocketIOHandler& operator=(const TWebsocketIOHandler&) = delete;

    std::recursive_mutex& Lock() { return FLock; }

    // TCP. Open throws EWebSocketHandleError on failure or after connectTimeoutMs.
    void Open(const std::string& host, uint16_t port, int connectTimeoutMs);
    // Ends a connect or a wait for the handshake's answer within kAbortCheckMs and refuses every
    // later one (they throw "Connection aborted."); for the client's shutdown. Any thread.
    void Abort() { FAborted = true; }
    static constexpr int kAbortCheckMs = 50;
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
    bool HasData() const { return FFrames.HasData(); }

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
    // Waits up to ms for the events on fd, looking at Abort() every kAbortCheckMs; false on time-out.
    bool WaitAbortable(int fd, short events, int ms);
    void SendAll(std::string_view bytes);
    uint32_t NewMaskKey();

    std::recursive_mutex FLock;
    std::atomic<int> FSocket{-1};
    std::atomic<bool> FAborted{false};
    std::string FHttpInput;  // raw bytes while not upgraded
    TWSFrameReader FFrames;
    std::mt19937 FRandom;
};

}  // namespace wl
