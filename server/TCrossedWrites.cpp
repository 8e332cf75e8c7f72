#include "TCrossedWrites.h"

#include <algorithm>

namespace wl {

void TCrossedWrites::Pushed(std::uint64_t to, const std::string& place, TTime now) {
    auto [it, added] = pushed_[to].insert_or_assign(place, now);
    if (added) ++entries_;
    if (entries_ >= sweepAt_) DropExpired(now);
}

bool TCrossedWrites::Crossed(std::uint64_t from, const std::string& place, TTime now) const {
    const auto connection = pushed_.find(from);
    if (connection == pushed_.end()) return false;
    const auto it = connection->second.find(place);
    return it != connection->second.end() && now - it->second < kWindow;
}

void TCrossedWrites::Forget(std::uint64_t connection) {
    const auto it = pushed_.find(connection);
    if (it == pushed_.end()) return;
    entries_ -= it->second.size();
    pushed_.erase(it);
}

// Amortised: a sweep runs only once the entries have doubled since the last one left.
void TCrossedWrites::DropExpired(TTime now) {
    for (auto connection = pushed_.begin(); connection != pushed_.end();) {
        entries_ -= std::erase_if(connection->second,
                                  [&](const auto& entry) { return now - entry.second >= kWindow; });
        connection = connection->second.empty() ? pushed_.erase(connection) : std::next(connection);
    }
    sweepAt_ = std::max<std::size_t>(1024, 2 * entries_);
}

}  // namespace wl
