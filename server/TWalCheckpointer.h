#pragma once
// Copies the store's write-ahead log back into the database file on a thread and connection of its
// own. Left to SQLite, that copy runs inside whichever commit crosses the log's size limit and stalls
// that batch for tens of milliseconds; here the writer only appends and never waits for it (WAL lets a
// checkpoint run beside the writer). Owns its connection and thread; the store runs with its own
// automatic checkpoints switched off (TSyncStore::LeaveCheckpointsToOthers).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace wl {

class TWalCheckpointer {
  public:
    // Throws TSyncStoreError when the database cannot be opened.
    explicit TWalCheckpointer(const std::string& path,
                              std::chrono::milliseconds interval = std::chrono::milliseconds(500));
    ~TWalCheckpointer();
    TWalCheckpointer(const TWalCheckpointer&) = delete;
    TWalCheckpointer& operator=(const TWalCheckpointer&) = delete;

    // Checkpoint runs finished so far.
    std::size_t Runs() const { return runs_.load(); }

  private:
    void Loop();

    sqlite3* db_ = nullptr;
    const std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;  // guarded by mutex_
    std::atomic<std::size_t> runs_{0};
    std::thread thread_;
};

}  // namespace wl
