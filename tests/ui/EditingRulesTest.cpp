#include "ui/EditingRules.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

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
        {"Очистить формат", "removeformat", "null"},
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

TEST(TemplateToHtmlTest, PlainTextKeepsItsLinesAndHtmlGoesInAsItIs) {
    struct Row {
        const char* name;
        const char* tmpl;
        const char* html;
    };
    const Row rows[] = {
        {"first-run default (CR LF, trailing spaces)",
         "НА РАБОТЕ:\r\n-\r\n\r\nВ ГОРОДЕ:\r\n- \r\n\r\nДОМА:\r\n- \r\n\r\nЗАМЕТКИ:\r\n-",
         "НА РАБОТЕ:<br>-<br><br>В ГОРОДЕ:<br>- <br><br>ДОМА:<br>- <br><br>ЗАМЕТКИ:<br>-"},
        {"LF and lone CR", "a\nb\rc", "a<br>b<br>c"},
        {"characters of HTML are shown, not read", "5 < 6 & 7 > 3", "5 &lt; 6 &amp; 7 &gt; 3"},
        {"an entity written in plain text stays as written", "AT&amp;T", "AT&amp;amp;T"},
        {"runs of spaces and indentation survive", "  a   b", "&nbsp;&nbsp;a &nbsp;&nbsp;b"},
        {"empty", "", ""},
        {"paragraphs", "<p>1. Зарядка</p>\r\n<p>2. Почта</p>", "<p>1. Зарядка</p>\r\n<p>2. Почта</p>"},
        {"upper-case tags of older clients", "<P>План</P>", "<P>План</P>"},
        {"a break alone is markup", "утро<br/>вечер", "утро<br/>вечер"},
        {"attributes", "<font color=\"red\">!</font>", "<font color=\"red\">!</font>"},
        {"a comment", "<!-- шаблон -->\nx", "<!-- шаблон -->\nx"},
        {"a tag-like word without closing bracket is text", "x<y\nz", "x&lt;y<br>z"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(TemplateToHtml(QString::fromUtf8(row.tmpl)), QString::fromUtf8(row.html));
    }
}

TEST(FormatKeyCaptionsTest, CtrlWithTheBoldOrStrikeKeyRunsItsCommand) {
    struct Case {
        int key;
        bool ctrl;
        TFormatKeys keys;
        std::vector<std::string> captions;
    };
    const Case cases[] = {
        {'B', true, {U'B', U'R'}, {"Жирный"}},
        {'R', true, {U'B', U'R'}, {"Зачеркнутый"}},
        {'B', true, {U'b', U'r'}, {"Жирный"}},  // settings in lower case fold too
        {'B', false, {U'B', U'R'}, {}},         // without Ctrl the key is typed
        {'I', true, {U'B', U'R'}, {}},          // italic has no rule of its own
        {'B', true, {U'B', U'B'}, {"Жирный", "Зачеркнутый"}},
        {'B', true, {0, 0}, {}},
        {'7', true, {U'7', 0}, {"Жирный"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const char* s : FormatKeyCaptions(c.key, c.ctrl, c.keys)) got.push_back(s);
        EXPECT_EQ(got, c.captions) << char(c.key) << " ctrl " << c.ctrl;
    }
}

}  // namespace
}  // namespace wl
