#pragma once
// Waiting on one socket with a time-out that a flag from another thread can cut short.
#include <atomic>
#include <cstdint>

namespace wl {

// Milliseconds of a monotonic clock; 0 stands for "never".
int64_t SteadyMs();

// How often a wait looks at its abort flag.
inline constexpr int kAbortCheckMs = 50;

// Waits up to ms (< 0: without end) for `events` (poll flags) on fd. True when they came, false on
// time-out. Throws EWebSocketHandleError("Connection aborted.") once *aborted is set.
bool WaitSocket(int fd, short events, int ms, const std::atomic<bool>* aborted = nullptr);

}  // namespace wl
