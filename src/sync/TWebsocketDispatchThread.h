#pragma once
// The one dispatcher of the process: runs queued calls (the clients' message events) on its own
// thread, one at a time, in arrival order. An error raised by a call ends only that call.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace wl {

class TWebsocketDispatchThread {
  public:
    static TWebsocketDispatchThread& Instance();
    ~TWebsocketDispatchThread();

    // Queues a call on behalf of owner; starts the thread on first use.
    void Queue(const void* owner, std::function<void()> call);
    // Drops the owner's queued calls and waits for its running call, unless called from that call.
    void Purge(const void* owner);

  private:
    TWebsocketDispatchThread() = default;
    void Run();

    std::mutex FLock;
    std::condition_variable FWake;  // a call was queued, or stop
    std::condition_variable FIdle;  // a call finished
    std::deque<std::pair<const void*, std::function<void()>>> FQueue;
    const void* FRunning = nullptr;
    std::thread::id FThreadId;
    std::thread FThread;
    bool FStop = false;
};

}  // namespace wl
