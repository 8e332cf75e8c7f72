#include "wallpaper/CairoContainer.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "wallpaper/HtmlElements.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TextLook.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WL_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define WL_LEAK_CHECKED 1
#endif

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WL_RACE_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define WL_RACE_CHECKED 1
#endif

#ifdef WL_RACE_CHECKED
// GLib's slice allocator and the font configuration synchronise with their own atomics, which the
// race checker cannot see in these uninstrumented system libraries; renderers on different
// threads share nothing of ours.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libglib-2.0.so\ncalled_from_lib:libgobject-2.0.so\n"
           "called_from_lib:libfontconfig.so\ncalled_from_lib:libpango-1.0.so\n"
           "called_from_lib:libpangoft2-1.0.so\ncalled_from_lib:libpangocairo-1.0.so\n"
           "called_from_lib:libcairo.so\ncalled_from_lib:libharfbuzz.so\ncalled_from_lib:libfreetype.so\n"
           "race:libglib-2.0.so\nrace:libfontconfig.so\nrace:libpango\nrace:libcairo.so\n";
}
#endif

#ifdef WL_LEAK_CHECKED
// The font configuration keeps process-lifetime caches that the leak checker reports at exit in
// every program that lays out text; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libpango\nleak:libglib\nleak:libgobject\nleak:libcairo.so\n";
}
#endif

namespace wl {

namespace {

// Sizes past this only cost memory and time (glyph caches); no entry needs them.
constexpr int kMaxFontPx = 400;
constexpr size_t kMaxCachedFonts = 512;
// Pictures named by documents: larger files are not read, and the decoded ones kept between
// documents are dropped once they hold more pixels than this.
constexpr std::uintmax_t kMaxDocumentPictureBytes = 64u << 20;
constexpr size_t kMaxCachedPicturePixels = size_t{48} << 20;
constexpr int kDefaultFontPx = kWeekTextPx;

cairo_t* CairoOf(litehtml::uint_ptr hdc) {
    return reinterpret_cast<cairo_t*>(hdc);
}

void SetColor(cairo_t* cr, const litehtml::web_color& c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

// "Arial, 'Times New Roman', serif" -> "Arial,Times New Roman,serif" (pango's family list); the
// default face when the list names none.
std::string PangoFamilies(const char* css, const std::string& defaultFace) {
    std::string out;
    std::string name;
    auto flush = [&] {
        size_t b = name.find_first_not_of(" \t\r\n'\"");
        size_t e = name.find_last_not_of(" \t\r\n'\"");
        if (b != std::string::npos) {
            if (!out.empty()) out += ',';
            out += name.substr(b, e - b + 1);
        }
        name.clear();
    };
    for (const char* p = css ? css : ""; *p; ++p) {
        if (*p == ',') {
            flush();
        } else {
            name += *p;
        }
    }
    flush();
    if (out.empty()) out = defaultFace;
    return out;
}

// Only plain local files: an absolute path or a file:// URL. Everything else (http, data, relative
// names) is refused, so a document can never make us reach the network.
std::string LocalPath(const char* src, const char* baseurl) {
    if (!src || !*src) return {};
    std::string s = src;
    if (s.rfind("file://", 0) == 0) s = s.substr(7);
    if (s.empty() || s[0] != '/') {
        std::string base = baseurl ? baseurl : "";
        if (base.rfind("file://", 0) == 0) base = base.substr(7);
        if (base.empty() || base[0] != '/' || s.find(':') != std::string::npos) return {};
        s = (std::filesystem::path(base).parent_path() / s).string();
    }
    return s;
}

void RoundedRectPath(cairo_t* cr, double x, double y, double w, double h,
                     const litehtml::border_radiuses& r) {
    auto radius = [&](int rx, int ry) { return std::min<double>({double(std::min(rx, ry)), w / 2, h / 2}); };
    double tl = radius(r.top_left_x, r.top_left_y), tr = radius(r.top_right_x, r.top_right_y);
    double br = radius(r.bottom_right_x, r.bottom_right_y), bl = radius(r.bottom_left_x, r.bottom_left_y);
    if (tl <= 0 && tr <= 0 && br <= 0 && bl <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - tr, y + tr, tr, -M_PI / 2, 0);
    cairo_arc(cr, x + w - br, y + h - br, br, 0, M_PI / 2);
    cairo_arc(cr, x + bl, y + h - bl, bl, M_PI / 2, M_PI);
    cairo_arc(cr, x + tl, y + tl, tl, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Keeps a cairo state change local to one drawing call.
class Saved {
  public:
    explicit Saved(cairo_t* cr) : FCr(cr) { cairo_save(cr); }
    ~Saved() { cairo_restore(FCr); }
    Saved(const Saved&) = delete;
    Saved& operator=(const Saved&) = delete;

  private:
    cairo_t* FCr;
};

}  // namespace

struct CairoContainer::Font {
    PangoFontDescription* desc = nullptr;
    unsigned decoration = 0;
    int ascent = 0, descent = 0;
    double underlinePos = 0, underlineThickness = 1, strikePos = 0, strikeThickness = 1;
    ~Font() {
        if (desc) pango_font_description_free(desc);
    }
};

CairoContainer::CairoContainer() : FDefaultFace(InstalledFace("")) {
    FFontMap = pango_cairo_font_map_new();
    FPango = pango_font_map_create_context(FFontMap);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(FPango, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(FPango, 96);
    FMeasure = pango_layout_new(FPango);
}

CairoContainer::~CairoContainer() {
    ClearImages();
    FFonts.clear();
    if (FMeasure) g_object_unref(FMeasure);
    if (FPango) g_object_unref(FPango);
    if (FFontMap) g_object_unref(FFontMap);
}

void CairoContainer::BeginPaint(cairo_t* cr, int width, int height) {
    SetClientSize(width, height);
    FClips.clear();
    FLine.clear();
    FEnded.clear();
    FCr = cr;
    pango_cairo_update_context(cr, FPango);
}

void CairoContainer::EndPaint() {
    FlushLine();
    FClips.clear();
    FEnded.clear();
    FCr = nullptr;
    // The paint's device scale must not reach the next layout's text measures.
    pango_context_set_matrix(FPango, nullptr);
}

void CairoContainer::SetClientSize(int width, int height) {
    FWidth = width;
    FHeight = height;
}

void CairoContainer::SetImage(const std::string& path, std::shared_ptr<const Image> image) {
    auto it = FPictures.find(path);
    if (it != FPictures.end()) {
        if (it->second.surface) cairo_surface_destroy(it->second.surface);
        FPictures.erase(it);
    }
    if (!image || image->empty()) return;
    Picture pic;
    pic.image = std::move(image);
    FPictures.emplace(path, std::move(pic));
}

void CairoContainer::ClearImages() {
    for (auto& [path, pic] : FPictures) {
        if (pic.surface) cairo_surface_destroy(pic.surface);
    }
    FPictures.clear();
}

void CairoContainer::SpendLayoutStep() {
    if (--FLayoutSteps < 0)
        throw std::runtime_error("the document's layout is too complex (too deeply nested boxes)");
}

void CairoContainer::TrimFonts() {
    if (FFonts.size() <= kMaxCachedFonts) return;
    FFonts.clear();
    FFontIndex.clear();
}

const CairoContainer::Font* CairoContainer::FontOf(litehtml::uint_ptr handle) const {
    if (handle == 0 || handle > FFonts.size()) return nullptr;
    return FFonts[handle - 1].get();
}

litehtml::uint_ptr CairoContainer::create_font(const litehtml::tchar_t* faceName, int size, int weight,
                                               litehtml::font_style italic, unsigned int decoration,
                                               litehtml::font_metrics* fm) {
    size = std::clamp(size, 1, kMaxFontPx);
    std::string families = PangoFamilies(faceName, FDefaultFace);
    std::string key = families + '|' + std::to_string(size) + '|' + std::to_string(weight) + '|' +
                      std::to_string(int(italic)) + '|' + std::to_string(decoration);
    size_t index;
    if (auto it = FFontIndex.find(key); it != FFontIndex.end()) {
        index = it->second;
    } else {
        auto font = std::make_unique<Font>();
        font->desc = pango_font_description_new();
        pango_font_description_set_family(font->desc, families.c_str());
        pango_font_description_set_absolute_size(font->desc, double(size) * PANGO_SCALE);
        pango_font_description_set_weight(font->desc, PangoWeight(std::clamp(weight, 100, 1000)));
        pango_font_description_set_style(
            font->desc, italic == litehtml::fontStyleItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        font->decoration = decoration;
        PangoFontMetrics* m = pango_context_get_metrics(FPango, font->desc, nullptr);
        font->ascent = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(m));
        font->descent = PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(m));
        font->underlinePos = pango_font_metrics_get_underline_position(m) / double(PANGO_SCALE);
        font->underlineThickness =
            std::max(1.0, pango_font_metrics_get_underline_thickness(m) / double(PANGO_SCALE));
        font->strikePos = pango_font_metrics_get_strikethrough_position(m) / double(PANGO_SCALE);
        font->strikeThickness =
            std::max(1.0, pango_font_metrics_get_strikethrough_thickness(m) / double(PANGO_SCALE));
        pango_font_metrics_unref(m);
        FFonts.push_back(std::move(font));
        index = FFonts.size() - 1;
        FFontIndex.emplace(key, index);
    }
    const Font& font = *FFonts[index];
    if (fm) {
        fm->ascent = font.ascent;
        fm->descent = font.descent;
        fm->height = font.ascent + font.descent;
        fm->x_height = std::max(1, font.ascent / 2);
        if (text_width("x", index + 1) > 0) {
            PangoRectangle ink;
            pango_layout_get_pixel_extents(FMeasure, &ink, nullptr);
            fm->x_height = std::max(1, ink.height);
        }
        fm->draw_spaces = decoration != 0;
    }
    return index + 1;
}

// Fonts live in the container's cache for the next document; TrimFonts bounds it.
void CairoContainer::delete_font(litehtml::uint_ptr) {}

int CairoContainer::text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont) {
    const Font* font = FontOf(hFont);
    if (!font || !text) return 0;
    pango_layout_set_font_description(FMeasure, font->desc);
    pango_layout_set_text(FMeasure, text, -1);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(FMeasure, &w, &h);
    return w;
}

namespace {

bool Same(const litehtml::position& a, const litehtml::position& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

bool SameClips(const std::vector<litehtml::position>& a, const std::vector<litehtml::position>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), Same);
}

constexpr const char* kEllipsis = "…";

}  // namespace

void CairoContainer::draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text,
                               litehtml::uint_ptr hFont, litehtml::web_color color,
                               const litehtml::position& pos) {
    if (!FontOf(hFont) || !text || !CairoOf(hdc) || CairoOf(hdc) != FCr) return;
    if (const litehtml::position* box = CuttingClip(pos)) return EndWithEllipsis(*box);
    // A word belongs to the held line when it shares its boxes and overlaps it vertically.
    if (!FLine.empty()) {
        const Word& first = FLine.front();
        if (!SameClips(first.clips, FClips) || pos.y >= first.pos.bottom() || pos.bottom() <= first.pos.y)
            FlushLine();
    }
    FLine.push_back({text, hFont, color, pos, FClips});
}

void CairoContainer::DrawWord(const Word& word, const std::string& text) {
    const Font* font = FontOf(word.font);
    if (!font || !FCr) return;
    Saved saved(FCr);
    ApplyClips(FCr, word.clips);
    pango_layout_set_font_description(FMeasure, font->desc);
    pango_layout_set_text(FMeasure, text.c_str(), -1);
    int baseline = word.pos.bottom() - font->descent;
    double layoutBaseline = pango_layout_get_baseline(FMeasure) / double(PANGO_SCALE);
    SetColor(FCr, word.color);
    cairo_move_to(FCr, word.pos.x, baseline - layoutBaseline);
    pango_cairo_show_layout(FCr, FMeasure);
    DrawDecorations(FCr, *font, word.pos, baseline);
}

void CairoContainer::FlushLine() {
    for (const Word& word : FLine) DrawWord(word, word.text);
    FLine.clear();
}

void CairoContainer::EndWithEllipsis(const litehtml::position& box) {
    if (std::any_of(FEnded.begin(), FEnded.end(), [&](const auto& b) { return Same(b, box); })) return;
    FEnded.push_back(box);
    // Only a held line inside this box can carry the sign; a box whose first line is already cut
    // shows nothing to end.
    const bool inside = !FLine.empty() && std::any_of(FLine.front().clips.begin(), FLine.front().clips.end(),
                                                      [&](const auto& b) { return Same(b, box); });
    if (!inside) return;
    // Shorten the line from its end until "…" fits before the box's right edge.
    while (!FLine.empty()) {
        Word& last = FLine.back();
        const int room = box.right() - last.pos.x - text_width(kEllipsis, last.font);
        if (text_width(last.text.c_str(), last.font) <= room) break;
        // One whole character off the end (its lead byte and continuation bytes).
        size_t n = last.text.size() - 1;
        while (n > 0 && (static_cast<unsigned char>(last.text[n]) & 0xC0) == 0x80) --n;
        last.text.resize(n);
        while (!last.text.empty() && last.text.back() == ' ') last.text.pop_back();
        if (last.text.empty()) FLine.pop_back();
    }
    if (FLine.empty()) return;
    Word last = FLine.back();
    FLine.pop_back();
    FlushLine();
    last.pos.width = text_width(last.text.c_str(), last.font);
    DrawWord(last, last.text);
    Word sign = last;
    sign.pos.x += last.pos.width;
    sign.pos.width = text_width(kEllipsis, last.font);
    DrawWord(sign, kEllipsis);
}

void CairoContainer::DrawDecorations(cairo_t* cr, const Font& font, const litehtml::position& pos,
                                     int baseline) const {
    if (font.decoration & litehtml::font_decoration_underline) {
        double y = std::round(baseline - font.underlinePos);
        cairo_rectangle(cr, pos.x, y, pos.width, std::round(font.underlineThickness));
    }
    if (font.decoration & litehtml::font_decoration_linethrough) {
        double y = std::round(baseline - font.strikePos);
        cairo_rectangle(cr, pos.x, y, pos.width, std::round(font.strikeThickness));
    }
    if (font.decoration & litehtml::font_decoration_overline) {
        cairo_rectangle(cr, pos.x, pos.y, pos.width, std::round(font.underlineThickness));
    }
    cairo_fill(cr);
}

int CairoContainer::pt_to_px(int pt) const {
    return int(std::lround(pt * 96.0 / 72.0));
}
int CairoContainer::get_default_font_size() const {
    return kDefaultFontPx;
}
const litehtml::tchar_t* CairoContainer::get_default_font_name() const {
    return FDefaultFace.c_str();
}

void CairoContainer::draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) {
    cairo_t* cr = CairoOf(hdc);
    if (!cr || CutAtTheBottom(MarkerLine(marker))) return;
    if (!marker.image.empty()) {
        if (Picture* pic = FindPicture(marker.image.c_str(), marker.baseurl); pic && pic->surface) {
            Saved saved(cr);
            ApplyClips(cr);
            cairo_set_source_surface(cr, pic->surface, marker.pos.x, marker.pos.y);
            cairo_paint(cr);
            return;
        }
    }
    const litehtml::position& p = marker.pos;
    Saved saved(cr);
    ApplyClips(cr);
    SetColor(cr, marker.color);
    switch (marker.marker_type) {
        case litehtml::list_style_type_none:
            return;
        case litehtml::list_style_type_circle:
            cairo_set_line_width(cr, 1);
            cairo_arc(cr, p.x + p.width / 2.0, p.y + p.height / 2.0, std::max(1.0, p.width / 2.0 - 0.5), 0,
                      2 * M_PI);
            cairo_stroke(cr);
            return;
        case litehtml::list_style_type_square:
            cairo_rectangle(cr, p.x, p.y, p.width, p.height);
            cairo_fill(cr);
            return;
        case litehtml::list_style_type_disc:
            cairo_arc(cr, p.x + p.width / 2.0, p.y + p.height / 2.0, std::max(1.0, p.width / 2.0), 0,
                      2 * M_PI);
            cairo_fill(cr);
            return;
        default: {
            // Numbered styles: the number and a dot, right-aligned before the item.
            const Font* font = FontOf(marker.font);
            if (!font) return;
            std::string text = std::to_string(marker.index) + ".";
            int w = text_width(text.c_str(), marker.font);
            litehtml::position box(p.x + p.width - w, p.y, w, font->ascent + font->descent);
            box.y = p.bottom() - box.height;
            pango_layout_set_font_description(FMeasure, font->desc);
            pango_layout_set_text(FMeasure, text.c_str(), -1);
            double layoutBaseline = pango_layout_get_baseline(FMeasure) / double(PANGO_SCALE);
            cairo_move_to(cr, box.x, box.bottom() - font->descent - layoutBaseline);
            pango_cairo_show_layout(cr, FMeasure);
            return;
        }
    }
}

void CairoContainer::LoadPicture(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    Picture pic;
    pic.fromFile = true;
    if (!ec && std::filesystem::is_regular_file(status)) {
        pic.stamp = std::filesystem::last_write_time(path, ec);
        pic.bytes = std::filesystem::file_size(path, ec);
        auto found = FPictures.find(path);
        if (found != FPictures.end() && (!found->second.fromFile || (found->second.stamp == pic.stamp &&
                                                                     found->second.bytes == pic.bytes))) {
            return;  // handed over by the caller, or unchanged on disk
        }
        DropPicturesPast(kMaxCachedPicturePixels);
        if (!ec && pic.bytes <= kMaxDocumentPictureBytes) {
            try {
                pic.image = std::make_shared<const Image>(LoadImageFile(path));
            } catch (const std::exception&) {
                pic.image.reset();  // not a picture we can read: the document shows nothing there
            }
        }
    } else if (auto found = FPictures.find(path); found != FPictures.end() && !found->second.fromFile) {
        return;
    }
    SetImage(path, nullptr);
    FPictures.emplace(path, std::move(pic));
}

void CairoContainer::DropPicturesPast(size_t pixels) {
    size_t held = 0;
    for (const auto& [path, pic] : FPictures) {
        if (pic.fromFile && pic.image) held += pic.image->pixels.size();
    }
    if (held <= pixels) return;
    for (auto it = FPictures.begin(); it != FPictures.end();) {
        if (!it->second.fromFile) {
            ++it;
            continue;
        }
        if (it->second.surface) cairo_surface_destroy(it->second.surface);
        it = FPictures.erase(it);
    }
}

CairoContainer::Picture* CairoContainer::FindPicture(const litehtml::tchar_t* src,
                                                     const litehtml::tchar_t* baseurl) {
    std::string path = LocalPath(src, baseurl);
    if (path.empty()) return nullptr;
    auto it = FPictures.find(path);
    if (it == FPictures.end()) {
        LoadPicture(path);
        it = FPictures.find(path);
        if (it == FPictures.end()) return nullptr;
    }
    Picture& pic = it->second;
    if (!pic.image || pic.image->empty()) return nullptr;
    if (!pic.surface) {
        // The pixels are 0x00RRGGBB rows without padding: cairo's RGB24 layout, wrapped in place.
        auto* data = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pic.image->pixels.data()));
        pic.surface = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, pic.image->width,
                                                          pic.image->height, pic.image->stride());
    }
    return &pic;
}

void CairoContainer::load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, bool) {
    std::string path = LocalPath(src, baseurl);
    if (!path.empty()) LoadPicture(path);
}

void CairoContainer::get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl,
                                    litehtml::size& sz) {
    sz.width = sz.height = 0;
    if (Picture* pic = FindPicture(src, baseurl)) {
        sz.width = pic->image->width;
        sz.height = pic->image->height;
    }
}

void CairoContainer::draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) {
    cairo_t* cr = CairoOf(hdc);
    if (!cr) return;
    Saved saved(cr);
    ApplyClips(cr);
    // The root's background covers the whole canvas, not only the document's own box.
    litehtml::position clip = bg.is_root ? litehtml::position(0, 0, std::max(FWidth, bg.clip_box.right()),
                                                              std::max(FHeight, bg.clip_box.bottom()))
                                         : bg.clip_box;
    RoundedRectPath(cr, clip.x, clip.y, clip.width, clip.height, bg.border_radius);
    cairo_clip(cr);
    if (bg.color.alpha > 0) {
        SetColor(cr, bg.color);
        cairo_paint(cr);
    }
    Picture* pic = bg.image.empty() ? nullptr : FindPicture(bg.image.c_str(), bg.baseurl.c_str());
    if (!pic || !pic->surface) return;
    int iw = pic->image->width, ih = pic->image->height;
    double sx = bg.image_size.width > 0 ? double(bg.image_size.width) / iw : 1.0;
    double sy = bg.image_size.height > 0 ? double(bg.image_size.height) / ih : 1.0;
    cairo_translate(cr, bg.position_x, bg.position_y);
    cairo_scale(cr, sx, sy);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(pic->surface);
    bool repeat = bg.repeat != litehtml::background_repeat_no_repeat;
    cairo_pattern_set_extend(pattern, repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_NONE);
    cairo_pattern_set_filter(pattern, (sx == 1.0 && sy == 1.0) ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_set_source(cr, pattern);
    // Limit the repetition to the axes the style asks for.
    double big = 1e6;
    switch (bg.repeat) {
        case litehtml::background_repeat_repeat_x:
            cairo_rectangle(cr, -big, 0, 2 * big, ih);
            break;
        case litehtml::background_repeat_repeat_y:
            cairo_rectangle(cr, 0, -big, iw, 2 * big);
            break;
        case litehtml::background_repeat_no_repeat:
            cairo_rectangle(cr, 0, 0, iw, ih);
            break;
        default:
            cairo_rectangle(cr, -big, -big, 2 * big, 2 * big);
            break;
    }
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

void CairoContainer::draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& b,
                                  const litehtml::position& pos, bool) {
    cairo_t* cr = CairoOf(hdc);
    if (!cr) return;
    Saved saved(cr);
    ApplyClips(cr);
    auto visible = [](const litehtml::border& side) {
        return side.width > 0 && side.style != litehtml::border_style_none &&
               side.style != litehtml::border_style_hidden && side.color.alpha > 0;
    };
    // Each side is a trapezoid so that corners meet on the diagonal.
    double x0 = pos.x, y0 = pos.y, x1 = pos.right(), y1 = pos.bottom();
    auto side = [&](const litehtml::border& s, double ax, double ay, double bx, double by, double cx,
                    double cy, double dx, double dy) {
        if (!visible(s)) return;
        SetColor(cr, s.color);
        cairo_move_to(cr, ax, ay);
        cairo_line_to(cr, bx, by);
        cairo_line_to(cr, cx, cy);
        cairo_line_to(cr, dx, dy);
        cairo_close_path(cr);
        cairo_fill(cr);
    };
    side(b.top, x0, y0, x1, y0, x1 - b.right.width, y0 + b.top.width, x0 + b.left.width, y0 + b.top.width);
    side(b.bottom, x0, y1, x1, y1, x1 - b.right.width, y1 - b.bottom.width, x0 + b.left.width,
         y1 - b.bottom.width);
    side(b.left, x0, y0, x0 + b.left.width, y0 + b.top.width, x0 + b.left.width, y1 - b.bottom.width, x0, y1);
    side(b.right, x1, y0, x1 - b.right.width, y0 + b.top.width, x1 - b.right.width, y1 - b.bottom.width, x1,
         y1);
}

void CairoContainer::transform_text(litehtml::tstring& text, litehtml::text_transform tt) {
    if (text.empty() || !g_utf8_validate(text.data(), gssize(text.size()), nullptr)) return;
    gchar* out = nullptr;
    if (tt == litehtml::text_transform_uppercase) {
        out = g_utf8_strup(text.data(), gssize(text.size()));
    } else if (tt == litehtml::text_transform_lowercase) {
        out = g_utf8_strdown(text.data(), gssize(text.size()));
    } else if (tt == litehtml::text_transform_capitalize) {
        gunichar first = g_utf8_get_char(text.data());
        gchar buf[8] = {};
        int n = g_unichar_to_utf8(g_unichar_totitle(first), buf);
        text = std::string(buf, n) + std::string(g_utf8_next_char(text.data()));
        return;
    }
    if (out) {
        text = out;
        g_free(out);
    }
}

// Style sheets referenced by a document are never fetched.
void CairoContainer::import_css(litehtml::tstring& text, const litehtml::tstring&, litehtml::tstring&) {
    text.clear();
}

void CairoContainer::set_clip(const litehtml::position& pos, const litehtml::border_radiuses&, bool valid_x,
                              bool valid_y) {
    litehtml::position clip = pos;
    if (!valid_x) {
        clip.x = -1000000;
        clip.width = 2000000;
    }
    if (!valid_y) {
        clip.y = -1000000;
        clip.height = 2000000;
    }
    FClips.push_back(clip);
}

void CairoContainer::del_clip() {
    if (!FClips.empty()) FClips.pop_back();
}

void CairoContainer::ApplyClips(cairo_t* cr) const {
    ApplyClips(cr, FClips);
}

void CairoContainer::ApplyClips(cairo_t* cr, const Clips& clips) {
    for (const auto& clip : clips) {
        cairo_rectangle(cr, clip.x, clip.y, clip.width, clip.height);
        cairo_clip(cr);
    }
}

litehtml::position CairoContainer::MarkerLine(const litehtml::list_marker& marker) const {
    litehtml::position line = marker.pos;
    if (const Font* font = FontOf(marker.font)) {
        // The marker sits in the middle of its item's first line, one text height tall.
        line.height = font->ascent + font->descent;
        line.y = marker.pos.y + marker.pos.height / 2 - line.height / 2;
    }
    return line;
}

bool CairoContainer::CutAtTheBottom(const litehtml::position& text) const {
    return CuttingClip(text) != nullptr;
}

const litehtml::position* CairoContainer::CuttingClip(const litehtml::position& text) const {
    for (auto it = FClips.rbegin(); it != FClips.rend(); ++it) {
        if (text.bottom() > it->bottom()) return &*it;
    }
    return nullptr;
}

void CairoContainer::get_client_rect(litehtml::position& client) const {
    client = {0, 0, FWidth, FHeight};
}

std::shared_ptr<litehtml::element> CairoContainer::create_element(
    const litehtml::tchar_t* tag_name, const litehtml::string_map&,
    const std::shared_ptr<litehtml::document>& doc) {
    return tag_name ? CreateMendedElement(tag_name, doc) : nullptr;
}

void CairoContainer::get_media_features(litehtml::media_features& media) const {
    media.type = litehtml::media_type_screen;
    media.width = media.device_width = FWidth;
    media.height = media.device_height = FHeight;
    media.color = 8;
    media.monochrome = 0;
    media.color_index = 256;
    media.resolution = 96;
}

void CairoContainer::get_language(litehtml::tstring& language, litehtml::tstring& culture) const {
    language = "ru";
    culture = "RU";
}

}  // namespace wl
