#include "data/HtmlToText.h"

#include "data/HtmlToTextParts.h"
#include "platform/Utf8.h"

#include <gumbo.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace wl {
namespace {

// The parser allocates many small pieces per call. A per-call arena turns that into a few
// large allocations and makes freeing the tree a no-op; nothing is shared between calls.
class Arena {
  public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    void* Allocate(std::size_t size) {
        size = (size + kAlign - 1) & ~(kAlign - 1);
        if (size > FLeft) Grow(size);
        void* p = FNext;
        FNext += size;
        FLeft -= size;
        return p;
    }

  private:
    static constexpr std::size_t kAlign = alignof(std::max_align_t);
    static constexpr std::size_t kFirstChunk = 32 * 1024;

    void Grow(std::size_t atLeast) {
        std::size_t size = FChunks.empty() ? kFirstChunk : FLastSize * 2;
        if (size < atLeast) size = atLeast;
        FChunks.emplace_back(static_cast<std::byte*>(::operator new(size)));
        FLastSize = size;
        FNext = FChunks.back().get();
        FLeft = size;
    }

    struct Free {
        void operator()(std::byte* p) const { ::operator delete(p); }
    };
    std::vector<std::unique_ptr<std::byte, Free>> FChunks;
    std::byte* FNext = nullptr;
    std::size_t FLeft = 0;
    std::size_t FLastSize = 0;
};

void* ArenaAllocate(void* userdata, std::size_t size) {
    return static_cast<Arena*>(userdata)->Allocate(size);
}
void ArenaFree(void*, void*) {}

// How an element takes part in the text.
enum class Kind : unsigned char { Inline, Block, Break, Skip, Pre, Cell };

constexpr Kind KindOf(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_AUDIO:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_CANVAS:
        case GUMBO_TAG_SVG:
        case GUMBO_TAG_MATH:
        case GUMBO_TAG_RP:
            return Kind::Skip;
        case GUMBO_TAG_BR:
            return Kind::Break;
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
            return Kind::Pre;
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            return Kind::Cell;
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_HGROUP:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_P:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_LEGEND:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_CENTER:
            return Kind::Block;
        default:
            return Kind::Inline;
    }
}

// Builds the text the way a browser lays out lines: runs of white space become one space,
// white space at the ends of a line disappears, block boundaries start a new line once,
// every <br> ends a line.
class TextBuilder {
  public:
    explicit TextBuilder(std::size_t reserve) { FOut.reserve(reserve); }

    void BlockBoundary() {
        if (FBreaks == 0) FBreaks = 1;
        FSep = 0;
    }
    void LineBreak() {
        ++FBreaks;
        FSep = 0;
    }
    void CellBoundary() { FSep = '\t'; }

    void Text(const char* s, std::size_t n, bool preformatted) {
        if (preformatted) return PreText(s, n);
        std::size_t i = 0;
        while (i < n) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (IsSpace(c)) {
                if (FSep == 0) FSep = ' ';
                ++i;
                continue;
            }
            if (c == 0xC2 && i + 1 < n && static_cast<unsigned char>(s[i + 1]) == 0xA0) {
                // A no-break space is kept (never collapsed) and given as a plain space.
                Put(" ", 1);
                i += 2;
                continue;
            }
            std::size_t j = i + 1;
            while (j < n && !IsSpace(static_cast<unsigned char>(s[j])) &&
                   static_cast<unsigned char>(s[j]) != 0xC2)
                ++j;
            Put(s + i, j - i);
            i = j;
        }
    }

    std::string Finish() {
        // Blank lines (and no-break spaces) at the very end or start are not part of the text.
        std::size_t end = FOut.find_last_not_of(" \r\n");
        if (end == std::string::npos) return {};
        FOut.resize(end + 1);
        std::size_t first = FOut.find_first_not_of(" \r\n");
        std::size_t lineStart = FOut.rfind('\n', first);
        if (lineStart != std::string::npos) FOut.erase(0, lineStart + 1);
        return std::move(FOut);
    }

  private:
    static bool IsSpace(unsigned char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    }

    void PreText(const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            if (s[i] == '\r') {
                if (i + 1 < n && s[i + 1] == '\n') continue;
                LineBreak();
            } else if (s[i] == '\n') {
                LineBreak();
            } else if (s[i] == '\f') {
                if (FSep == 0) FSep = ' ';
            } else {
                Put(s + i, 1);
            }
        }
    }

    void Put(const char* s, std::size_t n) {
        if (FBreaks > 0) {
            if (!FOut.empty())
                for (int k = 0; k < FBreaks; ++k) FOut += "\r\n";
            FBreaks = 0;
            FSep = 0;
            FLineStart = true;
        }
        if (FSep != 0 && !FLineStart) FOut += FSep;
        FSep = 0;
        FLineStart = false;
        FOut.append(s, n);
    }

    std::string FOut;
    int FBreaks = 0;
    char FSep = 0;
    bool FLineStart = true;
};

void Walk(const GumboNode* root, TextBuilder& text) {
    struct Frame {
        const GumboNode* node;
        unsigned next;
        Kind kind;
        bool sawCell;  // the first table cell of a row gets no separator before it
    };
    // Iterative, so that deeply nested input cannot exhaust the stack.
    std::vector<Frame> stack;
    stack.reserve(64);
    int preDepth = 0;
    stack.push_back({root, 0, Kind::Block, false});
    while (!stack.empty()) {
        Frame& top = stack.back();
        const GumboVector& children = top.node->type == GUMBO_NODE_DOCUMENT ? top.node->v.document.children
                                                                            : top.node->v.element.children;
        if (top.next >= children.length) {
            if (top.kind == Kind::Block || top.kind == Kind::Pre) text.BlockBoundary();
            if (top.kind == Kind::Pre) --preDepth;
            stack.pop_back();
            continue;
        }
        auto* child = static_cast<const GumboNode*>(children.data[top.next++]);
        switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA: {
                const GumboText& t = child->v.text;
                text.Text(t.text, std::char_traits<char>::length(t.text), preDepth > 0);
                break;
            }
            case GUMBO_NODE_ELEMENT: {
                if (child->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) break;
                Kind kind = KindOf(child->v.element.tag);
                if (kind == Kind::Skip) break;
                if (kind == Kind::Break) {
                    text.LineBreak();
                    break;
                }
                if (kind == Kind::Block || kind == Kind::Pre) text.BlockBoundary();
                if (kind == Kind::Pre) ++preDepth;
                if (kind == Kind::Cell) {
                    if (top.sawCell) text.CellBoundary();
                    top.sawCell = true;
                }
                stack.push_back({child, 0, kind, false});
                break;
            }
            default:  // comments, document types and template contents show nothing
                break;
        }
    }
}

// ---- Single pass for the common case ------------------------------------------------------------
//
// The editor writes well-nested fragments of a few tags. For those the text needs no tree: every
// block tag is a line boundary and the rest is the same white-space handling as above. Anything
// whose text depends on the parser's repair rules or on special content (tables, pre, scripts,
// comments, rare entities, mis-nesting, unusual characters) is left to the full parse, which is
// checked against this pass by the tests and the fuzz target.

enum class FastTag : unsigned char { None, Inline, Block, Break, Void, P, Li, List, Dl, DtDd, Heading, A };

struct FastTagName {
    std::string_view name;
    FastTag kind;
};

constexpr FastTagName kFastTags[] = {
    {"p", FastTag::P},
    {"div", FastTag::Block},
    {"br", FastTag::Break},
    {"span", FastTag::Inline},
    {"b", FastTag::Inline},
    {"i", FastTag::Inline},
    {"u", FastTag::Inline},
    {"s", FastTag::Inline},
    {"strike", FastTag::Inline},
    {"strong", FastTag::Inline},
    {"em", FastTag::Inline},
    {"font", FastTag::Inline},
    {"a", FastTag::A},
    {"sub", FastTag::Inline},
    {"sup", FastTag::Inline},
    {"small", FastTag::Inline},
    {"big", FastTag::Inline},
    {"code", FastTag::Inline},
    {"tt", FastTag::Inline},
    {"mark", FastTag::Inline},
    {"del", FastTag::Inline},
    {"ins", FastTag::Inline},
    {"cite", FastTag::Inline},
    {"abbr", FastTag::Inline},
    {"img", FastTag::Void},
    {"wbr", FastTag::Void},
    {"hr", FastTag::Void},
    {"ul", FastTag::List},
    {"ol", FastTag::List},
    {"li", FastTag::Li},
    {"dl", FastTag::Dl},
    {"dt", FastTag::DtDd},
    {"dd", FastTag::DtDd},
    {"h1", FastTag::Heading},
    {"h2", FastTag::Heading},
    {"h3", FastTag::Heading},
    {"h4", FastTag::Heading},
    {"h5", FastTag::Heading},
    {"h6", FastTag::Heading},
    {"blockquote", FastTag::Block},
    {"center", FastTag::Block},
    {"address", FastTag::Block},
    {"article", FastTag::Block},
    {"section", FastTag::Block},
    {"header", FastTag::Block},
    {"footer", FastTag::Block},
    {"nav", FastTag::Block},
    {"aside", FastTag::Block},
    {"main", FastTag::Block},
    {"figure", FastTag::Block},
    {"figcaption", FastTag::Block},
};

struct FastEntity {
    std::string_view name;  // without '&' and ';'
    std::string_view text;
};

constexpr FastEntity kFastEntities[] = {
    {"amp", "&"},         {"lt", "<"},         {"gt", ">"},     {"quot", "\""}, {"apos", "'"},
    {"nbsp", "\xC2\xA0"}, {"copy", "©"},       {"reg", "®"},    {"laquo", "«"}, {"raquo", "»"},
    {"mdash", "—"},       {"ndash", "–"},      {"hellip", "…"}, {"bull", "•"},  {"middot", "·"},
    {"deg", "°"},         {"plusmn", "±"},     {"times", "×"},  {"euro", "€"},  {"trade", "™"},
    {"lsquo", "‘"},       {"rsquo", "’"},      {"ldquo", "“"},  {"rdquo", "”"}, {"bdquo", "„"},
    {"sbquo", "‚"},       {"shy", "\xC2\xAD"}, {"sect", "§"},   {"para", "¶"},  {"numero", "№"},
};

bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAsciiAlnum(char c) {
    return IsAsciiAlpha(c) || IsAsciiDigit(c);
}
bool IsTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Code points the full parser may replace or report; the fast pass leaves them to it.
bool IsPlainCodePoint(char32_t cp) {
    if (cp < 0x20) return cp == '\t' || cp == '\n' || cp == '\r' || cp == '\f';
    if (cp >= 0x7F && cp < 0xA0) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if (cp >= 0xFDD0 && cp <= 0xFDEF) return false;
    if ((cp & 0xFFFE) == 0xFFFE) return false;
    return cp <= 0x10FFFF;
}

// Length of one well-formed UTF-8 sequence of a plain code point at s[i], or 0.
std::size_t PlainUtf8Length(std::string_view s, std::size_t i) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return 0;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3Fu);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || !IsPlainCodePoint(cp)) return 0;
    return len;
}

class FastText {
  public:
    explicit FastText(std::string_view html) : FHtml(html), FText(html.size()) {}

    std::optional<std::string> Run() {
        while (FPos < FHtml.size()) {
            char c = FHtml[FPos];
            bool ok = c == '<' ? Markup() : c == '&' ? Entity() : TextRun();
            if (!ok) return std::nullopt;
        }
        return FText.Finish();
    }

  private:
    static constexpr std::size_t kMaxDepth = 256;

    bool TextRun() {
        std::size_t start = FPos;
        while (FPos < FHtml.size() && FHtml[FPos] != '<' && FHtml[FPos] != '&') {
            unsigned char c = static_cast<unsigned char>(FHtml[FPos]);
            if (c >= 0x20 && c < 0x7F) {
                ++FPos;
                continue;
            }
            std::size_t len = PlainUtf8Length(FHtml, FPos);
            if (len == 0) return false;
            FPos += len;
        }
        FText.Text(FHtml.data() + start, FPos - start, false);
        return true;
    }

    bool Entity() {
        std::size_t p = FPos + 1;
        if (p >= FHtml.size() || (!IsAsciiAlnum(FHtml[p]) && FHtml[p] != '#')) {
            FText.Text("&", 1, false);  // a lone ampersand is text
            ++FPos;
            return true;
        }
        if (FHtml[p] == '#') return NumericEntity(p + 1);
        std::size_t end = p;
        while (end < FHtml.size() && IsAsciiAlnum(FHtml[end]) && end - p < 16) ++end;
        if (end >= FHtml.size() || FHtml[end] != ';') return false;
        std::string_view name = FHtml.substr(p, end - p);
        for (const FastEntity& e : kFastEntities) {
            if (e.name != name) continue;
            FText.Text(e.text.data(), e.text.size(), false);
            FPos = end + 1;
            return true;
        }
        return false;
    }

    bool NumericEntity(std::size_t p) {
        bool hex = p < FHtml.size() && (FHtml[p] == 'x' || FHtml[p] == 'X');
        if (hex) ++p;
        char32_t cp = 0;
        std::size_t digits = 0;
        for (; p < FHtml.size() && digits < 7; ++p, ++digits) {
            char c = FHtml[p];
            int v = IsAsciiDigit(c)          ? c - '0'
                    : !hex                   ? -1
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
            if (v < 0) break;
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
        }
        if (digits == 0 || p >= FHtml.size() || FHtml[p] != ';' || cp == 0 || !IsPlainCodePoint(cp))
            return false;
        std::string bytes;
        AppendUtf8(bytes, cp);
        FText.Text(bytes.data(), bytes.size(), false);
        FPos = p + 1;
        return true;
    }

    // A tag, or a '<' that is plain text. False for anything the full parse must handle.
    bool Markup() {
        std::size_t p = FPos + 1;
        if (p >= FHtml.size()) return false;
        bool end = FHtml[p] == '/';
        if (end) ++p;
        if (p >= FHtml.size()) return false;
        if (!IsAsciiAlpha(FHtml[p])) {
            if (end || FHtml[p] == '!' || FHtml[p] == '?') return false;
            FText.Text("<", 1, false);
            ++FPos;
            return true;
        }
        std::size_t nameStart = p;
        while (p < FHtml.size() && IsAsciiAlnum(FHtml[p])) ++p;
        if (p >= FHtml.size() || !(IsTagSpace(FHtml[p]) || FHtml[p] == '/' || FHtml[p] == '>')) return false;
        const std::string_view name = FHtml.substr(nameStart, p - nameStart);
        FastTag kind = Lookup(name);
        if (kind == FastTag::None || !SkipAttributes(p)) return false;
        FPos = p;
        return end ? EndTag(kind, name) : StartTag(kind, name);
    }

    static FastTag Lookup(std::string_view name) {
        if (name.size() > 10) return FastTag::None;
        char lower[10];
        for (std::size_t k = 0; k < name.size(); ++k) lower[k] = ToLowerAscii(name[k]);
        std::string_view key(lower, name.size());
        for (const FastTagName& t : kFastTags)
            if (t.name == key) return t.kind;
        return FastTag::None;
    }

    // Moves p past the tag's '>' the way the tokenizer reads attributes; false at end of input.
    bool SkipAttributes(std::size_t& p) const {
        const std::size_t n = FHtml.size();
        for (;;) {
            while (p < n && IsTagSpace(FHtml[p])) ++p;
            if (p >= n) return false;
            if (FHtml[p] == '>') {
                ++p;
                return true;
            }
            if (FHtml[p] == '/') {
                ++p;
                continue;
            }
            ++p;  // the first character of a name may be anything, '=' included
            while (p < n && !IsTagSpace(FHtml[p]) && FHtml[p] != '/' && FHtml[p] != '>' && FHtml[p] != '=')
                ++p;
            while (p < n && IsTagSpace(FHtml[p])) ++p;
            if (p >= n) return false;
            if (FHtml[p] != '=') continue;
            ++p;
            while (p < n && IsTagSpace(FHtml[p])) ++p;
            if (p >= n) return false;
            if (FHtml[p] == '"' || FHtml[p] == '\'') {
                std::size_t close = FHtml.find(FHtml[p], p + 1);
                if (close == std::string_view::npos) return false;
                p = close + 1;
            } else {
                while (p < n && !IsTagSpace(FHtml[p]) && FHtml[p] != '>') ++p;
            }
        }
    }

    static bool EqualNoCase(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t k = 0; k < a.size(); ++k)
            if (ToLowerAscii(a[k]) != ToLowerAscii(b[k])) return false;
        return true;
    }

    // Start tags that the parser would use to close or re-parent open elements are left to it.
    bool Conflicts(FastTag kind) const {
        for (auto it = FOpenKinds.rbegin(); it != FOpenKinds.rend(); ++it) {
            FastTag open = *it;
            switch (kind) {
                case FastTag::P:
                    if (open == FastTag::P) return true;
                    break;
                case FastTag::A:
                    if (open == FastTag::A) return true;
                    break;
                case FastTag::Heading:
                    if (open == FastTag::Heading) return true;
                    break;
                case FastTag::Li:
                    if (open == FastTag::List) return false;
                    if (open == FastTag::Li) return true;
                    break;
                case FastTag::DtDd:
                    if (open == FastTag::Dl) return false;
                    if (open == FastTag::DtDd) return true;
                    break;
                default:
                    return false;
            }
        }
        return false;
    }

    bool StartTag(FastTag kind, std::string_view name) {
        switch (kind) {
            case FastTag::Break:
                FText.LineBreak();
                return true;
            case FastTag::Void:
                if (EqualNoCase(name, "hr")) FText.BlockBoundary();
                return true;
            default:
                break;
        }
        if (Conflicts(kind) || FOpen.size() >= kMaxDepth) return false;
        if (kind != FastTag::Inline && kind != FastTag::A) FText.BlockBoundary();
        FOpen.push_back(name);
        FOpenKinds.push_back(kind);
        return true;
    }

    // Only the end tag of the innermost open element is taken; any other is left to the parser.
    bool EndTag(FastTag kind, std::string_view name) {
        if (FOpen.empty() || !EqualNoCase(FOpen.back(), name)) return false;
        FOpen.pop_back();
        FOpenKinds.pop_back();
        if (kind != FastTag::Inline && kind != FastTag::A) FText.BlockBoundary();
        return true;
    }

    std::string_view FHtml;
    std::size_t FPos = 0;
    TextBuilder FText;
    std::vector<std::string_view> FOpen;
    std::vector<FastTag> FOpenKinds;
};

}  // namespace

std::string HtmlToTextFull(std::string_view html) {
    if (html.empty()) return {};
    Arena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &ArenaAllocate;
    options.deallocator = &ArenaFree;
    options.userdata = &arena;
    options.max_errors = 0;  // the errors are not needed; recording them only costs time
    GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    if (output == nullptr) return {};
    TextBuilder text(html.size());
    Walk(output->document, text);
    // The whole tree lives in the arena and goes with it; no per-node destruction needed.
    return text.Finish();
}

std::optional<std::string> HtmlToTextFast(std::string_view html) {
    return FastText(html).Run();
}

std::string HtmlToText(std::string_view html) {
    if (std::optional<std::string> text = HtmlToTextFast(html)) return std::move(*text);
    return HtmlToTextFull(html);
}

std::string TextToHtml(std::string_view text) {
    std::string html;
    html.reserve(text.size() + text.size() / 4);
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one break
            html += "<br>";
            lineStart = true;
            continue;
        }
        // A space the browser would fold away (at a line's start or after another) stays visible.
        const bool foldable = c == ' ' && (lineStart || (i > 0 && text[i - 1] == ' '));
        if (foldable) {
            html += "&nbsp;";
        } else if (c == '&') {
            html += "&amp;";
        } else if (c == '<') {
            html += "&lt;";
        } else if (c == '>') {
            html += "&gt;";
        } else {
            html += c;
        }
        lineStart = false;
    }
    return html;
}

}  // namespace wl
