#include "ServerLog.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace wl {

namespace {
std::atomic<bool> gEnabled{true};
}

void ServerLog(std::string_view text) {
    if (!gEnabled.load(std::memory_order_relaxed)) return;
    std::string line = "weekleaf-sync: ";
    line.append(text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void SetServerLogEnabled(bool enabled) {
    gEnabled.store(enabled, std::memory_order_relaxed);
}

}  // namespace wl
