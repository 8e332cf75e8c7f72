#include "sync/TWLSocket.h"

namespace wl {

TWLSocket::TWLSocket(TWeekleaf& AWeekleaf, std::function<std::string()> AKey, TExecutor AStoreExecutor,
                     TSyncLogSink& ALog, TSyncEvents* AEvents, std::string AHost, uint16_t APort, TOpen AOpen,
                     bool ATls)
    : FWeekleaf(AWeekleaf),
      FKeyOf(std::move(AKey)),
      FStoreExecutor(std::move(AStoreExecutor)),
      FLog(ALog),
      FEvents(AEvents) {
    Port = APort;
    Host = std::move(AHost);
    UseTls = ATls;
    try {
        FKey = FKeyOf ? FKeyOf() : std::string();
    } catch (...) {
    }
    OnTextData = [this](const std::string& text) { OnStoreThread([this, text] { FromServTextData(text); }); };
    OnDisconnected = [this] { DisconnectEvent(); };
    // The service knows nothing of what happened while we were away: ask for the week again.
    OnReconnected = [this] {
        OnStoreThread([this] {
            try {
                GetCurrentWeek();
            } catch (const std::exception& e) {
                WriteLog(std::string("Socket.ReConnect: ") + e.what());
            }
        });
    };
    OnConnectFailed = [this](const std::string& why) { WriteLog("Socket.ReConnect: " + why); };
    if (AOpen == TOpen::Later) return;
    try {
        Connect();
        WriteLog("Socket.Create: Connected");
    } catch (const std::exception& e) {
        WriteLog(std::string("Socket.Create: ") + e.what());
    }
}

TWLSocket::~TWLSocket() {
    Shutdown();
    std::lock_guard lock(FLife->Lock);  // waits for a task of ours that is running right now
    FLife->Alive = false;
}

void TWLSocket::OnStoreThread(std::function<void()> work) {
    FStoreExecutor([life = FLife, work = std::move(work)] {
        std::lock_guard lock(life->Lock);
        if (life->Alive) work();
    });
}

bool TWLSocket::ReConnect() {
    try {
        Connect();
        if (Connected()) {
            WriteLog("Socket.ReConnect: CONNECTED <-----<<<");
            UpgradeToWebsocket();
            GetCurrentWeek();
        }
    } catch (const std::exception& e) {
        WriteLog(std::string("Socket.ReConnect: ") + e.what());
    }
    return Connected();
}

void TWLSocket::DisconnectEvent() {
    WriteLog("TWLSocket.DisconnectEvent | @@@@@@@@@@@@@@@@ <-----<<<< ");
}

void TWLSocket::WriteLog(const std::string& msg) {
    const DateTime now = Now();
    FLog.AddLine(DateToStr(now.date) + " " + TimeToStr(now.seconds) + ": " + msg);
}

}  // namespace wl
