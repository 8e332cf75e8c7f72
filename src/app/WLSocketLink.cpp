#include "app/WLSocketLink.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "data/TSettings.h"
#include "sync/TSyncLog.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

void MainThread(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

class TWLSocketLink final : public ISyncClient, private TSyncEvents {
  public:
    TWLSocketLink(TWeekleaf& store, TSettings& settings)
        : FSocket(
              store, [&settings] { return settings.Key(); }, MainThread, FLog, this, settings.SyncHost(),
              settings.SyncPort(), TWLSocket::TOpen::Later, settings.SyncTls()) {
        // Every connection, the first one included, is made on the retry worker; once it is up,
        // offline edits go out before the week is asked for, on the main thread, which owns the
        // store and the record of those edits.
        FSocket.OnReconnected = [this, alive = std::weak_ptr<bool>(FAlive)] {
            MainThread([this, alive] {
                if (!alive.expired()) WhenConnected();
            });
        };
    }

    bool Start() override {
        FSocket.ConnectInBackground();
        return Connected();
    }

    bool ReConnect() override {
        if (!Connected()) FSocket.ConnectInBackground();
        return Connected();
    }

    bool Connected() override { return FSocket.Connected() && FSocket.IsUpgraded(); }

    void SetBeforeWeek(std::function<void()> beforeWeek) override { FBeforeWeek = std::move(beforeWeek); }
    TSyncLogMemo* LogMemo() override { return &FLog; }

    void GetCurrentWeek() override { FSocket.GetCurrentWeek(); }
    void GetDay(Date day) override { FSocket.GetDay(day); }
    void SetDay(Date day, const std::string& html) override { FSocket.SetDay(day, html); }
    void GetDaysRange(Date start, Date end) override { FSocket.GetDaysRange(start, end); }
    void GetNote() override { FSocket.GetNote(); }
    void GetTemplate() override { FSocket.GetTemplate(); }
    void SetTemplate(const std::string& html) override { FSocket.SetTemplate(html); }
    void SetNote(const std::string& html) override { FSocket.SetNote(html); }
    void GetSearch(const std::string& text) override { FSocket.GetSearch(text); }

  private:
    void WhenConnected() {
        try {
            FSocket.WriteLog("Socket.ReConnect: CONNECTED <-----<<<");
            if (!FAnnounced && OnStatus) OnStatus("Связь с сервисом синхронизации установлена");
            FAnnounced = true;
            if (FBeforeWeek) FBeforeWeek();
            FSocket.GetCurrentWeek();
        } catch (const std::exception& e) {
            FSocket.WriteLog(std::string("Socket.ReConnect: ") + e.what());
        }
    }

    void NotePreviewChanged(const std::string& plainText) override {
        if (OnNotePreview) OnNotePreview(plainText);
    }

    void DayUpdated(Date day, const std::string& /*html*/) override {
        if (OnDayStored) OnDayStored(day);
    }

    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    std::function<void()> FBeforeWeek;
    bool FAnnounced = false;
    TSyncLogMemo FLog;  // shown by the sync log window once it exists
    TWLSocket FSocket;  // last: destroyed first, so no event reaches the members above late
};

}  // namespace

std::unique_ptr<ISyncClient> MakeWLSocketLink(TWeekleaf& store, TSettings& settings) {
    return std::make_unique<TWLSocketLink>(store, settings);
}

}  // namespace wl
