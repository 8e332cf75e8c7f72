// Picture codec figures at wallpaper sizes: decoding a 1920x1080 JPEG (what a cache rebuild
// starts with), reading and writing the 1920x1080 BMPs every drawing run touches, the stretches
// to the screen and the library preview.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "wallpaper/ImageCodecs.h"

namespace {

// Something photo-like: smooth gradients with fine noise, so the JPEG is of realistic size.
wl::Image Photo(int w, int h) {
    std::mt19937 rng(42);
    wl::Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int n = static_cast<int>(rng() % 24);
            img.at(x, y) = wl::Rgb(static_cast<uint8_t>((x * 255 / w + n) & 0xff),
                                   static_cast<uint8_t>((y * 255 / h + n) & 0xff),
                                   static_cast<uint8_t>(((x + y) * 127 / (w + h) + 64 + n) & 0xff));
        }
    return img;
}

std::string EncodeJpeg(const wl::Image& img, int quality) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = static_cast<JDIMENSION>(img.width);
    c.image_height = static_cast<JDIMENSION>(img.height);
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto* row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(img.pixels.data()) +
                                               c.next_scanline * img.width);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(buf), size);
    std::free(buf);
    return out;
}

const wl::Image& Screen() {
    static const wl::Image img = Photo(1920, 1080);
    return img;
}

void BM_DecodeJpeg1920x1080(benchmark::State& state) {
    const std::string jpeg = EncodeJpeg(Screen(), 90);
    for (auto _ : state) benchmark::DoNotOptimize(wl::DecodeJpeg(jpeg));
    state.counters["jpeg_kb"] = static_cast<double>(jpeg.size()) / 1024;
}
BENCHMARK(BM_DecodeJpeg1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeBmp1920x1080(benchmark::State& state) {
    const std::string bmp = wl::EncodeBmp24(Screen());
    for (auto _ : state) benchmark::DoNotOptimize(wl::DecodeBmp(bmp));
}
BENCHMARK(BM_DecodeBmp1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeBmp1920x1080(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(wl::EncodeBmp24(Screen()));
}
BENCHMARK(BM_EncodeBmp1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveBmp1920x1080(benchmark::State& state) {
    const auto file = std::filesystem::temp_directory_path() / "wl_codecs_bench.bmp";
    for (auto _ : state) wl::SaveBmp24(Screen(), file);
    std::filesystem::remove(file);
}
BENCHMARK(BM_SaveBmp1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Stretch(benchmark::State& state) {
    const wl::Image src = Photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    for (auto _ : state) benchmark::DoNotOptimize(wl::StretchImage(src, w, h));
}
BENCHMARK(BM_Stretch)
    ->Args({1920, 1080, 3840, 2160})
    ->Args({1024, 768, 1920, 1080})
    ->Args({3840, 2160, 1920, 1080})
    ->ArgNames({"sw", "sh", "w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PreviewFromJpeg1920x1080(benchmark::State& state) {
    const std::string jpeg = EncodeJpeg(Screen(), 90);
    // Decoded at reduced size first, as LoadPreview does.
    for (auto _ : state)
        benchmark::DoNotOptimize(
            wl::MakePreview(wl::DecodeJpeg(jpeg, wl::kPreviewWidth, wl::kPreviewHeight)));
}
BENCHMARK(BM_PreviewFromJpeg1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
