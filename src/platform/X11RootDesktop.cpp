#include "platform/X11RootDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace wl {

namespace {

constexpr const char* kRootPixmapAtom = "_XROOTPMAP_ID";
constexpr const char* kSetRootPixmapAtom = "ESETROOT_PMAP_ID";
constexpr const char* kPathAtom = "_WEEKLEAF_WALLPAPER_PATH";
constexpr const char* kOurPixmapAtom = "_WEEKLEAF_WALLPAPER_PIXMAP";

// One colour channel of a TrueColor visual.
struct Channel {
    int shift = 0;
    unsigned long max = 0;  // mask >> shift

    explicit Channel(unsigned long mask) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        max = mask >> shift;
    }
    unsigned long Encode(uint32_t c8) const { return ((c8 * max + 127) / 255) << shift; }
    uint32_t Decode(unsigned long pixel) const {
        return max == 0 ? 0 : static_cast<uint32_t>((((pixel >> shift) & max) * 255 + max / 2) / max);
    }
};

struct PixelFormat {
    Channel r, g, b;
    bool direct;  // the image's bytes are our 0x00RRGGBB words as they are

    PixelFormat(const Visual* visual, const XImage* image)
        : r(visual->red_mask),
          g(visual->green_mask),
          b(visual->blue_mask),
          direct(image->bits_per_pixel == 32 && visual->red_mask == 0xff0000 &&
                 visual->green_mask == 0xff00 && visual->blue_mask == 0xff &&
                 (image->byte_order == LSBFirst) == (std::endian::native == std::endian::little)) {}
};

Visual* VisualForDepth(Display* d, int depth) {
    const int screen = DefaultScreen(d);
    if (DefaultDepth(d, screen) == depth) return DefaultVisual(d, screen);
    XVisualInfo info{};
    if (XMatchVisualInfo(d, screen, depth, TrueColor, &info)) return info.visual;
    throw X11Error("no TrueColor visual of depth " + std::to_string(depth));
}

void CheckTrueColor(const Visual* visual) {
    if (visual->red_mask == 0 || visual->green_mask == 0 || visual->blue_mask == 0)
        throw X11Error("the screen's visual is not TrueColor");
}

// Owns an XImage (and its pixel buffer).
struct ImageHolder {
    XImage* image = nullptr;
    ~ImageHolder() {
        if (image) XDestroyImage(image);
    }
};

void PutPixels(Display* d, Drawable target, Visual* visual, int depth, const PixelRows& pixels,
               ScreenSize size) {
    CheckTrueColor(visual);
    ImageHolder holder;
    holder.image = XCreateImage(d, visual, depth, ZPixmap, 0, nullptr, size.width, size.height, 32, 0);
    if (!holder.image) throw X11Error("XCreateImage failed");
    XImage* image = holder.image;
    image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * size.height));
    if (!image->data) throw X11Error("out of memory for the root picture");
    const PixelFormat format(visual, image);
    for (int y = 0; y < size.height; ++y) {
        const uint32_t* row = pixels.data() + static_cast<size_t>(y) * size.width;
        if (format.direct) {
            std::memcpy(image->data + static_cast<size_t>(y) * image->bytes_per_line, row, size.width * 4u);
            continue;
        }
        for (int x = 0; x < size.width; ++x) {
            const uint32_t p = row[x];
            XPutPixel(image, x, y,
                      format.r.Encode((p >> 16) & 0xff) | format.g.Encode((p >> 8) & 0xff) |
                          format.b.Encode(p & 0xff));
        }
    }
    GC gc = XCreateGC(d, target, 0, nullptr);
    XPutImage(d, target, gc, image, 0, 0, 0, 0, size.width, size.height);
    XFreeGC(d, gc);
}

PixelRows GetPixels(Display* d, Drawable source, Visual* visual, ScreenSize size) {
    CheckTrueColor(visual);
    ImageHolder holder;
    holder.image = XGetImage(d, source, 0, 0, size.width, size.height, AllPlanes, ZPixmap);
    if (!holder.image) throw X11Error("XGetImage failed");
    XImage* image = holder.image;
    const PixelFormat format(visual, image);
    PixelRows pixels(static_cast<size_t>(size.width) * size.height);
    for (int y = 0; y < size.height; ++y) {
        uint32_t* row = pixels.data() + static_cast<size_t>(y) * size.width;
        if (format.direct) {
            std::memcpy(row, image->data + static_cast<size_t>(y) * image->bytes_per_line, size.width * 4u);
            for (int x = 0; x < size.width; ++x) row[x] &= 0xffffff;
            continue;
        }
        for (int x = 0; x < size.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            row[x] = (format.r.Decode(p) << 16) | (format.g.Decode(p) << 8) | format.b.Decode(p);
        }
    }
    return pixels;
}

Pixmap ReadPixmapProperty(Display* d, Window root, const char* name) {
    const Atom atom = XInternAtom(d, name, True);
    if (atom == None) return None;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Pixmap result = None;
    if (XGetWindowProperty(d, root, atom, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after, &data) ==
            Success &&
        type == XA_PIXMAP && format == 32 && count == 1 && data)
        result = *reinterpret_cast<Pixmap*>(data);
    if (data) XFree(data);
    return result;
}

void WritePixmapProperty(Display* d, Window root, const char* name, Pixmap pixmap) {
    const Atom atom = XInternAtom(d, name, False);
    XChangeProperty(d, root, atom, XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&pixmap),
                    1);
}

std::string ReadTextProperty(Display* d, Window root, const char* name) {
    const Atom atom = XInternAtom(d, name, True);
    if (atom == None) return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string result;
    // Paths are short; 64 K longs (256 KB) is far more than any path.
    if (XGetWindowProperty(d, root, atom, 0, 65536, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) == Success &&
        format == 8 && data)
        result.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    return result;
}

void WriteTextProperty(Display* d, Window root, const char* name, const std::string& text) {
    const Atom atom = XInternAtom(d, name, False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XChangeProperty(d, root, atom, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

// The pixmap a setter left behind with RetainPermanent is only freed by killing its client;
// both properties naming the same pixmap is the setters' sign that it is such a pixmap.
void ReleaseRetainedPixmap(Display* d, Window root) {
    const Pixmap current = ReadPixmapProperty(d, root, kRootPixmapAtom);
    if (current != None && current == ReadPixmapProperty(d, root, kSetRootPixmapAtom))
        XKillClient(d, current);
}

// Copies a width x height block of `from` (rows of fromWidth pixels) at `fromAt` into `to` (rows
// of toWidth pixels) at `toAt`.
void CopyBlock(const PixelRows& from, int fromWidth, MonitorRect fromAt, PixelRows& to, int toWidth, int toX,
               int toY) {
    for (int y = 0; y < fromAt.height; ++y) {
        std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(fromAt.y + y) * fromWidth + fromAt.x,
                    fromAt.width, to.begin() + static_cast<std::ptrdiff_t>(toY + y) * toWidth + toX);
    }
}

}  // namespace

X11RootDesktop::X11RootDesktop(PictureFiles files, const std::string& displayName)
    : FFiles(std::move(files)), FConnection(displayName) {}

std::string X11RootDesktop::CurrentWallpaperFile() {
    std::string path;
    FConnection.With("CurrentWallpaperFile", [&](Display* d) {
        const Window root = DefaultRootWindow(d);
        const Pixmap ours = ReadPixmapProperty(d, root, kOurPixmapAtom);
        if (ours == None || ours != ReadPixmapProperty(d, root, kRootPixmapAtom)) return;
        path = ReadTextProperty(d, root, kPathAtom);
    });
    return path;
}

ScreenSize X11RootDesktop::Screen() {
    const MonitorRect primary = FConnection.PrimaryMonitor();
    return {primary.width, primary.height};
}

PixelRows X11RootDesktop::WholeRoot(const std::string& path, ScreenSize& size) {
    const MonitorRect primary = FConnection.PrimaryMonitor();
    size = FConnection.RootSize();
    PixelRows picture = FFiles.loadStretched(path, primary.width, primary.height);
    if (picture.size() != static_cast<size_t>(primary.width) * primary.height)
        throw X11Error("ShowWallpaper: the picture loader returned the wrong size");
    if (primary == MonitorRect{0, 0, size.width, size.height}) return picture;
    // The other monitors keep what the root shows there now.
    PixelRows whole;
    try {
        ScreenSize shown;
        whole = ReadRootPicture(shown);
        if (!(shown == size)) whole.clear();
    } catch (const X11Error&) {
    }
    whole.resize(static_cast<size_t>(size.width) * size.height, 0);
    CopyBlock(picture, primary.width, {0, 0, primary.width, primary.height}, whole, size.width, primary.x,
              primary.y);
    return whole;
}

void X11RootDesktop::ShowWallpaper(const std::string& path) {
    ScreenSize size;
    const PixelRows pixels = WholeRoot(path, size);

    // A connection of its own: its pixmap must outlive it, and nothing else of ours may.
    X11Connection setter(FConnection.DisplayName());
    Pixmap pixmap = None;
    setter.With("ShowWallpaper", [&](Display* d) {
        const int screen = DefaultScreen(d);
        const int depth = DefaultDepth(d, screen);
        pixmap = XCreatePixmap(d, DefaultRootWindow(d), size.width, size.height, depth);
        PutPixels(d, pixmap, DefaultVisual(d, screen), depth, pixels, size);
    });
    try {
        setter.With("ShowWallpaper: release the previous picture",
                    [](Display* d) { ReleaseRetainedPixmap(d, DefaultRootWindow(d)); });
    } catch (const X11Error&) {
        // A stale id left by another setter: nothing of ours to free.
    }
    setter.With("ShowWallpaper", [&](Display* d) {
        const Window root = DefaultRootWindow(d);
        WritePixmapProperty(d, root, kRootPixmapAtom, pixmap);
        WritePixmapProperty(d, root, kSetRootPixmapAtom, pixmap);
        WritePixmapProperty(d, root, kOurPixmapAtom, pixmap);
        WriteTextProperty(d, root, kPathAtom, path);
        XSetWindowBackgroundPixmap(d, root, pixmap);
        XClearWindow(d, root);
    });
    setter.With("ShowWallpaper", [](Display* d) { XSetCloseDownMode(d, RetainPermanent); });
}

void X11RootDesktop::ClearWallpaper() {
    Pixmap ours = None;
    FConnection.With("ClearWallpaper", [&](Display* d) {
        const Window root = DefaultRootWindow(d);
        const Pixmap shown = ReadPixmapProperty(d, root, kOurPixmapAtom);
        if (shown == None || shown != ReadPixmapProperty(d, root, kRootPixmapAtom)) return;
        ours = shown;
        // None on the root window brings back the server's own background.
        XSetWindowBackgroundPixmap(d, root, None);
        XClearWindow(d, root);
        for (const char* name : {kRootPixmapAtom, kSetRootPixmapAtom, kOurPixmapAtom, kPathAtom})
            XDeleteProperty(d, root, XInternAtom(d, name, False));
    });
    if (ours == None) return;
    try {
        FConnection.With("ClearWallpaper: release our picture", [&](Display* d) { XKillClient(d, ours); });
    } catch (const X11Error&) {
        // Already gone with its client: nothing left to free.
    }
}

PixelRows X11RootDesktop::ReadRootPicture(ScreenSize& size) {
    PixelRows pixels;
    FConnection.With("ReadRootPicture", [&](Display* d) {
        const Window root = DefaultRootWindow(d);
        Pixmap pixmap = ReadPixmapProperty(d, root, kRootPixmapAtom);
        if (pixmap == None) pixmap = ReadPixmapProperty(d, root, kSetRootPixmapAtom);
        if (pixmap == None) throw X11Error("the root window has no background picture");
        Window ignored = 0;
        int x = 0, y = 0;
        unsigned w = 0, h = 0, border = 0, depth = 0;
        if (!XGetGeometry(d, pixmap, &ignored, &x, &y, &w, &h, &border, &depth) || w == 0 || h == 0)
            throw X11Error("the root window's background picture is gone");
        size = {static_cast<int>(w), static_cast<int>(h)};
        pixels = GetPixels(d, pixmap, VisualForDepth(d, static_cast<int>(depth)), size);
    });
    return pixels;
}

std::filesystem::path X11RootDesktop::SaveSystemWallpaperCopy(const std::filesystem::path& folder) {
    ScreenSize size;
    PixelRows pixels = ReadRootPicture(size);
    const MonitorRect primary = FConnection.PrimaryMonitor();
    if (size == FConnection.RootSize() && !(primary == MonitorRect{0, 0, size.width, size.height})) {
        PixelRows part(static_cast<size_t>(primary.width) * primary.height);
        CopyBlock(pixels, size.width, primary, part, primary.width, 0, 0);
        pixels = std::move(part);
        size = {primary.width, primary.height};
    }
    const std::filesystem::path target = folder / SystemWallpaperCopyName();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    FFiles.saveBmp(target, size.width, size.height, pixels);
    return target;
}

}  // namespace wl
