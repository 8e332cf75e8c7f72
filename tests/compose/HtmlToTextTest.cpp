#include "data/HtmlToText.h"

#include "data/HtmlToTextParts.h"

#include <gtest/gtest.h>

#include <string>

namespace wl {
namespace {

struct Case {
    const char* name;
    std::string html;
    std::string text;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class HtmlToTextCases : public testing::TestWithParam<Case> {};

TEST_P(HtmlToTextCases, GivesTheRenderedText) {
    EXPECT_EQ(HtmlToText(GetParam().html), GetParam().text);
}

const Case kBlocks[] = {
    {"empty", "", ""},
    {"plain", "plain text", "plain text"},
    {"paragraphs", "<p>one</p><p>two</p>", "one\r\ntwo"},
    {"divs", "<div>a</div><div>b</div>", "a\r\nb"},
    {"upper-case tags and attributes", "<P class=x>A</P><DIV STYLE='a:b'>B</DIV>", "A\r\nB"},
    {"nested divs give one break", "<div><div>a</div></div><div><div>b</div></div>", "a\r\nb"},
    {"empty block gives no line", "a<div></div>b", "a\r\nb"},
    {"br", "a<br>b", "a\r\nb"},
    {"two br give an empty line", "a<br><br>b", "a\r\n\r\nb"},
    {"br at the end of a paragraph", "<p>a<br></p><p>b</p>", "a\r\nb"},
    {"br after a block", "<p>a</p><br>b", "a\r\n\r\nb"},
    {"headings and inline", "<h1>Title</h1><span>x</span><b>y</b>", "Title\r\nxy"},
    {"nested lists",
     "<ul><li>one<ul><li>two</li><li>three</li></ul></li><li>four</li></ul><ol><li>five</li></ol>",
     "one\r\ntwo\r\nthree\r\nfour\r\nfive"},
    {"table", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a\tb\r\nc"},
    {"table cells and headers",
     "<table><tr><th>h1</th><th>h2</th></tr><tr><td>a</td><td>b</td><td>c</td></tr></table>",
     "h1\th2\r\na\tb\tc"},
    {"text misplaced in a table comes first", "<table>x<tr><td>y</td></tr></table>", "x\r\ny"},
    {"pre keeps its white space", "<pre>a\n  b  c</pre>d", "a\r\n  b  c\r\nd"},
    {"hr", "a<hr>b", "a\r\nb"},
    {"no leading or trailing lines", "<br><br><p></p>x<br><br><div> </div>", "x"},
};
INSTANTIATE_TEST_SUITE_P(Blocks, HtmlToTextCases, testing::ValuesIn(kBlocks));

const Case kCharacters[] = {
    {"entities", "a &amp; b &lt;c&gt; &quot;d&quot; &#1046;&#x416; &copy;", "a & b <c> \"d\" ЖЖ ©"},
    {"nbsp is kept, not collapsed", "a&nbsp;&nbsp;b", "a  b"},
    {"nbsp paragraph is a blank line", "<p>a</p><p>&nbsp;</p><p>b</p>", "a\r\n \r\nb"},
    {"nbsp-only lines at the ends drop", "<p>&nbsp;</p><p>&nbsp;x</p><p>&nbsp;</p>", " x"},
    {"collapses white space", "  a \n\t b  ", "a b"},
    {"white space at line ends", "<p>  a  </p>\n<p> b\r\n</p>", "a\r\nb"},
    {"space between inline elements", "<b>a</b> <i>b</i>", "a b"},
    {"spaces inside inline elements", "<b>a </b><i> b</i>", "a b"},
    {"cyrillic", "<p>Привет,   мир!</p><p>Ёлка и ёж</p>", "Привет, мир!\r\nЁлка и ёж"},
    {"bad utf-8 becomes replacement", "a\xff", "a\xEF\xBF\xBD"},
};
INSTANTIATE_TEST_SUITE_P(Characters, HtmlToTextCases, testing::ValuesIn(kCharacters));

const Case kHidden[] = {
    {"script and style", "<style>p{color:red}</style><p>x</p><script>alert('y')</script>z", "x\r\nz"},
    {"head content", "<title>t</title><meta charset=utf-8>body", "body"},
    {"comments", "a<!-- hidden -->b", "ab"},
    {"full document", "<html><head><style>b{}</style></head><body><p>in</p></body></html>", "in"},
    {"template and textarea", "<template>t</template><textarea>u</textarea>v", "v"},
};
INSTANTIATE_TEST_SUITE_P(Hidden, HtmlToTextCases, testing::ValuesIn(kHidden));

const Case kMalformed[] = {
    {"misnested", "<b><i>x</b>y</i>", "xy"},
    {"p closed by div", "<p>a<div>b</p>c", "a\r\nb\r\nc"},
    {"unclosed", "<p>unclosed<div>still", "unclosed\r\nstill"},
    {"bare ampersands and brackets", "&bogus; &amp a < b > c", "&bogus; & a < b > c"},
    {"lone bracket", "<", "<"},
    {"unterminated tag", "text<div", "text"},
    {"unterminated comment", "a<!-- b", "a"},
    {"stray end tags", "</p></div>x</li>", "x"},
    {"nul byte", std::string("a\0b", 3), "ab"},
};
INSTANTIATE_TEST_SUITE_P(Malformed, HtmlToTextCases, testing::ValuesIn(kMalformed));

TEST(HtmlToText, EditorOutputTakesTheSinglePass) {
    const char* entries[] = {
        "<P><STRONG>Важно</STRONG>: позвонить&nbsp;в 10:00</P>\r\n<P>&nbsp;</P>",
        "<ul><li>один<ol><li>два</li></ol></li></ul><p style=\"margin: 0\" class='x'>a &amp; b &#8212; c</p>",
        "<div><span style=\"color: rgb(25, 174, 132);\">текст</span><br></div><h2>Заголовок</h2><hr><img "
        "src=x>",
        "x < y, a & b",
    };
    for (const char* e : entries) {
        auto fast = HtmlToTextFast(e);
        ASSERT_TRUE(fast.has_value()) << e;
        EXPECT_EQ(*fast, HtmlToTextFull(e)) << e;
    }
}

TEST(HtmlToText, SinglePassDeclinesWhatOnlyTheFullParseGetsRight) {
    const char* entries[] = {
        "a</div>b",               // a stray end tag is dropped by the parser
        "<li>a<ul>b</li>c",       // an end tag out of scope
        "<b>x<div>y</b>z</div>",  // mis-nested formatting
        "<p>a<p>b",               // implied end tags
        "<table><td>x</table>",
        "<pre>\n x</pre>",
        "<script>s</script>",
        "<!-- c -->",
        "&bogus;",
        "&amp",
        "&#128;",
        "a\x01b",
        "a\xff",
        "<div",
        "<x-tag>t</x-tag>",
        "</br>",
    };
    for (const char* e : entries) EXPECT_FALSE(HtmlToTextFast(e).has_value()) << e;
}

TEST(HtmlToText, DeepNestingDoesNotExhaustTheStack) {
    std::string html;
    for (int i = 0; i < 20000; ++i) html += "<div><span>";
    html += "deep";
    EXPECT_EQ(HtmlToText(html), "deep");
}

TEST(HtmlToText, LargeEntry) {
    std::string html;
    for (int i = 0; i < 5000; ++i) html += "<p>Строка " + std::to_string(i) + "</p>";
    std::string text = HtmlToText(html);
    EXPECT_EQ(text.rfind("Строка 0\r\nСтрока 1\r\n", 0), 0u);
    EXPECT_TRUE(text.ends_with("\r\nСтрока 4999"));
}

}  // namespace
}  // namespace wl
