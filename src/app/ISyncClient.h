#pragma once
// What the main window needs from the sync client. The program's client adapts TWLSocket to it
// (TWLSocketLink); tests put a recorder in its place. Every call is made on the main thread;
// requests throw when they cannot be sent.
#include <functional>
#include <string>

#include "platform/DateText.h"

namespace wl {

class TSyncLogMemo;

class ISyncClient {
  public:
    virtual ~ISyncClient() = default;

    // The start-up connection. Connecting and every reconnect run in the background and never
    // hold the calling (main) thread up, however long the service takes to answer or not: each
    // of these returns at once. Once a handshake succeeds, the before-week work (SetBeforeWeek)
    // runs on the main thread and then GET_CURRENT_WEEK is sent, so requests sent by that work
    // reach the service before it answers with its copy of the week. Never throw; return
    // Connected().
    virtual bool Start() = 0;
    virtual bool ReConnect() = 0;
    // The connection can carry requests.
    virtual bool Connected() = 0;
    virtual void SetBeforeWeek(std::function<void()> beforeWeek) { (void)beforeWeek; }
    // The client's log lines, which the sync log window shows; null when the client keeps none.
    virtual TSyncLogMemo* LogMemo() { return nullptr; }
    // Status text for the window's header ("Связь с сервисом синхронизации установлена" after the
    // start-up handshake).
    std::function<void(const std::string&)> OnStatus;
    // The plain text of a notes page pushed by the service, for the notes preview (main thread).
    std::function<void(const std::string&)> OnNotePreview;
    // A day's entry the service sent was stored (main thread): an answer to GET_DAYS_RANGE or
    // GET_SEARCH, a week, a single day or a push.
    std::function<void(Date)> OnDayStored;

    virtual void GetCurrentWeek() = 0;
    virtual void GetDay(Date day) = 0;
    virtual void SetDay(Date day, const std::string& html) = 0;
    virtual void GetDaysRange(Date start, Date end) = 0;
    virtual void GetNote() = 0;
    virtual void GetTemplate() = 0;
    virtual void SetTemplate(const std::string& html) = 0;
    virtual void SetNote(const std::string& html) = 0;
    // GET_SEARCH; an empty text is sent without a "search" member.
    virtual void GetSearch(const std::string& text) = 0;
};

}  // namespace wl
