#include "wallpaper/HtmlElements.h"

#include <litehtml/el_body.h>
#include <litehtml/el_break.h>
#include <litehtml/el_div.h>
#include <litehtml/el_para.h>
#include <litehtml/el_td.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

namespace wl {

int FontSizeAttrToPx(const char* value) {
    static constexpr int kSizes[] = {10, 13, 16, 18, 24, 32, 48};
    if (!value) return 0;
    while (std::isspace(static_cast<unsigned char>(*value))) ++value;
    int sign = 0;
    if (*value == '+' || *value == '-') sign = (*value++ == '+') ? 1 : -1;
    if (!std::isdigit(static_cast<unsigned char>(*value))) return 0;
    int n = 0;
    while (std::isdigit(static_cast<unsigned char>(*value)) && n < 100) n = n * 10 + (*value++ - '0');
    int size = sign == 0 ? n : 3 + sign * n;
    size = std::clamp(size, 1, 7);
    return kSizes[size - 1];
}

namespace {

constexpr float kMaxCalcPx = 1e6f;

bool IsCssSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view TrimCss(std::string_view s) {
    while (!s.empty() && IsCssSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsCssSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// One term: a signed number followed by "px", or a unitless zero.
std::optional<float> PxTerm(std::string_view& s) {
    float value = 0;
    const auto [end, ec] = std::from_chars(s.data() + (!s.empty() && s.front() == '+'), s.data() + s.size(),
                                           value, std::chars_format::fixed);
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    s.remove_prefix(size_t(end - s.data()));
    if (StartsWithNoCase(s, "px")) {
        s.remove_prefix(2);
    } else if (value != 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<float> CalcPx(std::string_view value) {
    value = TrimCss(value);
    if (!StartsWithNoCase(value, "calc(") || value.back() != ')') return std::nullopt;
    std::string_view s = TrimCss(value.substr(5, value.size() - 6));
    float sum = 0;
    int sign = 1;
    while (true) {
        const std::optional<float> term = PxTerm(s);
        if (!term) return std::nullopt;
        sum = std::clamp(sum + float(sign) * *term, -kMaxCalcPx, kMaxCalcPx);
        if (s.empty()) return sum;
        // The operator needs white space on both sides, as in CSS.
        if (!IsCssSpace(s.front())) return std::nullopt;
        s = TrimCss(s);
        if (s.size() < 2 || (s.front() != '+' && s.front() != '-') || !IsCssSpace(s[1])) return std::nullopt;
        sign = s.front() == '+' ? 1 : -1;
        s = TrimCss(s.substr(1));
    }
}

namespace {

// Decorations are not inherited in CSS but drawn through every descendant's text, so the
// decorations of all ancestors add up; the engine only takes the nearest one.
std::string CombinedDecoration(const litehtml::element& el) {
    std::string all;
    for (const litehtml::element* e = &el; e;) {
        const char* d = e->get_style_property("text-decoration", false, nullptr);
        if (d && std::strcmp(d, "none") != 0 && std::strcmp(d, "inherit") != 0) {
            if (!all.empty()) all += ' ';
            all += d;
        }
        auto parent = e->parent();
        e = parent.get();
    }
    return all.empty() ? std::string("none") : all;
}

// A line break ends the current line; when that line holds nothing (the break follows another
// break or starts its block) it is a blank line of the line's height, as a browser shows it.
// The engine gives such lines no height, so empty lines written by editors (<div><br></div>)
// vanished. The block containing the break decides, in MarkBlankLines, before its layout.
class MendedBreak final : public litehtml::el_break {
  public:
    using el_break::el_break;

    void SetBlank(bool blank) { FBlank = blank; }

    int render(int x, int y, int max_width, bool second_pass = false) override {
        int width = el_break::render(x, y, max_width, second_pass);
        if (FBlank) m_pos.height = line_height();
        return width;
    }

  private:
    bool FBlank = false;
};

// Walks the inline content of a block in order (not into nested blocks, which mark their own),
// telling each break whether the line it ends is empty.
void MarkBlankLines(const litehtml::element& parent, bool& lineHasContent) {
    for (size_t i = 0; i < parent.get_children_count(); ++i) {
        const auto child = parent.get_child(int(i));
        if (child->is_break()) {
            if (auto* br = dynamic_cast<MendedBreak*>(child.get())) br->SetBlank(!lineHasContent);
            lineHasContent = false;
        } else if (child->is_white_space() || child->get_display() == litehtml::display_none) {
            continue;
        } else if (child->get_display() == litehtml::display_inline && child->get_children_count() > 0) {
            MarkBlankLines(*child, lineHasContent);
        } else if (child->get_display() == litehtml::display_inline ||
                   child->get_display() == litehtml::display_inline_text ||
                   child->get_display() == litehtml::display_inline_block ||
                   child->get_display() == litehtml::display_inline_table) {
            lineHasContent = true;
        } else {
            lineHasContent = false;  // a block: the next inline content starts a new line
        }
    }
}

// The fixes every ordinary element gets.
template <class Base>
class Mended : public Base {
  public:
    using Base::Base;

    // With border-box sizing the given height includes padding and borders; the engine honours
    // that for widths only. Tables subtract their padding themselves.
    bool get_predefined_height(int& height) const override {
        if (!Base::get_predefined_height(height)) return false;
        if (this->m_box_sizing == litehtml::box_sizing_border_box && !IsTable()) {
            height = std::max(0, height - this->m_padding.height() - this->m_borders.height());
        }
        return true;
    }

    int render(int x, int y, int max_width, bool second_pass = false) override {
        if (auto* budget = dynamic_cast<ILayoutBudget*>(this->get_document()->container())) {
            budget->SpendLayoutStep();
        }
        if (this->m_display != litehtml::display_inline) {
            bool lineHasContent = false;
            MarkBlankLines(*this, lineHasContent);
        }
        return Base::render(x, y, max_width, second_pass);
    }

    void parse_styles(bool is_reparse = false) override {
        Base::parse_styles(is_reparse);
        MendCalcLengths();
        NumberListItems();
    }

    void init_font() override {
        Base::init_font();
        const char* nearest = this->get_style_property("text-decoration", true, "none");
        std::string all = CombinedDecoration(*this);
        if (all == (nearest ? nearest : "none")) return;
        const char* family = this->get_style_property("font-family", true, "inherit");
        const char* weight = this->get_style_property("font-weight", true, "normal");
        const char* style = this->get_style_property("font-style", true, "normal");
        this->m_font = this->get_document()->get_font(family, this->m_font_size, weight, style, all.c_str(),
                                                      &this->m_font_metrics);
    }

  private:
    // Lengths written with calc() (the week template's container margin), which the engine
    // reads as zero.
    void MendCalcLengths() {
        struct Length {
            const char* name;
            litehtml::css_length* length;
            bool mayBeNegative;
        };
        const Length lengths[] = {
            {"margin-left", &this->m_css_margins.left, true},
            {"margin-right", &this->m_css_margins.right, true},
            {"margin-top", &this->m_css_margins.top, true},
            {"margin-bottom", &this->m_css_margins.bottom, true},
            {"padding-left", &this->m_css_padding.left, false},
            {"padding-right", &this->m_css_padding.right, false},
            {"padding-top", &this->m_css_padding.top, false},
            {"padding-bottom", &this->m_css_padding.bottom, false},
            {"width", &this->m_css_width, false},
            {"height", &this->m_css_height, false},
        };
        for (const Length& l : lengths) {
            const char* text = this->get_style_property(l.name, false, nullptr);
            if (!text) continue;
            const std::optional<float> px = CalcPx(text);
            // A negative padding or size is invalid in CSS and stays dropped.
            if (px && (l.mayBeNegative || *px >= 0)) l.length->set_value(*px, litehtml::css_units_px);
        }
    }

    bool IsTable() const {
        return this->m_display == litehtml::display_table ||
               this->m_display == litehtml::display_inline_table;
    }

    // The engine draws a numbered marker from the item's "list_index" but never sets it: number
    // the items of this list in order, from the list's "start" (default 1).
    void NumberListItems() {
        int next = 1;
        if (const char* start = this->get_attr("start")) next = std::atoi(start);
        for (const auto& child : this->m_children) {
            if (child->get_display() != litehtml::display_list_item) continue;
            if (const char* own = child->get_attr("value")) next = std::atoi(own);
            child->set_attr("list_index", std::to_string(next).c_str());
            ++next;
        }
    }
};

// The `background` attribute of <body>: the picture at its natural size from the top left,
// painted once (a browser would tile it; the wallpaper behind the blocks must not repeat).
class MendedBody final : public Mended<litehtml::el_body> {
  public:
    using Mended::Mended;

    void parse_styles(bool is_reparse = false) override {
        Mended::parse_styles(is_reparse);
        const char* picture = get_attr("background");
        if (!picture || !*picture || !m_bg.m_image.empty()) return;
        m_bg.m_image = picture;
        m_bg.m_baseurl.clear();
        m_bg.m_repeat = litehtml::background_repeat_no_repeat;
        m_bg.m_attachment = litehtml::background_attachment_scroll;
        m_bg.m_position.x.set_value(0, litehtml::css_units_px);
        m_bg.m_position.y.set_value(0, litehtml::css_units_px);
        m_bg.m_position.width.predef(litehtml::background_size_auto);
        m_bg.m_position.height.predef(litehtml::background_size_auto);
        get_document()->container()->load_image(picture, "", false);
    }
};

// <font color size face> with the browser's size table and relative sizes.
class MendedFont final : public Mended<litehtml::html_tag> {
  public:
    using Mended::Mended;

    void parse_attributes() override {
        if (const char* color = get_attr("color")) m_style.add_property("color", color, nullptr, false, this);
        if (const char* face = get_attr("face"); face && *face) {
            m_style.add_property("font-family", face, nullptr, false, this);
        }
        if (int px = FontSizeAttrToPx(get_attr("size")); px > 0) {
            std::string size = std::to_string(px) + "px";
            m_style.add_property("font-size", size.c_str(), nullptr, false, this);
        }
        html_tag::parse_attributes();
    }
};

// Table cells with absurd spans would make the engine allocate a grid of that many cells.
class MendedCell final : public Mended<litehtml::el_td> {
  public:
    using Mended::Mended;

    void set_attr(const char* name, const char* value) override {
        if (name && value && (!std::strcmp(name, "colspan") || !std::strcmp(name, "rowspan"))) {
            int span = std::clamp(std::atoi(value), 1, kMaxSpan);
            Mended::set_attr(name, std::to_string(span).c_str());
            return;
        }
        Mended::set_attr(name, value);
    }

  private:
    static constexpr int kMaxSpan = 64;
};

}  // namespace

std::shared_ptr<litehtml::element> CreateMendedElement(const char* tag,
                                                       const std::shared_ptr<litehtml::document>& doc) {
    auto is = [tag](const char* name) { return std::strcmp(tag, name) == 0; };
    if (is("body")) return std::make_shared<MendedBody>(doc);
    if (is("font")) return std::make_shared<MendedFont>(doc);
    if (is("div")) return std::make_shared<Mended<litehtml::el_div>>(doc);
    if (is("p")) return std::make_shared<Mended<litehtml::el_para>>(doc);
    if (is("td") || is("th")) return std::make_shared<MendedCell>(doc);
    if (is("br")) return std::make_shared<MendedBreak>(doc);
    // Elements the engine gives special behaviour keep the engine's own classes.
    static const char* const kEngineOwn[] = {"img", "table", "link", "title",  "a",
                                             "tr",  "style", "base", "script", "html"};
    for (const char* own : kEngineOwn) {
        if (is(own)) return nullptr;
    }
    return std::make_shared<Mended<litehtml::html_tag>>(doc);
}

}  // namespace wl
