// Hostile request text: the parser must never crash, and the service must answer every request with
// well-formed JSON that the client's parser reads back.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ServerLog.h"
#include "TSqliteStore.h"
#include "TSyncRequest.h"
#include "TSyncService.h"
#include "data/Json.h"

namespace {

wl::TSyncService& Service() {
    static wl::TSqliteStore store(":memory:");
    static wl::TSyncService service(
        store, wl::TServiceClock{
                   [] { return wl::MakeDate(2021, 1, 6); },
                   [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1609900000)); }});
    return service;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wl::SetServerLogEnabled(false);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    wl::ParseSyncRequest(text);
    wl::TSyncService& service = Service();
    service.Handle(1, text);
    service.Handle(2, text);
    for (const wl::TOutMessage& message : service.Commit()) {
        const wl::JsonValue parsed = wl::ParseJson(*message.Text);  // throws (and fails the run) if malformed
        if (!parsed.IsObject() || parsed.GetString("ACTION").empty()) __builtin_trap();
    }
    return 0;
}
