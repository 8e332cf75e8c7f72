// Framing cost of the sync client: building masked frames and reading the server's frames back,
// for a small request, a week reply and a large store push.
#include <benchmark/benchmark.h>

#include "sync/WSFrame.h"

namespace {

std::string ServerFrames(std::size_t size) {
    std::string payload(size, 'x');
    std::string f(1, char(0x81));
    if (size <= 125) {
        f += char(size);
    } else if (size <= 65535) {
        f += char(126), f += char(size >> 8), f += char(size & 0xFF);
    } else {
        f += char(127);
        for (int s = 56; s >= 0; s -= 8) f += char(uint64_t(size) >> s);
    }
    return f + payload;
}

void BM_EncodeFrame(benchmark::State& state) {
    const std::string payload(std::size_t(state.range(0)), 'x');
    uint32_t key = 12345;
    for (auto _ : state) benchmark::DoNotOptimize(wl::EncodeFrame(payload, wl::wdcText, key++));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncodeFrame)->Arg(100)->Arg(16 << 10)->Arg(1 << 20);

// Decoding as the socket delivers it: in reads of at most 64 KB.
void BM_ReadFrames(benchmark::State& state) {
    const std::string bytes = ServerFrames(std::size_t(state.range(0)));
    wl::TWSFrameReader reader;
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += 65536) {
            reader.Append(std::string_view(bytes).substr(at, 65536));
            while (auto m = reader.Next()) benchmark::DoNotOptimize(m->Payload.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReadFrames)->Arg(100)->Arg(16 << 10)->Arg(1 << 20);

}  // namespace
