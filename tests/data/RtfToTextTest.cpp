// The RTF reader over the documents older stores hold: text, breaks, code pages, Unicode, the
// destinations that carry no text, and damaged documents.
#include "data/RtfToText.h"

#include <gtest/gtest.h>

#include <string>

namespace wl {
namespace {

struct Case {
    const char* name;
    std::string rtf;
    std::string text;
};

// What a rich edit control of a Russian desktop wrote for "Привет мир" in bold and a second line.
const std::string kRichEdit =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Tahoma;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
    "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\cf1\\b\\f0\\fs16 "
    "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \\b0\\'ec\\'e8\\'f0\\par\r\n"
    "\\cf0 2\\par\r\n}\r\n";

const Case kCases[] = {
    {"RichEditDocument", kRichEdit, "Привет мир\r\n2\r\n"},
    {"ParAndLineAreCrLf", "{\\rtf1 a\\par b\\line c\\sect d\\page e}", "a\r\nb\r\nc\r\nd\r\ne"},
    {"EscapedNewlineIsAParagraph", "{\\rtf1 a\\\nb}", "a\r\nb"},
    {"LiteralLineEndsAreNotText", "{\\rtf1 a\r\nb\nc}", "abc"},
    {"Tab", "{\\rtf1 a\\tab b}", "a\tb"},
    {"EscapedBracesAndBackslash", "{\\rtf1 \\{x\\} \\\\y}", "{x} \\y"},
    {"SpaceAfterControlWordIsItsDelimiter", "{\\rtf1\\b bold\\b0  plain}", "bold plain"},
    {"NamedCharacters", "{\\rtf1 \\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet\\~}",
     "—–‘’“”•\u00A0"},
    {"OptionalHyphenIsDropped", "{\\rtf1 ab\\-cd}", "abcd"},
    {"DefaultCodePageIs1251", "{\\rtf1\\ansi \\'e0\\'c1}", "аБ"},
    {"AnsiCpgChoosesTheCodePage", "{\\rtf1\\ansi\\ansicpg1252 \\'e9\\'80}", "é€"},
    {"FontCharsetOverridesTheDocument",
     "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset204 Arial CYR;}}"
     "\\f0\\'e9 \\f1\\'e9{\\f0\\'e9}\\'e9}",
     "é йéй"},
    {"DoubleByteCodePage", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}", "あ"},
    {"UpperCaseHex", "{\\rtf1 \\'C0}", "А"},
    {"BrokenHexEscapeGivesNothing", "{\\rtf1 a\\'zb\\'4}", "azb"},
    {"UnicodeSkipsOneFallbackByDefault", "{\\rtf1 \\u1078?\\u1046\\'c6!}", "жЖ!"},
    {"NegativeUnicode", "{\\rtf1 \\u-3913?}", "\uF0B7"},
    {"UcChangesTheFallbackCount", "{\\rtf1\\uc2 \\u1078\\'e6\\'e6x\\uc0 \\u1078  y}", "жxж y"},
    {"UcIsScopedToItsGroup", "{\\rtf1{\\uc0 \\u1078}\\u1078?z}", "жжz"},
    {"FallbackEndsAtAGroupBoundary", "{\\rtf1\\uc3 \\u1078{a}b}", "жab"},
    {"SurrogatePair", "{\\rtf1 \\u-10179?\\u-8704?}", "😀"},
    {"LoneSurrogatesAreReplaced", "{\\rtf1 \\u-10179? x\\u-8704?}", "\uFFFD x\uFFFD"},
    {"TablesAndDestinations",
     "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}{\\stylesheet{\\s1 Heading;}}"
     "{\\info{\\title T}{\\author A}}text}",
     "text"},
    {"PicturesAndObjectsAreSkipped",
     "{\\rtf1 a{\\pict\\wmetafile8 0102ab}b{\\object{\\objdata 01}{\\result c}}d}", "abd"},
    {"StarredDestinationsAreSkipped", "{\\rtf1 a{\\*\\unknown hidden}{\\*\\bkmkstart m}b}", "ab"},
    {"FieldShowsItsResultOnly", "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt link}}}", "link"},
    {"ListTextIsSkipped", "{\\rtf1{\\pntext\\f0 \\'b7\\tab}item}", "item"},
    {"TableCellsAndRows", "{\\rtf1 a\\cell b\\cell\\row c}", "a\tb\t\r\nc"},
    {"BinDataIsSkipped",
     std::string("{\\rtf1 a\\bin3 \x01}\xff"
                 "b}",
                 19),
     "ab"},
    {"BinLongerThanTheDocument", "{\\rtf1 a\\bin99999 xyz", "a"},
    {"UnknownControlWordsAreIgnored", "{\\rtf1\\zzzunknown42 a\\-x}", "ax"},
    {"RawHighBytesUseTheCodePage", "{\\rtf1 \xcf\xf0}", "Пр"},
    {"TextAfterTheDocumentIsIgnored", "{\\rtf1 a}b", "a"},
    {"TruncatedDocumentGivesTheTextSoFar", "{\\rtf1 \\'cf\\'f0\\par {\\b wor", "Пр\r\nwor"},
    {"UnbalancedClosingBraceEndsTheDocument", "{\\rtf1 a}}b", "a"},
    {"TrailingBackslash", "{\\rtf1 a\\", "a"},
    {"Empty", "", ""},
    {"HugeParameterIsClamped", "{\\rtf1\\uc99999999999999 \\u99999999999999 a}", "\uFFFF"},
};

class RtfToTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(RtfToTextTest, Reads) {
    EXPECT_EQ(RtfToText(GetParam().rtf), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Documents, RtfToTextTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RtfToText, DeepNestingNeitherCrashesNorLosesText) {
    const std::string rtf =
        "{\\rtf1 " + std::string(200000, '{') + "deep" + std::string(200000, '}') + " after}";
    EXPECT_EQ(RtfToText(rtf), "deep after");
}

TEST(RtfToText, IsRtfLooksAtTheFirstCharactersOnly) {
    EXPECT_TRUE(IsRtf("{\\rtf1 x}"));
    EXPECT_FALSE(IsRtf("text {\\rtf1 x}"));
    EXPECT_FALSE(IsRtf("{\\RTF1 x}"));
    EXPECT_FALSE(IsRtf("{\\rt"));
}

}  // namespace
}  // namespace wl
