#pragma once
// Listens on the database for the changes other instances of the service commit, so that this
// instance can push them to its own devices.
//
// Owners: the listener's own thread owns the database connection, the highest change number seen
// and the back-off; the constructor and destructor run on the caller's thread and only start and stop
// that thread (through an eventfd). Connected() is an atomic read, safe from any thread. The handlers
// run on the listener's thread: they must hand the work on (the service runs on the store thread).
//
// Every change goes on in commit order, this instance's own ones included: the service pushes only
// the others' (its own it pushed when they committed, never back to the device that sent them) and
// tells by its own ones which of the others' texts its writes have overtaken. Malformed payloads are
// logged and dropped.
// When the connection is lost the listener reconnects with growing pauses, listens again and then asks
// for what was missed: Missed(since) means "every change numbered after `since` may not have been
// seen". Numbers are taken in one order and committed in another, so `since` starts a little before
// the highest number seen (kResyncSlack); a change pushed twice is harmless, a change never pushed is
// not.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TChangeNotice.h"

struct pg_conn;

namespace wl {

// Pauses between reconnection attempts: doubling from First up to Max.
struct TListenerBackoff {
    std::chrono::milliseconds First{100};
    std::chrono::milliseconds Max{5000};
};

class TChangeListener {
  public:
    static constexpr const char* kChannel = "weekleaf_changes";
    static constexpr std::int64_t kResyncSlack = 1000;

    struct THandlers {
        // The database's changes, in commit order.
        std::function<void(std::vector<TChangeNotice>)> Changes;
        std::function<void(std::int64_t since)> Missed;
    };

    // `uri` is a libpq connection string or URI and `password` (may be empty) overrides its password, as
    // for the store; `ownInstance` is the instance id of this process's store.
    TChangeListener(std::string uri, std::string password, std::string ownInstance, THandlers handlers,
                    TListenerBackoff backoff = {});
    ~TChangeListener();
    TChangeListener(const TChangeListener&) = delete;
    TChangeListener& operator=(const TChangeListener&) = delete;

    // True while the connection is up and listening.
    bool Connected() const { return connected_.load(); }
    // Waits until Connected() or `wait` has passed; returns Connected().
    bool WaitConnected(std::chrono::milliseconds wait) const;

  private:
    void Run();
    pg_conn* Connect();
    bool Listen(pg_conn* connection);
    std::int64_t CurrentChangeNumber(pg_conn* connection);
    // Waits for notifications until the connection fails or the listener stops.
    void Receive(pg_conn* connection);
    void Drain(pg_conn* connection);
    // Waits `pause` or until stopped; false when stopped.
    bool Pause(std::chrono::milliseconds pause);
    bool Stopping() const { return stopping_.load(); }

    const std::string uri_;
    const std::string password_;
    const std::string ownInstance_;
    const THandlers handlers_;
    const TListenerBackoff backoff_;
    int wake_ = -1;  // eventfd: the destructor's stop signal
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    std::int64_t lastSeen_ = 0;   // listener thread: the highest change number seen or read at connect
    bool everConnected_ = false;  // listener thread
    std::thread thread_;
};

}  // namespace wl
