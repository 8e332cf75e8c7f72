#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <thread>

#include "TempDataDir.h"
#include "diag/ErrLog.h"
#include "diag/ResultCodes.h"
#include "platform/TextLines.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

class ErrLogTest : public test::TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        fs::create_directories(dataDir);
        log = dataDir / "ErrLog.txt";
    }
    std::vector<std::string> Lines() {
        TextLines t;
        t.LoadFromFile(log);
        return t.lines;
    }
    fs::path log;
};

TEST_F(ErrLogTest, FirstEntryCreatesFileWithOneFormattedLine) {
    ErrLog("BackUpWpp: нет файла");
    const std::string text = Read(log);
    EXPECT_TRUE(std::regex_match(
        text, std::regex(R"(\d{1,2}:\d\d:\d\d \| \d\d\.\d\d\.\d{4} \| BackUpWpp: нет файла\r\n)")))
        << text;
}

TEST_F(ErrLogTest, EmptyMessageEndsWithSeparator) {
    ErrLog("");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with(" | ")) << lines[0];
}

TEST_F(ErrLogTest, MessageWithLineBreaksSpansLinesWithCrLf) {
    ErrLog("a\nb\r\nc");
    EXPECT_TRUE(Read(log).ends_with(" | a\r\nb\r\nc\r\n"));
}

TEST_F(ErrLogTest, StaysAt1001Lines) {
    TextLines t;
    for (int i = 0; i < 1001; ++i) t.lines.push_back("old " + std::to_string(i));
    t.SaveToFile(log);
    ErrLog("new");
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines.front(), "old 1");
    EXPECT_TRUE(lines.back().ends_with(" | new"));

    // A log that somehow grew far longer is brought back to the same size.
    for (int i = 0; i < 3000; ++i) t.lines.push_back("more");
    t.SaveToFile(log);
    ErrLog("last");
    lines = Lines();
    EXPECT_EQ(lines.size(), 1001u);
    EXPECT_TRUE(lines.back().ends_with(" | last"));
}

TEST_F(ErrLogTest, HugeLogKeepsItsTailAndKeepsWorking) {
    std::string big = "first\r\n" + std::string(20u << 20, 'x') + "\r\nlast old\r\n";
    Write(log, big);
    ErrLog("new");
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "last old");
    EXPECT_TRUE(lines[1].ends_with(" | new"));
}

TEST_F(ErrLogTest, ReadOnlyOrUnreachableLogIsLeftAloneWithoutError) {
    Write(log, "keep\r\n");
    ::chmod(log.c_str(), 0444);
    ErrLog("lost");
    EXPECT_EQ(Read(log), "keep\r\n");

    ::setenv("AppData", (root / "missing" / "deeper").c_str(), 1);
    ErrLog("nowhere");  // the folder does not exist: nothing happens
    EXPECT_FALSE(fs::exists(root / "missing"));
}

TEST_F(ErrLogTest, OverlappingCallsLoseNoEntry) {
    constexpr int kThreads = 4, kEach = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) ErrLog("t" + std::to_string(t) + " #" + std::to_string(i));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(Lines().size(), static_cast<std::size_t>(kThreads * kEach));
}

TEST(ResultCodesTest, Texts) {
    EXPECT_EQ(ResultCodeText(0), "ER_SUCCESS Успешно");
    EXPECT_EQ(ResultCodeText(ER_UPDATE), "ER_UPDATE Ваши данные актуальнее чем на сервере");
    EXPECT_EQ(ResultCodeText(7), "ER_SELECT Не найдено");
    EXPECT_EQ(ResultCodeText(8), "ER_UNKNOWN Неизвестный код ошибки сервера [8]");
    EXPECT_EQ(ResultCodeText(-3), "ER_UNKNOWN Неизвестный код ошибки сервера [-3]");
}

}  // namespace
}  // namespace wl
