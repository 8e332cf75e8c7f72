// Renderers on different threads share nothing: two drawing threads give identical pictures.
#include <gtest/gtest.h>

#include <thread>

#include "wallpaper/Blender.h"
#include "wallpaper/HtmlRenderer.h"

namespace wl {
namespace {

TEST(RenderThreads, SeparateRenderersOnTwoThreadsDrawTheSamePicture) {
    WeekSnapshot week;
    for (int i = 0; i < 8; ++i) {
        week.entries[i] =
            "<p><b>день " + std::to_string(i) + "</b> <u><strike>текст</strike></u></p><ol><li>a</li></ol>";
    }
    const std::string html = ComposeWeekHtml(week, "", 800, 600);
    auto draw = [&html](Image& out) {
        HtmlRenderer renderer;
        for (int run = 0; run < 3; ++run) {
            out = Image(800, 600, 0xffffff);
            renderer.Load(html);
            renderer.Paint(out, 800);
        }
    };
    Image a, b;
    std::thread ta(draw, std::ref(a));
    std::thread tb(draw, std::ref(b));
    ta.join();
    tb.join();
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a.pixels == b.pixels);
}

}  // namespace
}  // namespace wl
