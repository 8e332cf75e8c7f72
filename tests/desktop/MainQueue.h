#pragma once
// A stand-in for the main thread's event queue: the executor posts, the test thread pumps.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "wallpaper/TDrawTH.h"

namespace wl::test {

class MainQueue {
  public:
    Executor executor() {
        return [this](std::function<void()> fn) {
            std::lock_guard lock(FLock);
            FQueue.push_back(std::move(fn));
            FReady.notify_all();
        };
    }
    // Runs one posted function, waiting up to `timeout` for it; false when none came.
    bool PumpOnce(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::function<void()> fn;
        {
            std::unique_lock lock(FLock);
            if (!FReady.wait_for(lock, timeout, [&] { return !FQueue.empty(); })) return false;
            fn = std::move(FQueue.front());
            FQueue.pop_front();
        }
        fn();
        return true;
    }

  private:
    std::mutex FLock;
    std::condition_variable FReady;
    std::deque<std::function<void()>> FQueue;
};

// Holds a run inside its drawing until the test lets it go.
class Latch {
  public:
    void Wait() {
        std::unique_lock lock(FLock);
        FEntered = true;
        FChanged.notify_all();
        FChanged.wait(lock, [&] { return FOpen; });
    }
    void WaitEntered() {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [&] { return FEntered; });
    }
    void Open() {
        std::lock_guard lock(FLock);
        FOpen = true;
        FChanged.notify_all();
    }

  private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FEntered = false, FOpen = false;
};

}  // namespace wl::test
