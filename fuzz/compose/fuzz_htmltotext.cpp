// Entries come from other devices: any bytes must convert without crashing, the text never starts
// or ends with a line break, and the single pass, whenever it answers, agrees with the full parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/HtmlToText.h"
#include "data/HtmlToTextParts.h"

namespace {

bool Edged(const std::string& text) {
    auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
    return !text.empty() && (isBreak(text.front()) || isBreak(text.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view html(reinterpret_cast<const char*>(data), size);
    std::string full = wl::HtmlToTextFull(html);
    if (Edged(full)) std::abort();
    if (auto fast = wl::HtmlToTextFast(html); fast && *fast != full) std::abort();
    if (wl::HtmlToText(html) != full) std::abort();
    return 0;
}
