#pragma once
// The HTML layout engine used by the wallpaper drawing: lays out one document with our default
// style sheet and paints it into a picture. Needs no window and no display; one instance belongs
// to one thread at a time and is meant to be kept and reused from run to run (fonts, the master
// style sheet and decoded pictures stay warm).
//
// Documents are untrusted (entries come from other devices): nothing is fetched from the network,
// scripts never run, style sheet imports are ignored, and only local picture files are read.
#include <memory>
#include <string>

#include "wallpaper/Image.h"

namespace wl {

class CairoContainer;

class HtmlRenderer {
  public:
    HtmlRenderer();
    ~HtmlRenderer();
    HtmlRenderer(const HtmlRenderer&) = delete;
    HtmlRenderer& operator=(const HtmlRenderer&) = delete;

    // Drops the loaded document (pictures handed over with SetImage stay).
    void Clear();

    // Parses one document. Throws std::runtime_error with a message when the text cannot be taken
    // (too large, or the engine yields no document); the renderer is then empty.
    void Load(const std::string& html);
    bool Loaded() const;

    // A picture already in memory that stands for the local file `path` wherever the document
    // names it (e.g. the body background just written by the caller), so it is not read back.
    // Replaces an earlier picture under the same path.
    void SetImage(const std::string& path, std::shared_ptr<const Image> image);
    // Forgets every decoded picture (those read from files and those handed over).
    void ClearImages();

    // Lays the document out at `formatWidth` and paints it onto `target` from vertical offset
    // `yOffset` (document row yOffset lands on the target's row 0). Does nothing when empty.
    // Throws std::runtime_error when the layout is cut short for being too complex (nested
    // tables or inline blocks from hostile markup); the renderer is then empty.
    //
    // `scale` is the screen's device scale: the layout is made in logical pixels (`formatWidth`,
    // `yOffset` and the document's lengths) for a screen of target / scale, and painted at `scale`
    // device pixels each, so text and lines are drawn at the target's full resolution rather than
    // enlarged. Values outside 0.5..8 count as 1.
    void Paint(Image& target, int formatWidth, int yOffset = 0, double scale = 1.0);

    // Height of the laid-out document at the last Paint (0 when empty).
    int DocumentHeight() const;

  private:
    std::unique_ptr<CairoContainer> FContainer;
    struct Doc;
    std::unique_ptr<Doc> FDoc;
};

}  // namespace wl
