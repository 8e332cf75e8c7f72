#pragma once
// The service's own log: one line per event on standard error, "weekleaf-sync: " and the text.
#include <string_view>

namespace wl {

void ServerLog(std::string_view text);

// Tests silence the log so that expected failures do not clutter their output.
void SetServerLogEnabled(bool enabled);

}  // namespace wl
