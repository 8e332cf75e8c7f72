#pragma once
// A general WebSocket client (RFC 6455 client side over plain TCP or TLS): connect, opening handshake,
// text messages out, messages in through the process-wide reader and dispatcher threads, pings,
// close, and retries of dropped connections through the retry worker.
//
// Threads: the connection lock (re-entrant) serialises Connect, the handshake and Disconnect, and
// is only tried (never waited for) by the reader, Ping and the retry worker. Lock order: connection
// lock, then the handler lock. Host, Port, the time-outs and the events are set before the first
// Connect and not changed afterwards. OnTextData and OnBinData run on the dispatcher thread;
// OnDisconnected on whichever thread found the connection gone; OnReconnected and OnConnectFailed
// on the retry worker. ConnectInBackground is the way for a thread that must not wait (the UI):
// it only queues the work, and sends fail at once while a handshake is going on.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>

#include "sync/TWebsocketIOHandler.h"

namespace wl {

class TWebsocketClient {
  public:
    TWebsocketClient();
    virtual ~TWebsocketClient();
    TWebsocketClient(const TWebsocketClient&) = delete;
    TWebsocketClient& operator=(const TWebsocketClient&) = delete;

    std::string Host;
    uint16_t Port = 0;
    int ConnectTimeout = 2000;   // ms
    int WriteTimeout = 2000;     // ms, the socket's send time-out once upgraded
    int PingInterval = 10;       // whole seconds that must be exceeded between two pings
    bool NoAsyncRead = false;    // while false the client is served by the reader thread
    std::string WSResourceName;  // request target without the leading "/"
    // TLS under the WebSocket (the service's certificate verified); never falls back to plain TCP.
    bool UseTls = false;

    std::function<void(const std::string&)> OnTextData;
    std::function<void(const std::string&)> OnBinData;
    std::function<void()> OnDisconnected;
    // A connection the retry worker brought back, on its own or for ConnectInBackground.
    std::function<void()> OnReconnected;
    // Why an attempt made for ConnectInBackground failed.
    std::function<void(const std::string&)> OnConnectFailed;

    // TCP only; on an open connection it attempts the handshake instead. Throws on failure.
    void Connect();
    // TCP connection open.
    bool Connected() const { return FIOHandler.IsOpen(); }
    bool IsUpgraded() const { return FIOHandler.IsWebsocket.load(); }
    // Connects if needed and performs the handshake if not yet upgraded; throws
    // EWebSocketHandleError with the failure text.
    void UpgradeToWebsocket();
    // The same, reporting success instead of throwing (and, when asked, why it failed).
    bool TryUpgradeToWebsocket() noexcept { return TryUpgradeToWebsocket(nullptr); }
    bool TryUpgradeToWebsocket(std::string* why) noexcept;
    // Connects and upgrades on the retry worker, unless an attempt is queued or running already;
    // returns at once. The outcome comes as OnReconnected or OnConnectFailed.
    void ConnectInBackground();
    void Disconnect(bool notifyPeer);
    void Ping();
    // False (after disconnecting without notifying the peer) when the connection is found closed.
    bool CheckConnection();
    void ReadAndProcessData();
    // Drops the input and the connection after a read error, without a close handshake.
    void ResetChannel();
    void AsyncDispatchEvent(std::string text);
    void SetOnTextData(std::function<void(const std::string&)> handler) { OnTextData = std::move(handler); }

    TWebsocketIOHandler& IOHandler() { return FIOHandler; }
    std::recursive_mutex& ConnectionLock() { return FConnectionLock; }

    // The handshake request for a key (the exact bytes sent).
    std::string HandshakeRequest(const std::string& key) const;
    // A fresh key: 16 characters from " " to "~", Base64-encoded.
    std::string NewHandshakeKey();
    static std::string AcceptFor(const std::string& key);

  protected:
    // Detaches from the reader, the retry worker and the dispatcher and closes the connection
    // without firing events. Derived classes call it first in their destructor, so no event reaches
    // a half-destroyed object. Idempotent.
    void Shutdown() noexcept;

  private:
    void Handshake();
    void RegisterWithReader();

    std::recursive_mutex FConnectionLock;
    TWebsocketIOHandler FIOHandler;
    std::atomic<bool> FShutDown{false};
    std::mutex FKeyLock;
    std::mt19937 FKeyRandom;
};

}  // namespace wl
