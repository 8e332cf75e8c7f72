#pragma once
// Small helpers shared by the sync tests: a queue to wait on and a polling wait.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace wl::test {

template <class T>
class WaitQueue {
  public:
    void Push(T v) {
        {
            std::lock_guard lock(FLock);
            FItems.push_back(std::move(v));
        }
        FCv.notify_all();
    }
    std::optional<T> Pop(int timeoutMs = 10000) {
        std::unique_lock lock(FLock);
        if (!FCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !FItems.empty(); })) {
            return std::nullopt;
        }
        T v = std::move(FItems.front());
        FItems.pop_front();
        return v;
    }
    std::size_t Size() {
        std::lock_guard lock(FLock);
        return FItems.size();
    }

  private:
    std::mutex FLock;
    std::condition_variable FCv;
    std::deque<T> FItems;
};

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace wl::test
