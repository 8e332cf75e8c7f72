#include "sync/SocketWait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "sync/WSFrame.h"

namespace wl {

int64_t SteadyMs() {
    using namespace std::chrono;
    // Offset so that a real time is never 0, which stands for "never".
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + 1;
}

bool WaitSocket(int fd, short events, int ms, const std::atomic<bool>* aborted) {
    const int64_t deadline = ms < 0 ? INT64_MAX : SteadyMs() + ms;
    for (;;) {
        if (aborted && *aborted) throw EWebSocketHandleError("Connection aborted.");
        const int64_t left = std::max<int64_t>(deadline - SteadyMs(), 0);
        const int64_t slice = std::min<int64_t>(left, aborted ? kAbortCheckMs : 1 << 30);
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, int(slice));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR)
            throw EWebSocketHandleError(std::string("Wait failed: ") + std::strerror(errno));
        if (ready == 0 && slice == left) return false;
    }
}

}  // namespace wl
