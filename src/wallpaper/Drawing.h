#pragma once
// One drawing run: the user's wallpaper with the eight block backgrounds (cached as
// "Weekleaf-Wallpaper.bmp"), the titles, dates and today mark, and the week's entries laid out by
// the HTML layout engine, written as "Weekleaf-Modifed.bmp" and put on the desktop.
//
// Threads: a run works only from its DrawRequest (taken on the main thread when the run is
// requested) and from the TDrawContext it is given; it never touches the note store or the
// settings. A TDrawContext is used by one run at a time (runs never overlap) and is kept from run
// to run so the layout engine, its fonts and the cached background stay warm.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Desktop.h"
#include "wallpaper/Blender.h"
#include "wallpaper/Image.h"

namespace wl {

class HtmlRenderer;

// Colours of the block backgrounds and the fallback picture.
inline constexpr uint32_t kBlockBodyColor = Rgb(255, 255, 255);
inline constexpr uint32_t kBlockHeaderColor = Rgb(25, 174, 132);
inline constexpr uint32_t kWeekendHeaderColor = Rgb(255, 204, 153);
inline constexpr uint32_t kNoPictureColor = Rgb(7, 97, 194);
inline constexpr int kBlockHeaderHeight = 35;

// Everything a run needs, copied on the main thread when the run is requested.
struct DrawRequest {
    WeekSnapshot week;
    std::string fontName = "Tahoma";  // BlockFontName
    int32_t fontSize = 8;             // BlockFontSize, points
    int32_t alpha = 125;              // BlockAlpha: 125 transparent blocks, 255 opaque
    std::filesystem::path dataDir;    // the data folder; empty = DataDir() when the run starts
    ScreenSize screen;                // {0, 0} = ask the desktop when the run starts
};

// What a drawing thread keeps between runs.
class TDrawContext {
  public:
    TDrawContext();
    ~TDrawContext();
    TDrawContext(const TDrawContext&) = delete;
    TDrawContext& operator=(const TDrawContext&) = delete;

    HtmlRenderer& Renderer() { return *FRenderer; }

    // "Weekleaf-Wallpaper.bmp" as a picture: the copy in memory while the file is still the one
    // this context wrote or read last (same size, time and inode), otherwise read from the file.
    // Throws when the file cannot be read.
    std::shared_ptr<const Image> Background(const std::filesystem::path& file);
    // Records the picture just written to `file`.
    void RememberBackground(const std::filesystem::path& file, Image picture);
    void ForgetBackground();

    // Moves on whenever the cached background picture is replaced (rebuilt or read anew).
    uint64_t BackgroundGeneration() const;

    // The background with titles from an earlier run whose titles had the same `key`, else null.
    std::shared_ptr<const Image> Titled(const std::string& key) const;
    void KeepTitled(const std::string& key, std::shared_ptr<const Image> picture);
    // Whether `file` still holds `picture`, the kept titled picture, as this context wrote it.
    bool TempHoldsTitled(const std::filesystem::path& file, const Image* picture) const;
    void TempWritten(const std::filesystem::path& file);

    // The result picture, reused from run to run (a fresh 8 MB allocation costs more than
    // clearing it): black, width x height.
    Image& ResultBuffer(int width, int height);

    // How many times the user's own picture was decoded (cache rebuilds); for tests and figures.
    int PictureDecodes() const { return FPictureDecodes; }
    void CountPictureDecode() { ++FPictureDecodes; }

    // Paints text for the titles through this context's own fonts (set up once).
    struct TitleFonts;
    TitleFonts& Titles() { return *FTitles; }

  private:
    struct Cached;
    std::unique_ptr<HtmlRenderer> FRenderer;
    std::unique_ptr<Cached> FCached;
    std::unique_ptr<TitleFonts> FTitles;
    Image FResult;
    int FPictureDecodes = 0;
};

// One full run (steps: rebuild the block background unless the desktop shows our own output,
// titles, layout, apply). A cached background that is missing or unreadable while our own
// picture is up is rebuilt from "WppOld.bmp". Throws when the run cannot go on before its
// picture exists (the files cannot be written); failures after that are logged and the picture
// is still applied through SetWallpaper(desktop).
void DrawHTML(const DrawRequest& request, IDesktop& desktop, TDrawContext& context);
// The same with a context private to the calling thread.
void DrawHTML(const DrawRequest& request, IDesktop& desktop);

// Rebuilds "WppOld.bmp" and "Weekleaf-Wallpaper.bmp" from the picture `wppPath` (the desktop's
// current wallpaper) for a screen of `screen`. When `wppPath` names no file the desktop had no
// picture: the blocks go onto the fill colour and "WppOld.bmp" is removed, not made up.
void DrawBlockOnly(const DrawRequest& request, const std::string& wppPath, ScreenSize screen,
                   TDrawContext& context);

// Writes "HTML_TempBitmap.bmp" from `picture`, lays out the week document over it and writes
// "Weekleaf-Modifed.bmp".
void DrawHTML2(const DrawRequest& request, std::shared_ptr<const Image> picture, ScreenSize screen,
               TDrawContext& context);

// One block's heading: title (and date) in bold, and the today outline when `date` is today's.
// `r` is in logical pixels; the picture has `scale` device pixels for each.
void DrawBlockTitle(const std::string& title, const std::string& date, Image& picture, const BlockRect& r,
                    const DrawRequest& request, TDrawContext& context, double scale = 1.0);

// Source-over blend of `block` onto `picture` at (x, y) with one constant alpha (0..255).
void BlendBlock(Image& picture, const Image& block, int x, int y, int alpha);

// Stretches the picture to the screen size (aspect ratio not kept); a failure leaves it as it was.
void ScaleToScreen(Image& picture, ScreenSize screen);

// The screen in logical pixels: its device size divided by its scale.
ScreenSize LogicalScreen(ScreenSize screen);

// The block rectangles for a picture of the given size (margins 240, 100, 120, 150).
BlockRects PictureBlockRects(int pictureWidth, int pictureHeight);

}  // namespace wl
