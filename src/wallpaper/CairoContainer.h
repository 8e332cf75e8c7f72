#pragma once
// The layout engine's drawing and measuring side on cairo + pango, with no window: fonts through
// pango, text, decorations, backgrounds, borders and list markers through cairo, a clip stack,
// and pictures from local files only (decoded by our own codecs). Used through HtmlRenderer.
#include <cairo.h>
#include <litehtml/litehtml.h>
#include <pango/pangocairo.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "wallpaper/HtmlElements.h"
#include "wallpaper/Image.h"

namespace wl {

class CairoContainer final : public litehtml::document_container, public ILayoutBudget {
  public:
    CairoContainer();
    ~CairoContainer();
    CairoContainer(const CairoContainer&) = delete;
    CairoContainer& operator=(const CairoContainer&) = delete;

    litehtml::context& Context() { return FContext; }

    // Drawing goes to `cr`, whose visible area (the client rectangle) is width x height.
    void BeginPaint(cairo_t* cr, int width, int height);
    void EndPaint();
    void SetClientSize(int width, int height);

    void SetImage(const std::string& path, std::shared_ptr<const Image> image);
    void ClearImages();
    // Starts a layout allowed `steps` box layouts; SpendLayoutStep throws std::runtime_error past it.
    void StartLayout(long steps) { FLayoutSteps = steps; }
    void SpendLayoutStep() override;

    // Fonts are kept across documents; called between documents to bound the cache.
    void TrimFonts();

    // litehtml::document_container
    litehtml::uint_ptr create_font(const litehtml::tchar_t* faceName, int size, int weight,
                                   litehtml::font_style italic, unsigned int decoration,
                                   litehtml::font_metrics* fm) override;
    void delete_font(litehtml::uint_ptr hFont) override;
    int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont) override;
    void draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr hFont,
                   litehtml::web_color color, const litehtml::position& pos) override;
    int pt_to_px(int pt) const override;
    int get_default_font_size() const override;
    const litehtml::tchar_t* get_default_font_name() const override;
    void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override;
    void load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl,
                    bool redraw_on_ready) override;
    void get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl,
                        litehtml::size& sz) override;
    void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override;
    void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders,
                      const litehtml::position& draw_pos, bool root) override;
    void set_caption(const litehtml::tchar_t*) override {}
    void set_base_url(const litehtml::tchar_t*) override {}
    void link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) override {}
    void on_anchor_click(const litehtml::tchar_t*, const litehtml::element::ptr&) override {}
    void set_cursor(const litehtml::tchar_t*) override {}
    void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override;
    void import_css(litehtml::tstring& text, const litehtml::tstring& url,
                    litehtml::tstring& baseurl) override;
    void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& bdr_radius, bool valid_x,
                  bool valid_y) override;
    void del_clip() override;
    void get_client_rect(litehtml::position& client) const override;
    std::shared_ptr<litehtml::element> create_element(
        const litehtml::tchar_t* tag_name, const litehtml::string_map& attributes,
        const std::shared_ptr<litehtml::document>& doc) override;
    void get_media_features(litehtml::media_features& media) const override;
    void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override;

  private:
    struct Font;
    struct Picture {
        std::shared_ptr<const Image> image;  // null when the file could not be used
        cairo_surface_t* surface = nullptr;
        std::filesystem::file_time_type stamp{};
        std::uintmax_t bytes = 0;
        bool fromFile = false;
    };

    const Font* FontOf(litehtml::uint_ptr handle) const;
    Picture* FindPicture(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl);
    void LoadPicture(const std::string& path);
    void DropPicturesPast(size_t pixels);
    using Clips = std::vector<litehtml::position>;
    void ApplyClips(cairo_t* cr) const;
    static void ApplyClips(cairo_t* cr, const Clips& clips);
    // Whether a clipping box (overflow: hidden, as at the bottom of a full block) would cut the
    // text across: such a line is left out whole, so a box ends with its last whole line rather
    // than the top half of the next.
    bool CutAtTheBottom(const litehtml::position& text) const;
    // The innermost clipping box that cuts the text across, null when none does.
    const litehtml::position* CuttingClip(const litehtml::position& text) const;

    // The words of the line being drawn are held back until the next line begins, so that when a
    // box has to leave out the lines below, its last shown line can end with "…" (its last words
    // shortened to make room) as the sign that more follows.
    struct Word {
        std::string text;
        litehtml::uint_ptr font = 0;
        litehtml::web_color color;
        litehtml::position pos;
        Clips clips;
    };
    void DrawWord(const Word& word, const std::string& text);
    void FlushLine();
    void EndWithEllipsis(const litehtml::position& box);
    std::vector<Word> FLine;
    Clips FEnded;  // boxes whose text was cut and that got their "…" (or had no line to carry it)
    cairo_t* FCr = nullptr;
    // The text line a list marker belongs to, so a left-out line takes its marker along.
    litehtml::position MarkerLine(const litehtml::list_marker& marker) const;
    void DrawDecorations(cairo_t* cr, const Font& font, const litehtml::position& pos, int baseline) const;

    litehtml::context FContext;
    std::string FDefaultFace;  // the program's sans as installed
    PangoFontMap* FFontMap = nullptr;
    PangoContext* FPango = nullptr;
    PangoLayout* FMeasure = nullptr;
    std::vector<std::unique_ptr<Font>> FFonts;
    std::map<std::string, size_t> FFontIndex;
    std::map<std::string, Picture> FPictures;
    std::vector<litehtml::position> FClips;
    long FLayoutSteps = 0;
    int FWidth = 0;
    int FHeight = 0;
};

}  // namespace wl
