#pragma once
// The retry worker: one queue thread that tries to bring dropped connections back. The reader
// queues a registered client that is neither upgraded nor connected and has been quiet for 5 s.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace wl {

class TWebsocketClient;

class TWebsocketRetryThread {
  public:
    static constexpr int kQuietSeconds = 5;

    static TWebsocketRetryThread& Instance();
    ~TWebsocketRetryThread();

    void Queue(TWebsocketClient* client);
    // Removes the client and waits while the worker is busy with it.
    void Remove(TWebsocketClient* client);

  private:
    TWebsocketRetryThread() = default;
    void Run();
    static void Retry(TWebsocketClient* client);

    std::mutex FLock;
    std::condition_variable FWake;
    std::condition_variable FIdle;
    std::deque<TWebsocketClient*> FQueue;
    TWebsocketClient* FBusy = nullptr;
    std::thread FThread;
    bool FStop = false;
};

}  // namespace wl
