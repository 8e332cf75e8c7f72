#include "sync/TWebsocketDispatchThread.h"

#include <algorithm>

namespace wl {

TWebsocketDispatchThread& TWebsocketDispatchThread::Instance() {
    static TWebsocketDispatchThread instance;
    return instance;
}

TWebsocketDispatchThread::~TWebsocketDispatchThread() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TWebsocketDispatchThread::Queue(const void* owner, std::function<void()> call) {
    {
        std::lock_guard lock(FLock);
        if (FStop) return;
        if (!FThread.joinable()) {
            FThread = std::thread([this] { Run(); });
            FThreadId = FThread.get_id();
        }
        FQueue.emplace_back(owner, std::move(call));
    }
    FWake.notify_one();
}

void TWebsocketDispatchThread::Purge(const void* owner) {
    std::unique_lock lock(FLock);
    std::erase_if(FQueue, [owner](const auto& item) { return item.first == owner; });
    if (std::this_thread::get_id() == FThreadId) return;
    FIdle.wait(lock, [&] { return FRunning != owner; });
}

void TWebsocketDispatchThread::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
        if (FStop) return;
        auto [owner, call] = std::move(FQueue.front());
        FQueue.pop_front();
        FRunning = owner;
        lock.unlock();
        try {
            call();
        } catch (...) {
            // An error ends only this call.
        }
        call = nullptr;  // captured state goes while the owner is still known to be running
        lock.lock();
        FRunning = nullptr;
        FIdle.notify_all();
    }
}

}  // namespace wl
