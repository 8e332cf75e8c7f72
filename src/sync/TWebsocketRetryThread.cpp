#include "sync/TWebsocketRetryThread.h"

#include <algorithm>

#include "sync/TWebsocketClient.h"

namespace wl {

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

void TWebsocketRetryThread::Queue(TWebsocketClient* client) {
    {
        std::lock_guard lock(FLock);
        if (FStop || FBusy == client || std::find(FQueue.begin(), FQueue.end(), client) != FQueue.end())
            return;
        if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
        FQueue.push_back(client);
    }
    FWake.notify_one();
}

void TWebsocketRetryThread::Remove(TWebsocketClient* client) {
    std::unique_lock lock(FLock);
    std::erase(FQueue, client);
    FIdle.wait(lock, [&] { return FBusy != client; });
}

void TWebsocketRetryThread::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
        if (FStop) return;
        TWebsocketClient* client = FQueue.front();
        FQueue.pop_front();
        FBusy = client;
        lock.unlock();
        Retry(client);
        lock.lock();
        FBusy = nullptr;
        FIdle.notify_all();
    }
}

void TWebsocketRetryThread::Retry(TWebsocketClient* client) {
    std::unique_lock connection(client->ConnectionLock(), std::try_to_lock);
    if (!connection) return;  // someone is connecting it right now
    auto& io = client->IOHandler();
    int64_t last = io.LastActivityTime.load();
    bool quiet = last == 0 || SteadyMs() - last >= kQuietSeconds * 1000;
    if (!quiet || client->Connected()) return;
    io.LastActivityTime = SteadyMs();
    if (client->Host.empty() || client->Port == 0) return;
    if (client->TryUpgradeToWebsocket() && client->OnReconnected) {
        try {
            client->OnReconnected();
        } catch (...) {
        }
    }
}

}  // namespace wl
