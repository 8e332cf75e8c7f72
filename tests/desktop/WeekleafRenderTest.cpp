// The render tool as a user runs it: its picture, its errors, and the data folder left as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/RunCommand.h"
#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

class WeekleafRenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-render-tool-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "data");
        WriteFileAtomic(root / "data" / "Data.json",
                        R"({"10.12.2026":"<p>купить хлеб</p>","note":"<b>цели</b>"})");
        SaveBmp24(Image(1024, 768, Rgb(30, 90, 160)), root / "wall.bmp");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    int Render(std::vector<std::string> args) {
        args.insert(args.begin(), WL_RENDER_TOOL);
        return RunCommand(args).exitCode;
    }
    fs::path root;
};

TEST_F(WeekleafRenderTest, DrawsTheWeekAtTheGivenSizeAndLeavesTheDataFolderAlone) {
    ASSERT_EQ(Render({"--data", (root / "data").string(), "--wallpaper", (root / "wall.bmp").string(),
                      "--out", (root / "out.bmp").string(), "--size", "800x600", "--today", "10.12.2026"}),
              0);
    const Image out = LoadBmpFile(root / "out.bmp");
    EXPECT_EQ(out.width, 800);
    EXPECT_EQ(out.height, 600);
    // Block 0's body (alpha 125 white over the blue picture) at its worked-out place.
    const uint32_t body = out.at(250, 200);
    EXPECT_GT(RedOf(body), 100);
    EXPECT_EQ(out.at(5, 5), Rgb(30, 90, 160)) << "outside the blocks the picture shows";
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root / "data")) ++files;
    EXPECT_EQ(files, 1u) << "only Data.json";
}

TEST_F(WeekleafRenderTest, BadArgumentsAndMissingFilesAreRefused) {
    const std::string data = (root / "data").string(), wall = (root / "wall.bmp").string(),
                      out = (root / "out.bmp").string();
    struct Case {
        std::vector<std::string> args;
        int code;
    };
    const Case cases[] = {
        {{}, 2},
        {{"--data", data, "--wallpaper", wall}, 2},
        {{"--data", data, "--wallpaper", wall, "--out", out, "--size", "800"}, 2},
        {{"--data", data, "--wallpaper", wall, "--out", out, "--size", "99999x600"}, 2},
        {{"--data", data, "--wallpaper", wall, "--out", out, "--today", "31.02.2026"}, 2},
        {{"--data", data, "--wallpaper", wall, "--out", out, "--alpha", "300"}, 2},
        {{"--data", data, "--wallpaper", wall, "--out", out, "--bogus", "1"}, 2},
        {{"--data", (root / "nowhere").string(), "--wallpaper", wall, "--out", out}, 1},
        {{"--data", data, "--wallpaper", (root / "missing.jpg").string(), "--out", out}, 1},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        EXPECT_EQ(Render(c.args), c.code) << joined;
    }
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace wl
