#include "platform/TextLines.h"

#include "platform/AtomicFile.h"

namespace wl {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
}

void TextLines::SetText(std::string_view text) {
    lines.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            return;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
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
