#include "wallpaper/TextLook.h"

#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>

namespace wl {
namespace {

// The design face first, then faces of the same build that Linux systems carry.
constexpr const char* kSansFaces[] = {"Tahoma", "Liberation Sans", "DejaVu Sans"};

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};

std::string SystemSans(PangoFontMap* map) {
    std::unique_ptr<PangoContext, Unref> context(pango_font_map_create_context(map));
    PangoFontDescription* wanted = pango_font_description_from_string("sans-serif");
    std::unique_ptr<PangoFont, Unref> font(pango_font_map_load_font(map, context.get(), wanted));
    pango_font_description_free(wanted);
    if (!font) return "sans-serif";
    PangoFontDescription* got = pango_font_describe(font.get());
    const char* family = pango_font_description_get_family(got);
    std::string name = family ? family : "sans-serif";
    pango_font_description_free(got);
    return name;
}

}  // namespace

std::string InstalledFace(const std::string& wanted) {
    std::unique_ptr<PangoFontMap, Unref> map(pango_cairo_font_map_new());
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(map.get(), &families, &count);
    auto installed = [&](const std::string& name) -> std::string {
        if (name.empty()) return {};
        for (int i = 0; i < count; ++i) {
            const char* family = pango_font_family_get_name(families[i]);
            if (family && g_ascii_strcasecmp(family, name.c_str()) == 0) return family;
        }
        return {};
    };
    std::string face = installed(wanted);
    for (const char* sans : kSansFaces) {
        if (face.empty()) face = installed(sans);
    }
    g_free(families);
    return face.empty() ? SystemSans(map.get()) : face;
}

int PointsToPx(int points) {
    return std::max(1, (std::clamp(points, 1, 200) * 96 + 36) / 72);
}

std::string WeekTextCss() {
    return "body { font-family: \"" + InstalledFace("") + "\"; font-size: " + std::to_string(kWeekTextPx) +
           "px; line-height: " + kWeekLineHeight + "; }";
}

}  // namespace wl
