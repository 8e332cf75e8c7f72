#include "wallpaper/Blender.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "data/TWeekleaf.h"

namespace wl {

std::atomic<int32_t> WeekOffsetDays{0};

namespace {

constexpr int kBlockCount = 8;

// Fixed margins of the wallpaper around the block area and the gap between blocks.
constexpr int kMarginLeft = 240, kMarginTop = 100, kMarginRight = 120, kMarginBottom = 150, kGap = 30;

// Larger sizes than any screen are cut here so that the sums below cannot overflow.
constexpr int kMaxBlockSize = 1 << 24;
int Bounded(int size) {
    return std::clamp(size, -kMaxBlockSize, kMaxBlockSize);
}

// The padding of a block box in the week template, across and down.
constexpr int kBlockPaddingX = 10 + 10, kBlockPaddingY = 45 + 10;

bool IsBlockIndex(int index) {
    return index >= 0 && index < kBlockCount;
}

// Day of a block: the notes page carries the shown day itself, blocks 1..7 Monday..Sunday
// of the week holding `date`.
Date BlockDay(int index, Date date) {
    return index == 0 ? date : AddDays(date, index - IsoWeekday(date));
}

// A negative size (a picture smaller than the margins) would make inverted rectangles and
// nonsense style values; such a block has no size instead.
int ClampSize(int size) {
    return std::clamp(size, 0, kMaxBlockSize);
}

// Width and height of a block box in the week document: the block layout's width, and its height
// less the 10 px the box keeps free at the bottom.
struct DocumentBlockSize {
    int w = 0, h = 0;
};
DocumentBlockSize DocumentBlock(int screenWidth, int screenHeight) {
    return {ClampSize((Bounded(screenWidth) - kMarginLeft - kMarginRight - 3 * kGap) / 4),
            ClampSize((Bounded(screenHeight) - kMarginTop - kMarginBottom - kGap) / 2 - 10)};
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(std::string_view text, std::size_t pos, std::string_view pattern) {
    if (text.size() - pos < pattern.size()) return false;
    for (std::size_t k = 0; k < pattern.size(); ++k)
        if (AsciiLower(text[pos + k]) != AsciiLower(pattern[k])) return false;
    return true;
}

// Every occurrence, ignoring letter case, in one left-to-right pass; the inserted text is not
// searched again within the same pass.
std::string ReplaceAllNoCase(std::string_view text, std::string_view pattern, std::string_view by) {
    std::string out;
    out.reserve(text.size() + by.size());
    const char first = AsciiLower(pattern.front());
    std::size_t i = 0;
    while (i < text.size()) {
        if (AsciiLower(text[i]) == first && MatchesAt(text, i, pattern)) {
            out += by;
            i += pattern.size();
            continue;
        }
        out += text[i++];
    }
    return out;
}

// The background path goes into an attribute value; escaping keeps a path with '&' or '"'
// meaning exactly that path.
std::string AttributeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string BlockDate(int index, Date today, int32_t weekOffsetDays) {
    if (!IsBlockIndex(index)) return {};
    // The weekday is that of today, not of the shifted day; offsets move by whole weeks.
    return DateToStr(AddDays(BlockDay(index, today), weekOffsetDays));
}

std::string BlockDate(int index) {
    return BlockDate(index, Today(), WeekOffsetDays.load());
}

std::string BlockTitle(int index) {
    static constexpr std::string_view kTitles[kBlockCount] = {
        "ЗАМЕТКИ", "ПОНЕДЕЛЬНИК", "ВТОРНИК", "СРЕДА", "ЧЕТВЕРГ", "ПЯТНИЦА", "СУББОТА", "ВОСКРЕСЕНЬЕ",
    };
    if (!IsBlockIndex(index)) return {};
    return std::string(kTitles[index]);
}

std::string BlockContent(const TWeekleaf& store, int index, Date today, int32_t weekOffsetDays) {
    if (!IsBlockIndex(index)) return {};
    try {
        if (index == 0) return store.Get("note");
        return store.Get(BlockDate(index, today, weekOffsetDays));
    } catch (...) {
        // An unreadable entry draws as an empty block.
        return {};
    }
}

std::string BlockContent(const TWeekleaf& store, int index) {
    return BlockContent(store, index, Today(), WeekOffsetDays.load());
}

std::string ShortWeekDate(int index, Date date) {
    if (!IsBlockIndex(index)) return {};
    return DateToStr(BlockDay(index, date)).substr(0, 5);
}

BlockRects CalcBlockRects(int areaHeight, int areaWidth) {
    // Integer division truncates toward zero, as the layout requires.
    const int bw = ClampSize((Bounded(areaWidth) - 3 * kGap) / 4);
    const int bh = ClampSize((Bounded(areaHeight) - kGap) / 2);
    BlockRects rects;
    for (int i = 0; i < kBlockCount; ++i) {
        BlockRect& r = rects[static_cast<std::size_t>(i)];
        r.Left = kMarginLeft + (i % 4) * (bw + kGap);
        r.Top = kMarginTop + (i / 4) * (bh + kGap);
        r.Right = r.Left + bw;
        r.Bottom = r.Top + bh;
    }
    return rects;
}

WeekSnapshot MakeWeekSnapshot(const TWeekleaf& store, Date today, int32_t weekOffsetDays) {
    WeekSnapshot week;
    week.today = today;
    week.weekOffsetDays = weekOffsetDays;
    for (int i = 0; i < kBlockCount; ++i) {
        auto k = static_cast<std::size_t>(i);
        week.dates[k] = BlockDate(i, today, weekOffsetDays);
        week.entries[k] = BlockContent(store, i, today, weekOffsetDays);
    }
    return week;
}

std::string WeekTemplate() {
    static constexpr std::string_view kHead[] = {
        "<html>",
        "<style>",
        "body{",
        "margin: 0;",
        "}",
        ".block{",
        "height: h_px;",
        "width: w_px;",
        "display: inline-block;",
        "margin-right: 30px;",
        "margin-bottom: 40px;",
        "padding-top: 45px;",
        "padding-left: 10px;",
        "padding-right: 10px;",
        "padding-bottom: 10px;",
        "float: left;",
        "box-sizing:border-box;",
        "overflow: hidden;",
        "}",
        ".conteiner{",
        "margin-left: 240px;",
        "margin-top: 100px;",
        "margin-right: calc(120px - 30px);",
        "margin-bottom: 150px;",
        "display: inline-block;",
        "}",
        "p{",
        "padding: 0;",
        "margin: 0;",
        "}",
        "</style>",
        "<body background=\"BG_Image\">",
        "<div class=\"conteiner\">",
    };
    static constexpr std::string_view kTail[] = {"</div>", "</body>", "</html>"};
    std::string text;
    auto addLine = [&text](std::string_view line) {
        if (!text.empty()) text += "\r\n";
        text += line;
    };
    for (std::string_view line : kHead) addLine(line);
    for (int n = 1; n <= kBlockCount; ++n) {
        addLine("<div class=\"block\">");
        addLine("#_" + std::to_string(n));
        addLine("</div>");
    }
    for (std::string_view line : kTail) addLine(line);
    return text;
}

bool WeekBlocksHoldText(int screenWidth, int screenHeight) {
    const DocumentBlockSize size = DocumentBlock(screenWidth, screenHeight);
    return size.w > kBlockPaddingX && size.h > kBlockPaddingY;
}

std::string ComposeWeekHtml(const WeekSnapshot& week, const std::string& backgroundPath, int screenWidth,
                            int screenHeight) {
    const auto [w, h] = DocumentBlock(screenWidth, screenHeight);
    std::string html = WeekTemplate();
    // Each step works on the result of the previous one, so the order is part of the result.
    html = ReplaceAllNoCase(html, "BG_Image", AttributeText(backgroundPath));
    html = ReplaceAllNoCase(html, "h_px", std::to_string(h) + "px");
    html = ReplaceAllNoCase(html, "w_px", std::to_string(w) + "px");
    for (int i = 0; i < kBlockCount; ++i)
        html =
            ReplaceAllNoCase(html, "#_" + std::to_string(i + 1), week.entries[static_cast<std::size_t>(i)]);
    return html;
}

std::string ComposeWeekHtml(const TWeekleaf& store, const std::string& backgroundPath, int screenWidth,
                            int screenHeight) {
    return ComposeWeekHtml(MakeWeekSnapshot(store, Today(), WeekOffsetDays.load()), backgroundPath,
                           screenWidth, screenHeight);
}

}  // namespace wl
