#include "sync/TWebsocketReadThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>

#include "sync/TWebsocketClient.h"
#include "sync/TWebsocketRetryThread.h"

namespace wl {
namespace {

// Whole seconds since a time of SteadyMs(); "never" (0) counts as very long ago.
int64_t WholeSecondsSince(int64_t ms) {
    return ms == 0 ? INT64_MAX / 2 : (SteadyMs() - ms) / 1000;
}

}  // namespace

TWebsocketReadThread& TWebsocketReadThread::Instance() {
    static TWebsocketReadThread instance;
    return instance;
}

TWebsocketReadThread::TWebsocketReadThread() {
    FWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TWebsocketReadThread::~TWebsocketReadThread() {
    FStop = true;
    Wake();
    if (FThread.joinable()) FThread.join();
    if (FWakeFd >= 0) ::close(FWakeFd);
}

void TWebsocketReadThread::Wake() {
    if (FWakeFd < 0) return;
    uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(FWakeFd, &one, sizeof one);
}

void TWebsocketReadThread::Register(TWebsocketClient* client) {
    {
        std::lock_guard lock(FListLock);
        if (std::find(FClients.begin(), FClients.end(), client) != FClients.end()) return;
        if (FClients.size() >= kMaxClients) {
            throw std::logic_error("Max 64 connections can be handled by one read thread!");
        }
        FClients.push_back(client);
        if (!FThread.joinable() && !FStop) FThread = std::thread([this] { Run(); });
    }
    Wake();
}

void TWebsocketReadThread::Unregister(TWebsocketClient* client) {
    {
        std::lock_guard lock(FListLock);
        std::erase(FClients, client);
    }
    Wake();
}

bool TWebsocketReadThread::IsRegistered(TWebsocketClient* client) {
    std::lock_guard lock(FListLock);
    return std::find(FClients.begin(), FClients.end(), client) != FClients.end();
}

void TWebsocketReadThread::Run() {
    while (!FStop) {
        std::vector<pollfd> fds;
        bool skipWait = false;
        {
            std::lock_guard lock(FListLock);
            for (auto* c : FClients) {
                if (!c->IsUpgraded() || c->NoAsyncRead || !c->Connected()) continue;
                fds.push_back({c->IOHandler().Socket(), POLLIN, 0});
                std::unique_lock io(c->IOHandler().Lock(), std::try_to_lock);
                if (io && c->IOHandler().HasData()) skipWait = true;
            }
        }
        const std::size_t sockets = fds.size();
        fds.push_back({FWakeFd, POLLIN, 0});
        int ready = skipWait ? 0 : ::poll(fds.data(), fds.size(), kWaitMs);
        if (ready < 0 && errno != EINTR) ready = 0;
        if (fds.back().revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] auto n = ::read(FWakeFd, &count, sizeof count);
        }
        if (FStop) return;
        bool readable = skipWait;
        for (std::size_t i = 0; i < sockets; ++i) readable = readable || fds[i].revents != 0;

        std::lock_guard lock(FListLock);
        const std::vector<TWebsocketClient*> clients = FClients;  // a reset removes from FClients
        if (readable) ReadPass(clients);
        PingAllChannels(clients);
    }
}

void TWebsocketReadThread::ReadPass(const std::vector<TWebsocketClient*>& clients) {
    bool skipped = false;
    for (auto* c : clients) {
        if (!IsRegistered(c)) continue;
        std::unique_lock connection(c->ConnectionLock(), std::try_to_lock);
        if (!connection) {
            skipped = true;
            continue;
        }
        std::unique_lock io(c->IOHandler().Lock(), std::try_to_lock);
        if (!io) {
            skipped = true;
            continue;
        }
        try {
            c->ReadAndProcessData();
        } catch (...) {
            c->ResetChannel();
        }
    }
    // A client busy sending keeps its socket readable; do not spin on it.
    if (skipped) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TWebsocketReadThread::PingAllChannels(const std::vector<TWebsocketClient*>& clients) {
    for (auto* c : clients) {
        if (!IsRegistered(c)) continue;
        auto& io = c->IOHandler();
        const bool upgraded = c->IsUpgraded(), connected = c->Connected();
        if (upgraded && connected) {
            if (WholeSecondsSince(io.LastPingTime.load()) <= c->PingInterval) continue;
            // Input still waiting to be read comes first: a check or ping could end the
            // connection before its last messages are delivered.
            std::unique_lock ioLock(io.Lock(), std::try_to_lock);
            if (!ioLock || io.HasData()) continue;
            try {
                if (c->CheckConnection()) c->Ping();
            } catch (...) {
                // A failed ping write has already marked the connection closed.
            }
        } else if (!upgraded && !connected &&
                   WholeSecondsSince(io.LastActivityTime.load()) >= TWebsocketRetryThread::kQuietSeconds) {
            TWebsocketRetryThread::Instance().Queue(c);
        }
    }
}

}  // namespace wl
