#include "TWalCheckpointer.h"

#include <sqlite3.h>

#include "ServerLog.h"
#include "TSyncStore.h"

namespace wl {

TWalCheckpointer::TWalCheckpointer(const std::string& path, std::chrono::milliseconds interval)
    : interval_(interval) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close_v2(db_);
        throw TSyncStoreError("cannot open " + path + " for checkpoints: " + message);
    }
    // Reading the mode opens the log; until a connection has done that, its checkpoints do nothing.
    if (sqlite3_exec(db_, "PRAGMA journal_mode", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_close_v2(db_);
        throw TSyncStoreError("cannot read " + path + " for checkpoints: " + message);
    }
    thread_ = std::thread([this] { Loop(); });
}

TWalCheckpointer::~TWalCheckpointer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    sqlite3_close_v2(db_);
}

void TWalCheckpointer::Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, interval_, [this] { return stop_; })) {
        lock.unlock();
        // PASSIVE: copies what it can without waiting for, or blocking, the writer and the readers.
        const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        if (rc != SQLITE_OK && rc != SQLITE_BUSY)
            ServerLog(TLogLevel::Warning, std::string("checkpoint: ") + sqlite3_errmsg(db_));
        runs_.fetch_add(1);
        lock.lock();
    }
}

}  // namespace wl
