#pragma once
// Which devices may have been sent another writer's text of a place while a write of their own to it
// was already on its way. Such a device applies the pushed text after having sent its own newer one,
// and nothing would correct it: a write that wins is pushed to the others only. So when a device's
// write wins within kWindow of a push of the same place to it, its own text goes back to it as well.
// That echo is a push too, and covers a further write of the device crossing it in turn.
// Owned by the thread that runs the service.
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace wl {

class TCrossedWrites {
  public:
    using TTime = std::chrono::system_clock::time_point;
    // Longer than a write and a push can take on the wire and in the service's queues.
    static constexpr std::chrono::seconds kWindow{10};

    // A text of `place` was sent to `to`, not in answer to its own write.
    void Pushed(std::uint64_t to, const std::string& place, TTime now);
    // A write of `from` to `place` won: whether a push of the same place to it may have crossed it.
    bool Crossed(std::uint64_t from, const std::string& place, TTime now) const;
    // The connection is gone.
    void Forget(std::uint64_t connection);

  private:
    void DropExpired(TTime now);

    // connection -> place -> time of the last push to it
    std::unordered_map<std::uint64_t, std::unordered_map<std::string, TTime>> pushed_;
    std::size_t entries_ = 0;
    std::size_t sweepAt_ = 1024;  // the entries at which the expired ones are dropped next
};

}  // namespace wl
