#pragma once
// The persistent error log, ErrLog.txt in the data folder: "H:mm:ss | dd.mm.yyyy | message" lines,
// at most 1001 of them. Never throws; safe to call from any thread (one process-wide lock).
#include <string>

namespace wl {

void ErrLog(const std::string& text) noexcept;

}  // namespace wl
