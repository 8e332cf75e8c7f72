#include "sync/TSyncLog.h"

namespace wl {

void TSyncLogMemo::AddLine(const std::string& line) {
    std::function<void(const std::string&)> onLine;
    {
        std::lock_guard lock(FLock);
        if (FLines.size() > kMaxLines - 1) FLines.pop_front();
        FLines.push_back(line);
        onLine = FOnLine;
    }
    if (onLine) onLine(line);
}

std::vector<std::string> TSyncLogMemo::Lines() const {
    std::lock_guard lock(FLock);
    return {FLines.begin(), FLines.end()};
}

void TSyncLogMemo::SetOnLine(std::function<void(const std::string&)> onLine) {
    std::lock_guard lock(FLock);
    FOnLine = std::move(onLine);
}

}  // namespace wl
