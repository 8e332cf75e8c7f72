#include "wallpaper/Drawing.h"

#include <cairo.h>
#include <pango/pangocairo.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "diag/ErrLog.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/DesktopFiles.h"
#include "wallpaper/HtmlRenderer.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TWallPaper.h"
#include "wallpaper/TextLook.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNotesTitle = "ЗАМЕТКИ";
constexpr const char* kOwnOutputMark = "Weekleaf-Modifed";

struct Files {
    fs::path wppOld, background, temp, modified;
};

Files FilesOf(const DrawRequest& request) {
    fs::path dir = request.dataDir.empty() ? DataDir() : request.dataDir;
    return {dir / "WppOld.bmp", dir / "Weekleaf-Wallpaper.bmp", dir / "HTML_TempBitmap.bmp",
            dir / "Weekleaf-Modifed.bmp"};
}

struct Stamp {
    long long size = -1, mtimeNs = 0, inode = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};

Stamp StampOf(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    return {static_cast<long long>(st.st_size),
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
            static_cast<long long>(st.st_ino)};
}

// A cairo context drawing straight into the pixels of a rectangle of the picture (cairo's RGB24
// layout); coordinates stay those of the whole picture.
class Canvas {
  public:
    Canvas(Image& picture, int x0, int y0, int x1, int y1) : FPicture(picture) {
        FX0 = std::clamp(x0, 0, picture.width);
        FY0 = std::clamp(y0, 0, picture.height);
        FX1 = std::clamp(x1, FX0, picture.width);
        FY1 = std::clamp(y1, FY0, picture.height);
        auto* origin =
            reinterpret_cast<unsigned char*>(picture.pixels.data() + size_t(FY0) * picture.width + FX0);
        FSurface = cairo_image_surface_create_for_data(origin, CAIRO_FORMAT_RGB24, FX1 - FX0, FY1 - FY0,
                                                       picture.stride());
        FCr = cairo_create(FSurface);
        cairo_translate(FCr, -FX0, -FY0);
    }
    ~Canvas() {
        cairo_destroy(FCr);
        cairo_surface_flush(FSurface);
        cairo_surface_destroy(FSurface);
        // cairo may set the unused top byte; our pixels keep it clear
        for (int y = FY0; y < FY1; ++y) {
            uint32_t* row = &FPicture.at(0, y);
            for (int x = FX0; x < FX1; ++x) row[x] &= 0x00ffffffu;
        }
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    cairo_t* cr() const { return FCr; }

  private:
    Image& FPicture;
    int FX0 = 0, FY0 = 0, FX1 = 0, FY1 = 0;
    cairo_surface_t* FSurface = nullptr;
    cairo_t* FCr = nullptr;
};

// The pictures a run rewrites every few seconds: written whole and atomically, but not flushed
// to the disk (the next run rebuilds them; flushing 12 MB per run would dominate the run).
void SaveRunPicture(const Image& picture, const fs::path& file) {
    WriteFileAtomic(file, EncodeBmp24(picture), FileFlush::None);
}

void FillRect(Image& picture, int x0, int y0, int x1, int y1, uint32_t color) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, picture.width);
    y1 = std::min(y1, picture.height);
    for (int y = y0; y < y1; ++y) std::fill_n(&picture.at(x0, y), std::max(0, x1 - x0), color);
}

// A block shows a few thousand characters at most; an entry far longer than that (pasted by
// mistake, or hostile) is cut before layout so it cannot make the document too large for the
// engine. The cut falls on a character boundary and never inside a tag.
constexpr size_t kMaxEntryBytes = 64 * 1024;

void TrimEntry(std::string& entry) {
    if (entry.size() <= kMaxEntryBytes) return;
    size_t cut = kMaxEntryBytes;
    while (cut > 0 && (static_cast<unsigned char>(entry[cut]) & 0xC0) == 0x80) --cut;
    const size_t open = entry.rfind('<', cut - 1);
    const size_t close = entry.rfind('>', cut - 1);
    if (open != std::string::npos && (close == std::string::npos || close < open)) cut = open;
    entry.resize(cut);
}

// `source` at its natural size from the top left of `target`, clipped to it.
void PaintAtTopLeft(Image& target, const Image& source) {
    const int w = std::min(target.width, source.width);
    for (int y = 0; y < std::min(target.height, source.height); ++y) {
        std::copy_n(source.pixels.data() + size_t(y) * source.width, w, &target.at(0, y));
    }
}

// The user's picture, or the screen-sized fill when it cannot be read, with the log line.
Image DecodeWallpaper(const std::string& wppPath, ScreenSize screen, TDrawContext& context) {
    ImageFormat format = ImageFormat::Other;
    try {
        format = DetectImageFormat(fs::path(wppPath));
    } catch (const std::exception&) {
        // Missing, unreadable or too short to classify: treated like a picture of no known format,
        // so a lost wallpaper file still gets blocks drawn instead of stopping every run.
    }
    const char* kind = nullptr;
    try {
        switch (format) {
            case ImageFormat::Bmp:
                kind = "BMP";
                break;
            case ImageFormat::Jpeg:
                kind = "JPG";
                break;
            case ImageFormat::Png:
                kind = "PNG";
                break;
            case ImageFormat::Other:
                break;
        }
        if (kind) {
            context.CountPictureDecode();
            Image picture = LoadImageFile(fs::path(wppPath));
            if (!picture.empty()) return picture;
        }
    } catch (const std::exception&) {
    }
    ErrLog(std::string("DrawBlockOnly: ") + (kind ? kind : "NoFormat") + " | wppPath: " + wppPath);
    return Image(std::max(screen.width, 1), std::max(screen.height, 1), kNoPictureColor);
}

ScreenSize ScreenOf(const DrawRequest& request, IDesktop& desktop) {
    ScreenSize screen = request.screen;
    if (screen.width <= 0 || screen.height <= 0) screen = desktop.Screen();
    if (screen.width <= 0 || screen.height <= 0) throw std::runtime_error("the screen size is unknown");
    if (!(screen.scale >= 0.5 && screen.scale <= 8.0)) screen.scale = 1.0;  // NaN too
    return screen;
}

// A logical length in device pixels.
int Device(int logical, double scale) {
    return int(std::lround(logical * scale));
}

// Everything the titles, dates and today mark depend on besides the background picture.
std::string TitlesKey(const DrawRequest& request, uint64_t backgroundGeneration) {
    std::string key = std::to_string(backgroundGeneration) + '|' + std::to_string(request.week.today.days) +
                      '|' + std::to_string(request.fontSize) + '|' + std::to_string(request.fontName.size()) +
                      ':' + request.fontName;
    for (const std::string& date : request.week.dates) key += '|' + date;
    return key;
}

bool ShowsOwnOutput(const std::string& wppPath) {
    return fs::path(wppPath).filename().string().find(kOwnOutputMark) != std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TDrawContext

struct TDrawContext::Cached {
    fs::path file;
    Stamp stamp;
    std::shared_ptr<const Image> picture;
    uint64_t generation = 0;  // moves on whenever `picture` is replaced

    // The background with the titles of the last run, and whether "HTML_TempBitmap.bmp" still
    // holds it: both are reused while nothing the titles depend on has changed.
    std::string titledKey;
    std::shared_ptr<const Image> titled;
    fs::path tempFile;
    Stamp tempStamp;
};

struct TDrawContext::TitleFonts {
    PangoFontMap* fontMap = nullptr;
    PangoContext* pango = nullptr;
    PangoLayout* layout = nullptr;
    std::string family;
    int points = 0;

    TitleFonts() {
        fontMap = pango_cairo_font_map_new();
        pango = pango_font_map_create_context(fontMap);
        pango_cairo_context_set_resolution(pango, 96);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(pango, options);
        cairo_font_options_destroy(options);
        layout = pango_layout_new(pango);
        pango_layout_set_single_paragraph_mode(layout, TRUE);
    }
    ~TitleFonts() {
        g_object_unref(layout);
        g_object_unref(pango);
        g_object_unref(fontMap);
    }

    // A missing family falls back to the program's sans, as the overlay's headers do; the size is
    // the editors' whole pixels.
    void Use(const std::string& name, int sizePoints) {
        if (name == family && sizePoints == points) return;
        family = name;
        points = sizePoints;
        PangoFontDescription* desc = pango_font_description_new();
        pango_font_description_set_family(desc, InstalledFace(name).c_str());
        pango_font_description_set_weight(desc, PANGO_WEIGHT_BOLD);
        pango_font_description_set_absolute_size(desc, PointsToPx(sizePoints) * PANGO_SCALE);
        pango_layout_set_font_description(layout, desc);
        pango_font_description_free(desc);
    }

    // Draws `text` on one line inside the box, aligned left or right, centred vertically.
    void Draw(cairo_t* cr, const std::string& text, double x0, double y0, double x1, double y1, bool right) {
        pango_cairo_update_context(cr, pango);
        pango_layout_set_text(layout, text.c_str(), -1);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        double x = right ? x1 - w : x0;
        double y = y0 + std::floor((y1 - y0 - h) / 2);
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout(cr, layout);
    }

    int Width(const std::string& text) {
        pango_layout_set_text(layout, text.c_str(), -1);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        return w;
    }
};

TDrawContext::TDrawContext()
    : FRenderer(std::make_unique<HtmlRenderer>()),
      FCached(std::make_unique<Cached>()),
      FTitles(std::make_unique<TitleFonts>()) {}

TDrawContext::~TDrawContext() = default;

std::shared_ptr<const Image> TDrawContext::Background(const fs::path& file) {
    Stamp now = StampOf(file);
    if (FCached->picture && FCached->file == file && FCached->stamp == now && now.size >= 0)
        return FCached->picture;
    auto picture = std::make_shared<const Image>(LoadBmpFile(file));
    ForgetBackground();
    FCached->file = file;
    FCached->stamp = now;
    FCached->picture = picture;
    return picture;
}

void TDrawContext::RememberBackground(const fs::path& file, Image picture) {
    ForgetBackground();
    FCached->file = file;
    FCached->stamp = StampOf(file);
    FCached->picture = std::make_shared<const Image>(std::move(picture));
}

void TDrawContext::ForgetBackground() {
    const uint64_t generation = FCached->generation + 1;
    *FCached = Cached{};
    FCached->generation = generation;
}

uint64_t TDrawContext::BackgroundGeneration() const {
    return FCached->generation;
}

std::shared_ptr<const Image> TDrawContext::Titled(const std::string& key) const {
    return FCached->titledKey == key ? FCached->titled : nullptr;
}

void TDrawContext::KeepTitled(const std::string& key, std::shared_ptr<const Image> picture) {
    FCached->titledKey = key;
    FCached->titled = std::move(picture);
    FCached->tempFile.clear();
}

bool TDrawContext::TempHoldsTitled(const fs::path& file, const Image* picture) const {
    return picture && FCached->titled.get() == picture && !FCached->tempFile.empty() &&
           FCached->tempFile == file && StampOf(file) == FCached->tempStamp;
}

void TDrawContext::TempWritten(const fs::path& file) {
    FCached->tempFile = file;
    FCached->tempStamp = StampOf(file);
}

Image& TDrawContext::ResultBuffer(int width, int height) {
    if (FResult.width != width || FResult.height != height) {
        FResult = Image(width, height, 0);
    } else {
        std::fill(FResult.pixels.begin(), FResult.pixels.end(), 0u);
    }
    return FResult;
}

// ---------------------------------------------------------------------------------------------
// The steps

ScreenSize LogicalScreen(ScreenSize screen) {
    if (screen.scale == 1.0 || !(screen.scale > 0)) return {screen.width, screen.height};
    return {int(std::lround(screen.width / screen.scale)), int(std::lround(screen.height / screen.scale))};
}

BlockRects PictureBlockRects(int pictureWidth, int pictureHeight) {
    const int left = 240, top = 100, right = pictureWidth - 120, bottom = pictureHeight - 150;
    return CalcBlockRects(bottom - top, right - left);
}

void ScaleToScreen(Image& picture, ScreenSize screen) {
    if (picture.width == screen.width && picture.height == screen.height) return;
    try {
        picture = StretchImage(picture, screen.width, screen.height);
    } catch (const std::exception&) {
        // The picture keeps its own size; the blocks are then laid out on that.
    }
}

void BlendBlock(Image& picture, const Image& block, int x, int y, int alpha) {
    const uint32_t a = static_cast<uint32_t>(std::clamp(alpha, 0, 255));
    const uint32_t na = 255 - a;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + block.width, picture.width), y1 = std::min(y + block.height, picture.height);
    auto mix = [&](uint32_t s, uint32_t d, int shift) {
        uint32_t sc = (s >> shift) & 0xff, dc = (d >> shift) & 0xff;
        return ((sc * a + dc * na + 127) / 255) << shift;
    };
    for (int py = y0; py < y1; ++py) {
        const uint32_t* src = block.pixels.data() + static_cast<size_t>(py - y) * block.width + (x0 - x);
        uint32_t* dst = &picture.at(x0, py);
        for (int px = 0; px < x1 - x0; ++px) {
            dst[px] = mix(src[px], dst[px], 16) | mix(src[px], dst[px], 8) | mix(src[px], dst[px], 0);
        }
    }
}

void DrawBlockTitle(const std::string& title, const std::string& date, Image& picture, const BlockRect& r,
                    const DrawRequest& request, TDrawContext& context, double scale) {
    // A picture smaller than the margins has blocks of no size: nothing of them is drawn, not
    // even the today outline around the empty spot.
    if (r.Right <= r.Left || r.Bottom <= r.Top) return;
    const double tx0 = r.Left + 15, ty0 = r.Top + 2, tx1 = r.Right - 15, ty1 = r.Top + 33;
    const bool notes = title == kNotesTitle;
    const bool today = !notes && date == DateToStr(request.week.today);
    if (today) {
        // GDI's RoundRect with a 1-pixel pen: the outline runs on the rectangle's inner pixels.
        Canvas canvas(picture, Device(r.Left - 7, scale), Device(r.Top - 7, scale),
                      Device(r.Right + 7, scale), Device(r.Bottom + 7, scale));
        cairo_t* cr = canvas.cr();
        cairo_scale(cr, scale, scale);
        const double x0 = r.Left - 7 + 0.5, y0 = r.Top - 7 + 0.5, x1 = r.Right + 7 - 0.5,
                     y1 = r.Bottom + 7 - 0.5;
        const double rad = 10;
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_new_sub_path(cr);
        cairo_arc(cr, x1 - rad, y0 + rad, rad, -M_PI / 2, 0);
        cairo_arc(cr, x1 - rad, y1 - rad, rad, 0, M_PI / 2);
        cairo_arc(cr, x0 + rad, y1 - rad, rad, M_PI / 2, M_PI);
        cairo_arc(cr, x0 + rad, y0 + rad, rad, M_PI, 3 * M_PI / 2);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    if (tx1 <= tx0) return;
    Canvas canvas(picture, Device(int(tx0), scale), Device(int(ty0), scale), Device(int(tx1), scale),
                  Device(int(ty1), scale));
    cairo_t* cr = canvas.cr();
    cairo_scale(cr, scale, scale);
    cairo_set_source_rgb(cr, 0, 0, 0);
    auto& fonts = context.Titles();
    fonts.Use(request.fontName, request.fontSize);
    if (notes) {
        const double w = fonts.Width(title);
        const double x = tx0 + std::floor((tx1 - tx0 - w) / 2);
        fonts.Draw(cr, title, x, ty0, x + w, ty1, false);
        return;
    }
    fonts.Draw(cr, title, tx0, ty0, tx1, ty1, false);
    fonts.Draw(cr, date, tx0, ty0, tx1, ty1, true);
}

void DrawBlockOnly(const DrawRequest& request, const std::string& wppPath, ScreenSize screen,
                   TDrawContext& context) {
    const Files files = FilesOf(request);
    context.ForgetBackground();
    Image picture = DecodeWallpaper(wppPath, screen, context);
    if (IsPictureFile(wppPath)) {
        SaveBmp24(picture, files.wppOld);
    } else {
        // The desktop had no picture (nothing to read, nothing to back up): the blocks go onto the
        // fill, but the fill is no picture of the user's to put back later; without "WppOld.bmp"
        // the restores give the desktop its own background back.
        std::error_code ec;
        fs::remove(files.wppOld, ec);
    }
    ScaleToScreen(picture, screen);

    // Laid out for the logical screen, painted at the device's pixels.
    const double s = screen.scale;
    const ScreenSize logical = LogicalScreen({picture.width, picture.height, s});
    const BlockRects rects = PictureBlockRects(logical.width, logical.height);
    const int bw = Device(rects[0].Right, s) - Device(rects[0].Left, s);
    const int bh = Device(rects[0].Bottom, s) - Device(rects[0].Top, s);
    if (bw > 0 && bh > 0) {
        const int header = Device(kBlockHeaderHeight, s);
        Image block(bw, bh, kBlockBodyColor);
        FillRect(block, 0, 0, bw, header, kBlockHeaderColor);
        for (int i = 0; i < 8; ++i) {
            if (i == 6) FillRect(block, 0, 0, bw, header, kWeekendHeaderColor);
            BlendBlock(picture, block, Device(rects[i].Left, s), Device(rects[i].Top, s), request.alpha);
        }
    }
    SaveRunPicture(picture, files.background);
    context.RememberBackground(files.background, std::move(picture));
}

void DrawHTML2(const DrawRequest& request, std::shared_ptr<const Image> picture, ScreenSize screen,
               TDrawContext& context) {
    const Files files = FilesOf(request);
    if (!context.TempHoldsTitled(files.temp, picture.get())) {
        SaveRunPicture(*picture, files.temp);
        context.TempWritten(files.temp);
    }
    WeekSnapshot week = request.week;
    for (std::string& entry : week.entries) TrimEntry(entry);
    // On a scaled screen the picture goes under the document instead of being its background,
    // which the layout would take at its device size as logical pixels, `scale` times too large.
    const bool scaled = screen.scale != 1.0;
    const ScreenSize logical = LogicalScreen(screen);
    const std::string html =
        ComposeWeekHtml(week, scaled ? std::string() : files.temp.string(), logical.width, logical.height);

    Image& result = context.ResultBuffer(screen.width, screen.height);
    if (!WeekBlocksHoldText(logical.width, logical.height)) {
        // Blocks too small for any text: the engine would lay them out wider than the block
        // layout and scatter the entries over the wallpaper.
        PaintAtTopLeft(result, *picture);
        SaveRunPicture(result, files.modified);
        return;
    }
    HtmlRenderer& renderer = context.Renderer();
    renderer.Clear();
    // The document names the picture just written; the engine takes it from memory.
    renderer.SetImage(files.temp.string(), picture);
    try {
        renderer.Load(html);
        if (scaled) PaintAtTopLeft(result, *picture);
        renderer.Paint(result, logical.width, 0, screen.scale);
    } catch (const std::exception& e) {
        // A document the engine refuses (too large, or too complex to lay out) would leave a black
        // desktop: the blocks, titles and dates are shown without the entries instead.
        ErrLog(std::string("Blender.DrawHTML2: ") + e.what());
        PaintAtTopLeft(result, *picture);
    }
    renderer.SetImage(files.temp.string(), nullptr);
    renderer.Clear();
    SaveRunPicture(result, files.modified);
}

void DrawHTML(const DrawRequest& request, IDesktop& desktop, TDrawContext& context) {
    const Files files = FilesOf(request);
    const ScreenSize screen = ScreenOf(request, desktop);

    const std::string wppPath = CurrentWallpaperPath(desktop);
    if (!ShowsOwnOutput(wppPath)) DrawBlockOnly(request, wppPath, screen, context);

    std::shared_ptr<const Image> background;
    try {
        background = context.Background(files.background);
    } catch (const std::exception&) {
        // The cache is gone or damaged while our own picture is up: rebuild it from the user's
        // picture copy rather than stopping every run until the user changes the wallpaper.
        DrawBlockOnly(request, files.wppOld.string(), screen, context);
        background = context.Background(files.background);
    }
    const std::string key = TitlesKey(request, context.BackgroundGeneration());
    std::shared_ptr<const Image> picture = context.Titled(key);
    if (!picture) {
        auto titled = std::make_shared<Image>(*background);
        const ScreenSize logical = LogicalScreen({titled->width, titled->height, screen.scale});
        const BlockRects rects = PictureBlockRects(logical.width, logical.height);
        for (int i = 0; i < 8; ++i) {
            DrawBlockTitle(BlockTitle(i), request.week.dates[i], *titled, rects[i], request, context,
                           screen.scale);
        }
        context.KeepTitled(key, titled);
        picture = std::move(titled);
    }

    try {
        DrawHTML2(request, std::move(picture), screen, context);
    } catch (const std::exception& e) {
        ErrLog(std::string("Blender.DrawHTML: ") + e.what());
    }
    SetWallpaper(desktop);
}

void DrawHTML(const DrawRequest& request, IDesktop& desktop) {
    thread_local TDrawContext context;
    DrawHTML(request, desktop, context);
}

}  // namespace wl
