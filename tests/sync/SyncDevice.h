#pragma once
// One device of the sync tests: a note store owned by its own thread and a sync client over it,
// set up as the app sets up its own (plain or TLS, connecting at once or in the background).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "data/TWeekleaf.h"
#include "sync/SyncTestUtil.h"
#include "sync/TSyncLog.h"
#include "sync/TWLSocket.h"

namespace wl::test {

struct Device {
    Device(const std::filesystem::path& dir, int port, std::string key, bool tls = false,
           TWLSocket::TOpen open = TWLSocket::TOpen::Now, std::string host = "127.0.0.1") {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "Data.json", std::ios::binary) << R"({"ver":"HTML","note":"","template":""})"
                                                           << "\r\n";
        store = std::make_unique<TWeekleaf>(dir / "Data.json");
        socket = std::make_unique<TWLSocket>(
            *store, [key] { return key; }, owner.Executor(), log, nullptr, std::move(host), uint16_t(port),
            open, tls);
    }
    ~Device() { socket.reset(); }
    std::string Stored(const std::string& member) {
        return owner.Call([&] { return store->Get(member); });
    }
    // A line of the sync log holding `text`.
    bool Logged(const std::string& text) const {
        const auto lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

    std::unique_ptr<TWeekleaf> store;
    TSyncLogMemo log;
    OwnerThread owner;
    std::unique_ptr<TWLSocket> socket;
};

}  // namespace wl::test
