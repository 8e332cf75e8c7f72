#pragma once
// The program's sync client: a WebSocket client bound to the sync service, the note store and the
// sync log. It sends the requests (on the caller's thread, the main thread in the app) and applies
// what the service sends to the note store.
//
// Threads: messages arrive on the dispatcher thread and are handed, whole and in arrival order,
// to the store's owning thread through the injected executor; all store work, every TSyncEvents
// call and the handlers below run there. The account key is read through the key function at
// the moment of sending, on the sending thread (a reconnect made by the retry worker asks for the
// current week through the executor too). Log lines may come from any thread. The executor
// queues the work and returns; it must not wait for the store's thread, which may be the thread
// destroying the client (the destructor waits for the dispatcher).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "data/Json.h"
#include "platform/DateText.h"
#include "sync/TSyncLog.h"
#include "sync/TWebsocketClient.h"

namespace wl {

class TWeekleaf;

// What the main window shows of pushed changes; called on the store's thread.
class TSyncEvents {
  public:
    virtual ~TSyncEvents() = default;
    // The plain text of a pushed notes page, for the note preview.
    virtual void NotePreviewChanged(const std::string& /*plainText*/) {}
    // A day's entry was replaced in the store (and saved).
    virtual void DayUpdated(Date /*day*/, const std::string& /*html*/) {}
};

class TWLSocket : public TWebsocketClient {
  public:
    using TExecutor = std::function<void(std::function<void()>)>;

    // When to open the connection: at once, on the creating thread (TCP only), or not at all,
    // leaving it to ConnectInBackground (for a thread that must never wait for the network).
    enum class TOpen { Now, Later };

    // Opens the TCP connection (no handshake) and never lets an error escape: the outcome is
    // logged as "Socket.Create: Connected" or "Socket.Create: <error>". A failed attempt of
    // ConnectInBackground is logged as "Socket.ReConnect: <error>". With ATls the connection is
    // TLS with the service's certificate verified (a refused one is logged with its cause).
    TWLSocket(TWeekleaf& AWeekleaf, std::function<std::string()> AKey, TExecutor AStoreExecutor,
              TSyncLogSink& ALog, TSyncEvents* AEvents, std::string AHost, uint16_t APort,
              TOpen AOpen = TOpen::Now, bool ATls = false);
    ~TWLSocket() override;

    // Connects and upgrades, then asks for the current week; logs any error. Returns Connected().
    bool ReConnect();
    void DisconnectEvent();
    // One line "<date> <time>: <msg>" into the sync log.
    void WriteLog(const std::string& msg);
    void SetKey(std::string Value) { FKey = std::move(Value); }

    // Requests. Each is logged, then sent; a send without a connection throws EWebSocketHandleError.
    void GetCurrentWeek();
    void GetNote();
    void GetTemplate();
    void GetDay(Date ADate);
    void GetDaysRange(Date AStart, Date AEnd);
    void GetSearch(const std::string& AText);
    void SetDay(Date ADate, const std::string& Value);
    void SetNote(const std::string& Value);
    void SetTemplate(const std::string& Value);
    void SendAction(std::string_view action, std::string_view search, std::optional<Date> date);

    // The exact texts of the requests.
    static std::string ActionText(std::string_view action, std::string_view key, std::string_view search,
                                  std::optional<Date> date);
    static std::string DaysRangeText(std::string_view key, Date AStart, Date AEnd);
    static std::string SetDayText(std::string_view key, Date ADate, const std::string& Value,
                                  int64_t timestamp);
    static std::string SetPageText(std::string_view action, std::string_view member, std::string_view key,
                                   const std::string& Value);

    // Handlers, on the store's thread. FromServTextData takes one message as the service sent it.
    void FromServTextData(const std::string& aData);
    void UpdateCurrentWeek(const std::string& Value);
    void UpdateDaysRange(const std::string& JSON);
    void UpdateDay(Date ADate, const std::string& Value);
    void UpdateNote(const std::string& Value);
    void UpdateTemplate(const std::string& Value);

  private:
    // Shared with the tasks handed to the executor, so that a task that runs after the socket is
    // gone does nothing.
    struct TLife {
        std::mutex Lock;
        bool Alive = true;
    };
    void OnStoreThread(std::function<void()> work);
    void Send(const std::string& text);
    void ApplyDays(const JsonValue& days);

    std::string FKey;
    TWeekleaf& FWeekleaf;
    std::function<std::string()> FKeyOf;
    TExecutor FStoreExecutor;
    TSyncLogSink& FLog;
    TSyncEvents* FEvents;
    std::shared_ptr<TLife> FLife = std::make_shared<TLife>();
};

}  // namespace wl
