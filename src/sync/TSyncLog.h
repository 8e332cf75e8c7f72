#pragma once
// Where the sync client's log lines go. The app's sync log window shows a TSyncLogMemo; tests read it.
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace wl {

class TSyncLogSink {
  public:
    virtual ~TSyncLogSink() = default;
    // Called from the main, dispatcher and reader threads: implementations are thread-safe.
    virtual void AddLine(const std::string& line) = 0;
};

// The lines of the sync log: it starts empty (only the client's own lines, so the log window
// shows nothing else) and never holds more than 201 lines (before a line is added to more than
// 200, the oldest goes). Thread-safe.
class TSyncLogMemo final : public TSyncLogSink {
  public:
    static constexpr std::size_t kMaxLines = 201;

    void AddLine(const std::string& line) override;
    std::vector<std::string> Lines() const;
    // Called after every added line, on the thread that added it (the window hands it to its own).
    void SetOnLine(std::function<void(const std::string&)> onLine);

  private:
    mutable std::mutex FLock;
    std::deque<std::string> FLines;
    std::function<void(const std::string&)> FOnLine;
};

}  // namespace wl
