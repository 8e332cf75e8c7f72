#pragma once
// Element classes that close the layout engine's gaps against what a browser shows for the
// documents we draw: the body's `background` attribute, border-box heights, blocks holding only
// line breaks, <font size/face>, decorations that add up when nested (<u><strike>) and calc()
// sums of pixel lengths in margins, paddings and sizes.
#include <litehtml/litehtml.h>

#include <memory>
#include <optional>
#include <string_view>

namespace wl {

// The engine's layout re-renders shrink-to-fit boxes (tables, inline-blocks, floats) once per
// enclosing such box, so its work grows exponentially with their nesting. A document container
// that also implements this interface is told of every box layout and may throw to stop a
// layout that has gone on too long.
class ILayoutBudget {
  public:
    virtual void SpendLayoutStep() = 0;

  protected:
    ~ILayoutBudget() = default;
};

// The element for `tag`, or null to let the engine make its own (e.g. <img>, <br>, <table>).
std::shared_ptr<litehtml::element> CreateMendedElement(const char* tag,
                                                       const std::shared_ptr<litehtml::document>& doc);

// The value of a CSS calc() that adds and subtracts px lengths ("calc(120px - 30px)" is 90), which
// the engine would drop; nothing for any other value (other units, products, nesting).
std::optional<float> CalcPx(std::string_view value);

// CSS pixel size of <font size="...">: 1..7 map to 10, 13, 16, 18, 24, 32, 48; "+n"/"-n" are
// relative to 3 and clamped to 1..7; 0 when the value is not a size.
int FontSizeAttrToPx(const char* value);

}  // namespace wl
