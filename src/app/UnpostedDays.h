#pragma once
// Day entries stored locally whose SET_DAY could not be sent (the connection was down). They are
// posted again once the connection is back, before the service's copy of the week is accepted,
// so a reconnect never replaces an offline edit with the older text the service still holds.
//
// Owner: the main thread (the change-posting tick and the exit path).
#include <functional>
#include <set>
#include <string>

#include "platform/DateText.h"

namespace wl {

class UnpostedDays {
  public:
    using Send = std::function<void(Date day, const std::string& html)>;
    using Stored = std::function<std::string(const std::string& dayKey)>;

    // Sends the day; a send that throws keeps the day for a later Flush. Never throws.
    // Returns whether the send went out.
    bool Post(Date day, const std::string& html, const Send& send) noexcept;

    // Sends every kept day with its stored text, oldest key first; days whose send fails stay
    // kept (and the rest is tried on the next call). Returns how many went out.
    int Flush(const Stored& stored, const Send& send) noexcept;

    bool Empty() const { return FKeys.empty(); }
    bool Holds(Date day) const { return FKeys.count(day.days) > 0; }
    size_t Size() const { return FKeys.size(); }

  private:
    std::set<int32_t> FKeys;  // days since 1970-01-01
};

}  // namespace wl
