#include "ui/EditingRules.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace wl {
namespace {

TEST(FormatCommandsTest, CaptionsMapToTheCommandNamesAndValuesTheEditorsSend) {
    struct Row {
        const char* caption;
        const char* command;
        const char* js;
    };
    const Row rows[] = {
        {"Жирный", "Bold", "null"},
        {"Курсив", "Italic", "null"},
        {"Зачеркнутый", "StrikeThrough", "null"},
        {"Черный", "forecolor", "\"#000000\""},
        {"Красный", "forecolor", "\"red\""},  // the name, not a number
        {"Зеленый", "forecolor", "\"#008000\""},
        {"Синий", "forecolor", "\"#0000ff\""},  // 0xFF0000 is blue-green-red order
        {"Размер 1", "FontSize", "\"1\""},
        {"Размер 7", "FontSize", "\"7\""},
        {"Крупный шрифт", "FontSize", "\"5\""},
        {"Обычный шрифт", "FontSize", "\"3\""},
        {"Clear Format", "removeformat", "null"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        const FormatCommand& c = FormatCommandByCaption(QString::fromUtf8(row.caption));
        EXPECT_STREQ(c.command, row.command);
        EXPECT_EQ(FormatValueToJs(c.command, c.value), QString::fromUtf8(row.js));
    }
    EXPECT_EQ(FormatCommands().size(), 17u);
    EXPECT_THROW(FormatCommandByCaption("Подчеркнутый"), std::out_of_range);
}

TEST(FormatCommandsTest, BgrColoursBecomeHtmlColours) {
    EXPECT_EQ(BgrToHtmlColor(0), "#000000");
    EXPECT_EQ(BgrToHtmlColor(0x0000FF), "#ff0000");
    EXPECT_EQ(BgrToHtmlColor(0x008000), "#008000");
    EXPECT_EQ(BgrToHtmlColor(0xFF0000), "#0000ff");
    EXPECT_EQ(BgrToHtmlColor(0x849DAE19 & 0x00FFFFFF), "#19ae9d");  // high byte ignored
}

TEST(JsStringLiteralTest, AnyTextStaysDataInsideTheScript) {
    EXPECT_EQ(JsStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsStringLiteral("x\ny\r\tz"), "\"x\\u000ay\\u000d\\u0009z\"");
    EXPECT_EQ(JsStringLiteral(QString(QChar(0x2028))), "\"\\u2028\"");
    EXPECT_EQ(JsStringLiteral("</script>"), "\"\\u003c/script>\"");
    EXPECT_EQ(JsStringLiteral("Привет"), "\"Привет\"");
}

TEST(ContextMenuYTest, EachEditorPlacesItsMenuByItsOwnRule) {
    struct Row {
        TMenuPlacement placement;
        int cursorY, screenHeight, expected;
    };
    const Row rows[] = {
        {TMenuPlacement::DayEditor, 880, 1080, 640},    // 200 above the bottom
        {TMenuPlacement::DayEditor, 780, 1080, 540},    // exactly 300: still lifted
        {TMenuPlacement::DayEditor, 779, 1080, 779},    // 301: at the cursor
        {TMenuPlacement::BlockEditor, 780, 1080, 470},  // 300 above the bottom
        {TMenuPlacement::BlockEditor, 730, 1080, 420},  // exactly 350
        {TMenuPlacement::BlockEditor, 729, 1080, 729}, {TMenuPlacement::NotesPage, 1000, 1080, 1000},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ContextMenuY(r.placement, r.cursorY, r.screenHeight), r.expected)
            << int(r.placement) << " at " << r.cursorY;
    }
}

TEST(CleanEditorBackgroundTest, RemovesEveryCaseOnlyWhenTheExactTextIsPresent) {
    const QString exact = "style=\"BACKGROUND-COLOR: #f0f0f0\"";
    const QString lower = "style=\"background-color: #f0f0f0\"";
    QString html = "<p " + exact + ">a</p><span " + exact + ">b</span><i " + lower + ">c</i>";
    EXPECT_TRUE(CleanEditorBackground(html));
    EXPECT_EQ(html, "<p >a</p><span >b</span><i >c</i>");

    QString onlyLower = "<i " + lower + ">c</i>";
    const QString before = onlyLower;
    EXPECT_FALSE(CleanEditorBackground(onlyLower));
    EXPECT_EQ(onlyLower, before);
}

}  // namespace
}  // namespace wl
