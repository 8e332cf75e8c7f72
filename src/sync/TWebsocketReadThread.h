#pragma once
// The one reader of the process: waits on the sockets of all registered clients at once (one poll
// with a wake-up eventfd), reads their frames, and does the housekeeping: pings after more than
// PingInterval seconds, connection checks, and retries of dropped connections.
//
// Threads: the client list is guarded by a re-entrant lock held for a whole read pass, so
// Unregister returns only when the reader no longer touches the client. The reader only tries the
// clients' locks and skips a busy client.
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace wl {

class TWebsocketClient;

class TWebsocketReadThread {
  public:
    static constexpr std::size_t kMaxClients = 64;
    static constexpr int kWaitMs = 5000;

    static TWebsocketReadThread& Instance();
    ~TWebsocketReadThread();

    // Starts the thread on first use; throws std::logic_error beyond kMaxClients.
    void Register(TWebsocketClient* client);
    void Unregister(TWebsocketClient* client);
    bool IsRegistered(TWebsocketClient* client);

  private:
    TWebsocketReadThread();
    void Run();
    void Wake();
    void ReadPass(const std::vector<TWebsocketClient*>& clients);
    void PingAllChannels(const std::vector<TWebsocketClient*>& clients);

    std::recursive_mutex FListLock;
    std::vector<TWebsocketClient*> FClients;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    int FWakeFd = -1;
};

}  // namespace wl
