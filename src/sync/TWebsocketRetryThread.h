#pragma once
// The retry worker: one queue thread that connects clients in the background. The reader queues a
// registered client that is neither upgraded nor connected and has been quiet for 5 s; a client's
// ConnectInBackground queues it at once (asked), and a failure of such an attempt is reported.
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

    enum Reason { Quiet, Asked };
    // A client already queued or being tried is not queued twice (an Asked one stays asked).
    void Queue(TWebsocketClient* client, Reason reason = Quiet);
    // Removes the client and waits while the worker is busy with it.
    void Remove(TWebsocketClient* client);

  private:
    TWebsocketRetryThread() = default;
    void Run();
    struct Entry {
        TWebsocketClient* client;
        Reason reason;
    };
    static void Retry(TWebsocketClient* client, Reason reason);

    std::mutex FLock;
    std::condition_variable FWake;
    std::condition_variable FIdle;
    std::deque<Entry> FQueue;
    TWebsocketClient* FBusy = nullptr;
    std::thread FThread;
    bool FStop = false;
};

}  // namespace wl
