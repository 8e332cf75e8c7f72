#pragma once
// The shown week as eight blocks: titles, dates, the block layout and the week document.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/DateText.h"

namespace wl {

class TWeekleaf;

// Day offset of the shown week (0 = current week, +-7 per week). Written on the main thread,
// read by the drawing thread when a run is requested.
extern std::atomic<int32_t> WeekOffsetDays;

// Screen pixels; the field order Left, Right, Top, Bottom is deliberate and shared by every user.
struct BlockRect {
    int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;
    friend bool operator==(const BlockRect&, const BlockRect&) = default;
};
using BlockRects = std::array<BlockRect, 8>;

// Block 0 is the notes page, 1..7 Monday..Sunday of the week holding today + offset.
std::string BlockDate(int index, Date today, int32_t weekOffsetDays);
std::string BlockDate(int index);  // Today() and WeekOffsetDays
// "ЗАМЕТКИ", "ПОНЕДЕЛЬНИК" .. "ВОСКРЕСЕНЬЕ"; empty for an index outside 0..7.
std::string BlockTitle(int index);
// Stored HTML of a block ("note" for 0, the day's entry for 1..7); empty when missing.
std::string BlockContent(const TWeekleaf& store, int index, Date today, int32_t weekOffsetDays);
std::string BlockContent(const TWeekleaf& store, int index);
// First five characters (dd.mm) of the block's date for the week holding `date`.
std::string ShortWeekDate(int index, Date date);

// The block layout for an area of the picture less its margins (height - 250, width - 360): two
// rows of four blocks 30 px apart, the first at (240, 100). An area too small for the gaps gives
// blocks of no size rather than inverted ones.
BlockRects CalcBlockRects(int areaHeight, int areaWidth);

// Everything a drawing run needs from the store, copied on the main thread.
struct WeekSnapshot {
    std::array<std::string, 8> entries;  // BlockContent(0..7)
    std::array<std::string, 8> dates;    // BlockDate(0..7)
    Date today;
    int32_t weekOffsetDays = 0;
    friend bool operator==(const WeekSnapshot&, const WeekSnapshot&) = default;
};
WeekSnapshot MakeWeekSnapshot(const TWeekleaf& store, Date today, int32_t weekOffsetDays);

// Whether the week document's blocks for this screen are larger than their padding (20 px across,
// 55 px down). Smaller ones have no room for text, and a layout engine would widen them past the
// block layout; the drawing lays out no entries then.
bool WeekBlocksHoldText(int screenWidth, int screenHeight);

// The week template with its placeholders replaced in order (BG_Image, h_px, w_px, #_1..#_8),
// each over the result of the previous replacement, ignoring letter case. Entries go in as
// stored; the background path is escaped for its attribute.
std::string WeekTemplate();
std::string ComposeWeekHtml(const WeekSnapshot& week, const std::string& backgroundPath, int screenWidth,
                            int screenHeight);
std::string ComposeWeekHtml(const TWeekleaf& store, const std::string& backgroundPath, int screenWidth,
                            int screenHeight);

}  // namespace wl
