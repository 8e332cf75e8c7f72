#include "platform/TextLines.h"

#include "platform/AtomicFile.h"

namespace wl {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
}

void TextLines::SetText(std::string_view text) {
    lines.clear();
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\n' && *q != '\r') ++q;
        lines.emplace_back(p, q);
        if (q == end) return;
        p = q + ((*q == '\r' && q + 1 < end && q[1] == '\n') ? 2 : 1);
    }
}

std::string TextLines::Text() const {
    std::size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

void TextLines::LoadFromFile(const std::filesystem::path& file, std::size_t maxBytes) {
    std::string data = ReadWholeFile(file, maxBytes);
    std::string_view text = data;
    bom = text.starts_with(kBom);
    if (bom) text.remove_prefix(kBom.size());
    SetText(text);
}

void TextLines::SaveToFile(const std::filesystem::path& file) const {
    std::string text = Text();
    if (bom) text.insert(0, kBom);
    WriteFileAtomic(file, text);
}

}  // namespace wl
