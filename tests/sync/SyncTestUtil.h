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

namespace wl::test {

// A thread that owns something (the note store in the sync tests) and runs the work handed to it,
// in order: the executor the sync client hands its store work to.
class OwnerThread {
  public:
    OwnerThread() : FThread([this] { Run(); }) {}
    ~OwnerThread() {
        Post({});
        FThread.join();
    }
    // An empty function ends the thread.
    void Post(std::function<void()> work) {
        {
            std::lock_guard lock(FLock);
            FWork.push_back(std::move(work));
        }
        FCv.notify_one();
    }
    // Runs f on the thread and returns its result.
    template <class F>
    auto Call(F f) -> decltype(f()) {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::optional<decltype(f())> result;
        Post([&] {
            auto r = f();
            std::lock_guard lock(m);
            result.emplace(std::move(r));
            done = true;
            cv.notify_one();
        });
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
        return std::move(*result);
    }
    std::function<void(std::function<void()>)> Executor() {
        return [this](std::function<void()> work) { Post(std::move(work)); };
    }

  private:
    void Run() {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(FLock);
                FCv.wait(lock, [&] { return !FWork.empty(); });
                work = std::move(FWork.front());
                FWork.pop_front();
            }
            if (!work) return;
            work();
        }
    }
    std::mutex FLock;
    std::condition_variable FCv;
    std::deque<std::function<void()>> FWork;
    std::thread FThread;
};

}  // namespace wl::test
