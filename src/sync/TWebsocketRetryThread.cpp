#include "sync/TWebsocketRetryThread.h"

#include <algorithm>

#include "sync/TWebsocketClient.h"

namespace wl {

namespace {

// An event handler's failure stays with the handler.
template <class F>
void Report(F&& event) {
    try {
        event();
    } catch (...) {
    }
}

}  // namespace

TWebsocketRetryThread& TWebsocketRetryThread::Instance() {
    static TWebsocketRetryThread instance;
    return instance;
}

TWebsocketRetryThread::~TWebsocketRetryThread() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TWebsocketRetryThread::Queue(TWebsocketClient* client, Reason reason) {
    {
        std::lock_guard lock(FLock);
        if (FStop || FBusy == client) return;
        auto queued =
            std::find_if(FQueue.begin(), FQueue.end(), [&](const Entry& e) { return e.client == client; });
        if (queued != FQueue.end()) {
            if (reason == Asked) queued->reason = Asked;
            return;
        }
        if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
        FQueue.push_back({client, reason});
    }
    FWake.notify_one();
}

void TWebsocketRetryThread::Remove(TWebsocketClient* client) {
    std::unique_lock lock(FLock);
    std::erase_if(FQueue, [&](const Entry& e) { return e.client == client; });
    FIdle.wait(lock, [&] { return FBusy != client; });
}

void TWebsocketRetryThread::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
        if (FStop) return;
        const Entry entry = FQueue.front();
        FQueue.pop_front();
        FBusy = entry.client;
        lock.unlock();
        Retry(entry.client, entry.reason);
        lock.lock();
        FBusy = nullptr;
        FIdle.notify_all();
    }
}

void TWebsocketRetryThread::Retry(TWebsocketClient* client, Reason reason) {
    std::unique_lock connection(client->ConnectionLock(), std::try_to_lock);
    if (!connection) return;  // someone is connecting it right now
    auto& io = client->IOHandler();
    if (reason == Asked) {
        if (client->Connected() && client->IsUpgraded()) return;
    } else {
        int64_t last = io.LastActivityTime.load();
        bool quiet = last == 0 || SteadyMs() - last >= kQuietSeconds * 1000;
        if (!quiet || client->Connected()) return;
    }
    io.LastActivityTime = SteadyMs();
    if (client->Host.empty() || client->Port == 0) return;
    std::string why;
    if (client->TryUpgradeToWebsocket(&why)) {
        if (client->OnReconnected) Report([&] { client->OnReconnected(); });
    } else if (reason == Asked && client->OnConnectFailed) {
        Report([&] { client->OnConnectFailed(why); });
    }
}

}  // namespace wl
