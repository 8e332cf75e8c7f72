// The layout engine against what a browser shows for the documents we draw: the week layout,
// border-box heights, line-break-only blocks, <font size>, nested decorations, the body's
// background attribute, and hostile markup.
#include "wallpaper/HtmlRenderer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Desktop.h"
#include "wallpaper/Blender.h"
#include "wallpaper/HtmlElements.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TextLook.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kWhite = Rgb(255, 255, 255);
constexpr uint32_t kRed = Rgb(255, 0, 0);

class HtmlRendererTest : public ::testing::Test {
  protected:
    Image Render(const std::string& html, int w = 400, int h = 300) {
        renderer.Load(html);
        Image out(w, h, kWhite);
        renderer.Paint(out, w);
        return out;
    }
    // Pixels of the colour in a row from (x, y), going down or right.
    static int RunLength(const Image& img, int x, int y, uint32_t color, bool vertical) {
        int n = 0;
        while (x < img.width && y < img.height && img.at(x, y) == color) {
            ++n;
            (vertical ? y : x)++;
        }
        return n;
    }
    HtmlRenderer renderer;
};

// Narrow screens included: there the container's calc() right margin is what keeps a fifth block
// out of the first row.
TEST_F(HtmlRendererTest, WeekDocumentPutsEveryBlockOnItsRectangleAtEveryScreenSize) {
    // Every block painted red through a style rule the entries carry; the template is as composed.
    WeekSnapshot week;
    week.entries[0] = "<style>.block{background:#ff0000}</style>notes";
    for (int i = 1; i < 8; ++i) week.entries[i] = "<p>day " + std::to_string(i) + "</p>";
    const ScreenSize screens[] = {{560, 420},  {640, 480},  {700, 500},   {800, 600},
                                  {1024, 768}, {1366, 768}, {1920, 1080}, {3840, 2160}};
    for (const ScreenSize screen : screens) {
        const std::string name = std::to_string(screen.width) + "x" + std::to_string(screen.height);
        SCOPED_TRACE(name);
        ASSERT_TRUE(WeekBlocksHoldText(screen.width, screen.height));
        const Image img =
            Render(ComposeWeekHtml(week, "", screen.width, screen.height), screen.width, screen.height);
        const BlockRects rects = CalcBlockRects(screen.height - 250, screen.width - 360);
        for (int i = 0; i < 8; ++i) {
            const BlockRect& r = rects[i];
            SCOPED_TRACE("block " + std::to_string(i));
            EXPECT_EQ(img.at(r.Left, r.Top), kRed);
            EXPECT_EQ(img.at(r.Right - 1, r.Bottom - 11), kRed);
            EXPECT_NE(img.at(r.Left - 1, r.Top), kRed);
            EXPECT_NE(img.at(r.Left, r.Top - 1), kRed);
            EXPECT_NE(img.at(r.Right, r.Top), kRed);
            EXPECT_NE(img.at(r.Left, r.Bottom - 10), kRed)
                << "the box must end 10 px above the block's bottom";
            EXPECT_EQ(RunLength(img, r.Left, r.Top, kRed, true), r.Bottom - r.Top - 10);
            EXPECT_EQ(RunLength(img, r.Left, r.Top + 5, kRed, false), r.Right - r.Left);
        }
        if (name == "1920x1080") {  // the worked example
            EXPECT_EQ(RunLength(img, rects[0].Left, rects[0].Top, kRed, true), 390);
            EXPECT_EQ(rects[0].Right - rects[0].Left, 367);
        }
    }
}

TEST_F(HtmlRendererTest, CalcOfPixelLengthsIsEvaluated) {
    struct Case {
        const char* value;
        std::optional<float> px;
    };
    const Case cases[] = {
        {"calc(120px - 30px)", 90.f},
        {" CALC( 10px + 5.5px ) ", 15.5f},
        {"calc(-10px - -5px + 0)", -5.f},
        {"calc(99999999px + 1px)", 1e6f},
        {"calc(120px-30px)", std::nullopt},  // an operator needs spaces around it
        {"calc(10em - 1px)", std::nullopt},
        {"calc(2 * 3px)", std::nullopt},
        {"calc(1px - )", std::nullopt},
        {"calc((1px))", std::nullopt},
        {"calc(1e3px)", std::nullopt},
        {"calc()", std::nullopt},
        {"120px", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(CalcPx(c.value), c.px) << c.value;

    // Margins and sizes written with it are laid out as a browser does.
    const Image img = Render(
        "<body style='margin:0'><div style='margin-left:calc(50px - 20px);width:calc(10px + 10px);"
        "height:calc(15px - 5px);background:#ff0000'></div></body>");
    EXPECT_NE(img.at(29, 5), kRed);
    EXPECT_EQ(RunLength(img, 30, 0, kRed, false), 20);
    EXPECT_EQ(RunLength(img, 30, 0, kRed, true), 10);
}

TEST_F(HtmlRendererTest, EntryTextStartsInsideThePaddingAndIsClippedAtTheBox) {
    WeekSnapshot week;
    // A black box far larger than the block: only the content area (padding 45/10/10/10) shows.
    week.entries[0] = "<div style=\"background:#000;width:2000px;height:2000px\"></div>";
    const Image img = Render(ComposeWeekHtml(week, "", 1920, 1080), 1920, 1080);
    const BlockRect r = CalcBlockRects(830, 1560)[0];
    const uint32_t black = Rgb(0, 0, 0);
    EXPECT_NE(img.at(r.Left + 9, r.Top + 50), black);
    EXPECT_EQ(img.at(r.Left + 10, r.Top + 45), black);
    EXPECT_NE(img.at(r.Left + 10, r.Top + 44), black);
    EXPECT_EQ(img.at(r.Right - 11, r.Bottom - 21), black);
    EXPECT_NE(img.at(r.Right - 10, r.Top + 100), black) << "clipped by overflow: hidden";
    EXPECT_NE(img.at(r.Left + 100, r.Bottom - 20), black);
}

// Rows of a picture's first 200 columns that hold ink, grouped into lines: first and last row.
std::vector<std::pair<int, int>> InkedLines(const Image& img) {
    std::vector<std::pair<int, int>> lines;
    for (int y = 0; y < img.height; ++y) {
        bool inked = false;
        for (int x = 0; x < 200 && !inked; ++x) inked = img.at(x, y) != kWhite;
        if (!inked) continue;
        if (lines.empty() || lines.back().second != y - 1)
            lines.push_back({y, y});
        else
            lines.back().second = y;
    }
    return lines;
}

// Whether the line in these rows ends in an ellipsis: the ink of its last column lies low, in the
// bottom third of the line's ink (a dot, where a letter's last stroke would run the full height),
// and ends before column `limit`.
bool EndsInDots(const Image& img, std::pair<int, int> rows, int limit) {
    int last = -1;
    for (int x = 0; x < img.width; ++x)
        for (int y = rows.first; y <= rows.second; ++y)
            if (img.at(x, y) != kWhite) last = x;
    if (last < 0 || last >= limit - 1) return false;
    const int low = rows.second - (rows.second - rows.first + 1) / 3;
    for (int y = rows.first; y <= rows.second; ++y)
        if (img.at(last, y) != kWhite && y < low) return false;
    return true;
}

// A box that clips its overflow ends with its last whole line, never the top half of the next
// (nor the marker of a list item left out), and that line ends in "…" as the sign that more
// follows, shortened when the line is full.
TEST_F(HtmlRendererTest, ClippedBoxEndsWithItsLastWholeLineAndAnEllipsis) {
    struct Case {
        const char* name;
        const char* content;
    };
    const Case cases[] = {
        {"lines", "ШШШ<br>ШШШ<br>ШШШ<br>ШШШ"},
        {"bulleted list", "<ul style='margin:0'><li>ШШШ</li><li>ШШШ</li><li>ШШШ</li><li>ШШШ</li></ul>"},
        {"full lines", "ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ ШШШ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto box = [&c](const std::string& clip) {
            return "<body style='margin:0'><div style='font-size:20px;width:200px;" + clip + "'>" +
                   c.content + "</div></body>";
        };
        const Image whole = Render(box(""));
        const std::vector<std::pair<int, int>> lines = InkedLines(whole);
        ASSERT_EQ(lines.size(), 4u);

        for (size_t k = 0; k < lines.size(); ++k) {
            SCOPED_TRACE("clipped through line " + std::to_string(k));
            const int cut = (lines[k].first + lines[k].second) / 2;
            const Image clipped = Render(box("overflow:hidden;height:" + std::to_string(cut) + "px"));
            const auto row = [](const Image& img, int y) { return img.pixels.begin() + y * img.width; };
            for (int y = 0; y < (k > 0 ? lines[k - 1].first : 0); ++y) {
                ASSERT_TRUE(std::equal(row(whole, y), row(whole, y) + 200, row(clipped, y)))
                    << "the lines above are whole, row " << y;
            }
            const std::vector<std::pair<int, int>> shown = InkedLines(clipped);
            ASSERT_EQ(shown.size(), k) << "nothing of the cut line";
            if (k == 0) continue;
            EXPECT_TRUE(EndsInDots(clipped, lines[k - 1], 200)) << "the last shown line ends in …";
            EXPECT_LE(shown.back().second, lines[k - 1].second);
        }
        const Image roomy = Render(box("overflow:hidden;height:" + std::to_string(whole.height) + "px"));
        EXPECT_TRUE(roomy.pixels == whole.pixels) << "lines that fit are all drawn, without …";
    }
}

// One fall-back for every part of the program: a family that is not installed, or none, gives the
// program's sans; an installed one is found whatever its case and comes back as installed.
// A screen of device scale s (sway's "output X scale 2"): the layout is the logical screen's and the
// picture has s times its pixels, drawn at that resolution rather than enlarged from a 1x drawing.
TEST_F(HtmlRendererTest, AScaledScreenKeepsTheLogicalLayoutAndDrawsTextAtFullResolution) {
    const std::string html =
        "<body style='margin:0'><div style='position:absolute;left:10px;top:10px;width:50px;height:30px;"
        "background:#ff0000'></div><div style='position:absolute;left:10px;top:50px;font-size:16px;"
        "color:#000000'>Неделя Week 42</div></body>";
    constexpr int kW = 200, kH = 100;
    const Image one = Render(html, kW, kH);
    // Dark pixels: the text's ink.
    const auto ink = [](const Image& img) {
        int n = 0;
        for (uint32_t p : img.pixels) n += (p & 0xff) < 128 && ((p >> 8) & 0xff) < 128;
        return n;
    };
    for (const int scale : {2, 3}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        Image scaled(kW * scale, kH * scale, kWhite);
        renderer.Paint(scaled, kW, 0, scale);
        // The red box where the logical layout puts it, scale times as large.
        EXPECT_EQ(scaled.at(10 * scale, 10 * scale), kRed);
        EXPECT_NE(scaled.at(10 * scale - 1, 10 * scale), kRed);
        EXPECT_EQ(RunLength(scaled, 10 * scale, 10 * scale, kRed, false), 50 * scale);
        EXPECT_EQ(RunLength(scaled, 10 * scale, 10 * scale, kRed, true), 30 * scale);
        // The text is as large as the layout says (about scale² the ink of the 1x drawing) ...
        const double inkRatio = double(ink(scaled)) / ink(one);
        EXPECT_GT(inkRatio, scale * scale * 0.6);
        EXPECT_LT(inkRatio, scale * scale * 1.6);
        // ... and drawn at full resolution: a 1x drawing enlarged would make every aligned
        // scale x scale cell one colour, while real glyph edges cut through many cells.
        int mixedCells = 0;
        for (int y = 0; y + scale <= scaled.height; y += scale) {
            for (int x = 0; x + scale <= scaled.width; x += scale) {
                bool mixed = false;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) mixed |= scaled.at(x + dx, y + dy) != scaled.at(x, y);
                mixedCells += mixed;
            }
        }
        EXPECT_GT(mixedCells, 50) << "the text looks enlarged from a 1x drawing";
    }
    // A 1x layout after a scaled paint measures text as before.
    EXPECT_TRUE(Render(html, kW, kH).pixels == one.pixels) << "the 1x drawing changed after a scaled one";
}

TEST(InstalledFace, FindsInstalledFamiliesAndFallsBackToOneSans) {
    const std::string sans = InstalledFace("");
    ASSERT_FALSE(sans.empty());
    EXPECT_EQ(InstalledFace(sans), sans);
    struct Case {
        std::string wanted, face;
    };
    std::string upper = sans;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    const Case cases[] = {{"", sans}, {"No Such Family 123", sans}, {"Tahoma, Arial", sans}, {upper, sans}};
    for (const Case& c : cases) EXPECT_EQ(InstalledFace(c.wanted), c.face) << c.wanted;
}

TEST_F(HtmlRendererTest, BorderBoxHeightIncludesPaddingAndBorder) {
    const Image img = Render(
        "<body style='margin:0'><div style='box-sizing:border-box;height:100px;width:50px;padding:45px 10px "
        "10px;"
        "border:3px solid #ff0000;background:#ff0000'>text</div></body>");
    EXPECT_EQ(RunLength(img, 0, 0, kRed, true), 100);
    EXPECT_EQ(RunLength(img, 0, 0, kRed, false), 50);
}

TEST_F(HtmlRendererTest, BlockHoldingOnlyLineBreaksShowsOneBlankLinePerBreak) {
    const std::string style = "style='background:#ff0000;font-size:20px;line-height:30px'";
    struct Case {
        const char* content;
        int lines;
    } cases[] = {{"<br>", 1},
                 {"<br><br>", 2},
                 {" <br> ", 1},
                 {"<b><br></b>", 1},
                 {"<font color=red><u><br></u></font>", 1},
                 {"x", 1},
                 {"x<br>", 1},
                 {"x<br><br>", 2},
                 {"<br>x", 2},
                 {"x<br><br>y", 3}};
    for (const Case& c : cases) {
        const Image img = Render("<body style='margin:0'><div " + style + ">" + c.content + "</div></body>");
        EXPECT_EQ(RunLength(img, 399, 0, kRed, true), 30 * c.lines) << c.content;
    }
    const Image empty = Render("<body style='margin:0'><div " + style + "></div></body>");
    EXPECT_EQ(empty.at(399, 0), kWhite) << "an empty block stays empty";
}

TEST_F(HtmlRendererTest, FontSizeAttributeFollowsTheBrowserTable) {
    struct Case {
        const char* size;
        int px;
    } cases[] = {{"1", 10}, {"2", 13}, {"3", 16},  {"4", 18},  {"5", 24},  {"6", 32},  {"7", 48},
                 {"9", 48}, {"0", 10}, {"+1", 18}, {"-1", 13}, {"+4", 48}, {"-5", 10}, {" 5", 24}};
    for (const Case& c : cases) {
        EXPECT_EQ(FontSizeAttrToPx(c.size), c.px) << c.size;
        // 1em square in the font's size.
        const Image img = Render(
            std::string("<body style='margin:0'><font size='") + c.size +
            "'><span "
            "style='display:inline-block;width:1em;height:1em;background:#ff0000'></span></font></body>");
        int y = 0;
        while (y < img.height && img.at(0, y) != kRed) ++y;
        ASSERT_LT(y, img.height) << c.size;
        EXPECT_EQ(RunLength(img, 0, y, kRed, false), c.px) << c.size;
    }
    EXPECT_EQ(FontSizeAttrToPx("big"), 0);
    EXPECT_EQ(FontSizeAttrToPx(nullptr), 0);
}

TEST_F(HtmlRendererTest, FontFaceIsHonoured) {
    // A monospace face gives equal advances to "i" and "W"; the default sans-serif does not.
    auto width = [&](const std::string& face, const std::string& text) {
        const Image img = Render("<body style='margin:0'><font face='" + face +
                                 "'><span style='background:#ff0000'>" + text + "</span></font></body>");
        int y = 0;
        while (y < img.height && img.at(0, y) != kRed) ++y;
        return y < img.height ? RunLength(img, 0, y, kRed, false) : 0;
    };
    EXPECT_EQ(width("monospace", "iiii"), width("monospace", "WWWW"));
    EXPECT_NE(width("sans-serif", "iiii"), width("sans-serif", "WWWW"));
}

// Rows in which every pixel across the text's width is dark: the decoration lines.
int FullDarkRowGroups(const Image& img, int x0, int x1) {
    int groups = 0;
    bool inGroup = false;
    for (int y = 0; y < img.height; ++y) {
        bool full = true;
        for (int x = x0; x < x1 && full; ++x) full = GreenOf(img.at(x, y)) < 100;
        if (full && !inGroup) ++groups;
        inGroup = full;
    }
    return groups;
}

TEST_F(HtmlRendererTest, NestedDecorationsShowBoth) {
    const std::string head = "<body style='margin:0;font-size:40px'>";
    struct Case {
        const char* html;
        int lines;
    } cases[] = {{"<u><strike>MMMM</strike></u>", 2}, {"<strike><u>MMMM</u></strike>", 2},
                 {"<s><u><b>MMMM</b></u></s>", 2},    {"<u>MMMM</u>", 1},
                 {"<strike>MMMM</strike>", 1},        {"MMMM", 0}};
    for (const Case& c : cases) {
        const Image img = Render(head + c.html + "</body>");
        EXPECT_EQ(FullDarkRowGroups(img, 2, 60), c.lines) << c.html;
    }
}

TEST_F(HtmlRendererTest, BodyBackgroundAttributeIsPaintedOnceAtNaturalSize) {
    const fs::path file = fs::path(testing::TempDir()) / ("render-bg-" + std::to_string(::getpid()) + ".bmp");
    SaveBmp24(Image(50, 40, Rgb(1, 2, 3)), file);
    const Image img =
        Render("<html><body background=\"" + file.string() + "\" style='margin:20px'>x</body></html>");
    EXPECT_EQ(img.at(0, 0), Rgb(1, 2, 3)) << "from the top left of the document, not of the body's box";
    EXPECT_EQ(img.at(49, 39), Rgb(1, 2, 3));
    EXPECT_EQ(img.at(50, 10), kWhite) << "not tiled";
    EXPECT_EQ(img.at(10, 40), kWhite) << "not tiled";
}

TEST_F(HtmlRendererTest, PictureHandedOverInMemoryStandsForItsPath) {
    const std::string path = "/nonexistent/HTML_TempBitmap.bmp";
    renderer.SetImage(path, std::make_shared<const Image>(30, 30, Rgb(9, 8, 7)));
    const Image img = Render("<body background='" + path + "'></body>");
    EXPECT_EQ(img.at(29, 29), Rgb(9, 8, 7));
    renderer.SetImage(path, nullptr);
    const Image none = Render("<body background='" + path + "'></body>");
    EXPECT_EQ(none.at(29, 29), kWhite);
}

TEST_F(HtmlRendererTest, ListsAreNumberedAndMarked) {
    const Image ol = Render("<body style='margin:0'><ol style='margin:0'><li>a</li><li>b</li></ol></body>");
    const Image ul = Render("<body style='margin:0'><ul style='margin:0'><li>a</li></ul></body>");
    auto darkIn = [](const Image& img, int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += GreenOf(img.at(x, y)) < 128;
        return n;
    };
    EXPECT_GT(darkIn(ol, 0, 40, 0, 20), 0) << "marker of item 1";
    EXPECT_GT(darkIn(ol, 0, 40, 20, 40), 0) << "marker of item 2";
    EXPECT_GT(darkIn(ul, 0, 40, 0, 20), 0) << "disc";
}

TEST_F(HtmlRendererTest, PicturesComeFromLocalFilesOnly) {
    // A listening socket on this machine: any fetch the document makes would knock on it.
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(server, 8), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    const fs::path file =
        fs::path(testing::TempDir()) / ("render-img-" + std::to_string(::getpid()) + ".bmp");
    SaveBmp24(Image(20, 10, Rgb(0, 128, 0)), file);
    const Image img =
        Render("<body style='margin:0'><link rel='stylesheet' href='" + url + "/a.css'><style>@import url(" +
               url + "/b.css);</style><img src='" + url + "/c.png'><img src='file://" + file.string() +
               "'><div style='background-image:url(" + url + "/d.png);height:5px'></div></body>");
    EXPECT_EQ(img.at(5, 10), Rgb(0, 128, 0)) << "a local picture is shown";
    EXPECT_EQ(::accept(server, nullptr, nullptr), -1) << "nothing was fetched";
    ::close(server);
    fs::remove(file);
}

TEST_F(HtmlRendererTest, HostileMarkupNeverCrashesOrReachesOut) {
    const std::string cases[] = {
        std::string(100000, '<'),
        [] {
            std::string s;
            for (int i = 0; i < 20000; ++i) s += "<div>";
            return s + "deep";
        }(),
        [] {
            std::string s;
            for (int i = 0; i < 5000; ++i) s += "<b><i>";
            return s + "deep";
        }(),
        "<img src='http://127.0.0.1:1/x.png'><img src='/dev/zero'><img src='relative.png'>",
        "<style>@import url(http://127.0.0.1:1/x.css); body{font-size:100000px}</style>big",
        "<table><tr><td colspan=1000000000 rowspan=1000000000>x</td></tr></table>",
        "<script>while(1){}</script><p onload='x()'>text",
        "<div style='width:2147483647px;height:-5px;margin:-2147483647px'>x</div>",
        std::string("\xff\xfe\x00<p>\xc3", 8),
    };
    for (const std::string& html : cases) {
        Image img(200, 100, kWhite);
        try {
            renderer.Load(html);
            renderer.Paint(img, 200);
        } catch (const std::runtime_error&) {
            // refusing is fine; crashing or hanging is not
        }
    }
}

TEST_F(HtmlRendererTest, TagsPastTheLimitLoseTheirMarkupButKeepTheirText) {
    std::string html = "<body style='margin:0'>";
    for (int i = 0; i < 30000; ++i) html += "<i>x</i>";
    html += "<span style='background:#ff0000'>LAST</span>";
    const Image img = Render(html, 400, 300);
    bool red = false;
    for (uint32_t p : img.pixels) red = red || p == kRed;
    EXPECT_FALSE(red) << "the late span's style is dropped";
    int dark = 0;
    for (uint32_t p : img.pixels) dark += GreenOf(p) < 100;
    EXPECT_GT(dark, 1000) << "the text is still drawn";
}

TEST_F(HtmlRendererTest, TablesNestedPastReasonAreCutShort) {
    std::string html;
    for (int i = 0; i < 60; ++i) html += "<table><tr><td>";
    renderer.Load(html + "x");
    Image img(200, 100, kWhite);
    EXPECT_THROW(renderer.Paint(img, 200), std::runtime_error);
    EXPECT_FALSE(renderer.Loaded());
}

TEST_F(HtmlRendererTest, OversizedDocumentIsRefusedWithAMessage) {
    EXPECT_THROW(renderer.Load(std::string(17 * 1024 * 1024, 'x')), std::runtime_error);
    EXPECT_FALSE(renderer.Loaded());
}

}  // namespace
}  // namespace wl
