#include "wallpaper/HtmlRenderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

#include "wallpaper/CairoContainer.h"
#include "wallpaper/TextLook.h"

namespace wl {

namespace {

// The engine ships no default style sheet; this one gives elements the places and looks a
// browser gives them, including the inline formatting an editor writes (b, i, u, s, strike, font).
constexpr const char* kDefaultStyleSheet = R"css(
html, address, blockquote, body, center, dd, details, dialog, dir, div, dl, dt, fieldset, figcaption,
figure, footer, form, h1, h2, h3, h4, h5, h6, header, hgroup, hr, legend, main, menu, nav, ol, p, pre,
section, summary, ul, article, aside { display: block; }
head, style, script, title, meta, link, base, template, noscript, area, param, datalist { display: none; }
body { margin: 8px; }
p { margin-top: 1em; margin-bottom: 1em; }
blockquote { margin: 1em 40px; }
center { text-align: center; }
h1 { font-size: 2em; margin: 0.67em 0; font-weight: bold; }
h2 { font-size: 1.5em; margin: 0.83em 0; font-weight: bold; }
h3 { font-size: 1.17em; margin: 1em 0; font-weight: bold; }
h4 { margin: 1.33em 0; font-weight: bold; }
h5 { font-size: 0.83em; margin: 1.67em 0; font-weight: bold; }
h6 { font-size: 0.67em; margin: 2.33em 0; font-weight: bold; }
b, strong, th { font-weight: bold; }
i, em, cite, var, dfn, address { font-style: italic; }
u, ins { text-decoration: underline; }
s, strike, del { text-decoration: line-through; }
small { font-size: smaller; }
big { font-size: larger; }
sub { vertical-align: sub; font-size: smaller; }
sup { vertical-align: super; font-size: smaller; }
pre, code, kbd, samp, tt { font-family: monospace; }
pre { white-space: pre; margin: 1em 0; }
a { color: #0000ee; text-decoration: underline; }
hr { border: 1px inset #808080; margin: 0.5em 0; }
ul, ol, menu, dir { margin: 1em 0; padding-left: 40px; }
ul, menu, dir { list-style-type: disc; }
ol { list-style-type: decimal; }
ul ul, ol ul { list-style-type: circle; }
ul ul ul, ul ol ul, ol ul ul, ol ol ul { list-style-type: square; }
ul ul, ul ol, ol ol, ol ul { margin-top: 0; margin-bottom: 0; }
li { display: list-item; }
dd { margin-left: 40px; }
dl { margin: 1em 0; }
table { display: table; border-collapse: separate; border-spacing: 2px; }
thead { display: table-header-group; }
tbody { display: table-row-group; }
tfoot { display: table-footer-group; }
tr { display: table-row; }
td, th { display: table-cell; padding: 1px; }
th { text-align: center; }
caption { display: table-caption; text-align: center; }
img { display: inline-block; }
br { display: block; }
)css";

// The engine keeps about 2 KB per element and 0.5 KB per word, and lays out some 70,000 elements
// a second: documents longer than this are refused, and start tags past kMaxTags are dropped
// (their text is kept). The week document is a few kilobytes per entry.
constexpr size_t kMaxDocumentBytes = 1024 * 1024;
constexpr size_t kMaxTags = 20000;
// Deeper trees would recurse through the parser and the engine's layout and drawing far enough
// to exhaust memory or a thread's stack; start tags past this depth are dropped (text is kept).
constexpr size_t kMaxDepth = 256;

// Box layouts one Paint may do; the week document needs a few hundred, a long entry a few thousand.
constexpr long kMaxLayoutSteps = 200000;

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (name == n) return true;
    }
    return false;
}

bool IsVoid(const std::string& name) {
    return OneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param",
                        "source", "track", "wbr", "basefont", "bgsound", "frame", "keygen"});
}

bool IsRawText(const std::string& name) {
    return OneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"});
}

// Elements a following sibling of the same name closes implicitly.
bool ClosesItself(const std::string& name) {
    return OneOf(name, {"p", "li", "dt", "dd", "option", "tr", "td", "th"});
}

// End of the tag starting before `from`: the first '>' outside quoted attribute values.
size_t TagEnd(const std::string& html, size_t from) {
    char quote = 0;
    for (size_t i = from; i < html.size(); ++i) {
        char c = html[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string::npos;
}

size_t FindNoCase(const std::string& html, const std::string& needle, size_t from) {
    auto it =
        std::search(html.begin() + std::min(from, html.size()), html.end(), needle.begin(), needle.end(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it == html.end() ? std::string::npos : size_t(it - html.begin());
}

// A conservative reading of the tag structure (it over-estimates depth rather than under-) that
// drops the start tags, and their end tags, that would nest deeper than kMaxDepth or come after
// kMaxTags others. Ordinary documents have far fewer tags than the limit and are returned
// untouched without a scan.
std::string LimitNesting(const std::string& html) {
    if (size_t(std::count(html.begin(), html.end(), '<')) <= kMaxDepth) return html;
    std::string out;
    out.reserve(html.size());
    std::vector<std::string> open;
    std::map<std::string, int> dropped;
    size_t tags = 0;
    size_t i = 0;
    while (i < html.size()) {
        size_t lt = html.find('<', i);
        if (lt == std::string::npos) lt = html.size();
        out.append(html, i, lt - i);
        i = lt;
        if (i >= html.size()) break;
        if (html.compare(i, 4, "<!--") == 0) {
            size_t e = html.find("-->", i + 4);
            e = e == std::string::npos ? html.size() : e + 3;
            out.append(html, i, e - i);
            i = e;
            continue;
        }
        bool closing = i + 1 < html.size() && html[i + 1] == '/';
        size_t nameStart = i + (closing ? 2 : 1);
        if (nameStart >= html.size() || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
            out += '<';
            ++i;
            continue;
        }
        size_t nameEnd = nameStart;
        while (nameEnd < html.size() && IsNameChar(html[nameEnd])) ++nameEnd;
        std::string name = Lower(html.substr(nameStart, nameEnd - nameStart));
        size_t gt = TagEnd(html, nameEnd);
        size_t end = gt == std::string::npos ? html.size() : gt + 1;
        std::string tag = html.substr(i, end - i);
        i = end;
        if (closing) {
            if (dropped[name] > 0) {
                --dropped[name];
                continue;
            }
            auto match = std::find(open.rbegin(), open.rend(), name);
            if (match != open.rend()) open.erase(std::next(match).base(), open.end());
            out += tag;
            continue;
        }
        bool selfClosed = gt != std::string::npos && gt > nameEnd && html[gt - 1] == '/';
        if (IsVoid(name) || selfClosed) {
            out += tag;
            continue;
        }
        if (ClosesItself(name) && !open.empty() && open.back() == name) open.pop_back();
        if (open.size() >= kMaxDepth || ++tags > kMaxTags) {
            ++dropped[name];
            continue;
        }
        open.push_back(name);
        out += tag;
        if (IsRawText(name)) {
            size_t close = FindNoCase(html, "</" + name, i);
            if (close == std::string::npos) close = html.size();
            out.append(html, i, close - i);
            i = close;
        }
    }
    return out;
}

}  // namespace

struct HtmlRenderer::Doc {
    litehtml::document::ptr doc;
};

HtmlRenderer::HtmlRenderer() : FContainer(std::make_unique<CairoContainer>()), FDoc(std::make_unique<Doc>()) {
    // The entries' text looks as the overlay's editors show it (WeekTextCss).
    FContainer->Context().load_master_stylesheet((kDefaultStyleSheet + WeekTextCss()).c_str());
}

HtmlRenderer::~HtmlRenderer() {
    Clear();
}

void HtmlRenderer::Clear() {
    FDoc->doc.reset();
    FContainer->TrimFonts();
}

bool HtmlRenderer::Loaded() const {
    return FDoc->doc != nullptr;
}

void HtmlRenderer::Load(const std::string& html) {
    Clear();
    if (html.size() > kMaxDocumentBytes) {
        throw std::runtime_error("document of " + std::to_string(html.size()) + " bytes is too large");
    }
    std::string text = LimitNesting(html);
    FDoc->doc = litehtml::document::createFromUTF8(text.c_str(), FContainer.get(), &FContainer->Context());
    if (!FDoc->doc) throw std::runtime_error("the layout engine could not take the document");
}

void HtmlRenderer::SetImage(const std::string& path, std::shared_ptr<const Image> image) {
    FContainer->SetImage(path, std::move(image));
}

void HtmlRenderer::ClearImages() {
    FContainer->ClearImages();
}

void HtmlRenderer::Paint(Image& target, int formatWidth, int yOffset, double scale) {
    if (!FDoc->doc || target.empty()) return;
    if (!(scale >= 0.5 && scale <= 8.0)) scale = 1.0;  // NaN too
    // The screen as the layout sees it, in logical pixels.
    const int width = std::max(1, int(std::ceil(target.width / scale)));
    const int height = std::max(1, int(std::ceil(target.height / scale)));
    FContainer->SetClientSize(width, height);
    FContainer->StartLayout(kMaxLayoutSteps);
    try {
        FDoc->doc->render(std::max(1, formatWidth));
    } catch (...) {
        Clear();  // a layout cut short leaves the document half made
        throw;
    }

    auto* data = reinterpret_cast<unsigned char*>(target.pixels.data());
    cairo_surface_t* surface = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, target.width,
                                                                   target.height, target.stride());
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    FContainer->BeginPaint(cr, width, height);
    litehtml::position clip(0, 0, width, height);
    FDoc->doc->draw(reinterpret_cast<litehtml::uint_ptr>(cr), 0, -yOffset, &clip);
    FContainer->EndPaint();
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    // cairo may leave its unused top byte set; our pixels keep it clear.
    for (uint32_t& p : target.pixels) p &= 0x00ffffffu;
}

int HtmlRenderer::DocumentHeight() const {
    return FDoc->doc ? FDoc->doc->height() : 0;
}

}  // namespace wl
