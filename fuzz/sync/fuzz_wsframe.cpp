// The client's frame reader over arbitrary server bytes, fed in pieces as the socket would.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sync/WSFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the piece size, so frames also arrive split at every boundary.
    std::size_t piece = 1 + data[0] % 64;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    wl::TWSFrameReader reader(1 << 16);
    try {
        while (!rest.empty()) {
            std::size_t n = rest.size() < piece ? rest.size() : piece;
            reader.Append(rest.substr(0, n));
            rest.remove_prefix(n);
            bool ready = reader.HasData();
            auto m = reader.Next();
            while (m) {
                if (m->Code == wl::wdcText && !wl::IsValidUtf8(m->Payload)) __builtin_trap();
                m = reader.Next();
            }
            (void)ready;
        }
    } catch (const wl::EWebSocketHandleError&) {
        // Reported faults are the expected outcome for most inputs.
    }
    return 0;
}
