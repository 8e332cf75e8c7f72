#include "data/Json.h"

#include <gtest/gtest.h>

#include <limits>

namespace wl {
namespace {

TEST(JsonTest, ParsesEveryKindAndKeepsMemberOrder) {
    const JsonValue v =
        ParseJson(R"( {"z":1, "a":[true,false,null,-1.5e2,"s"], "m":{"k":"v"}, "e":{} ,"n":[]} )");
    ASSERT_TRUE(v.IsObject());
    std::vector<std::string> keys;
    for (const auto& [k, _] : v.Members()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"z", "a", "m", "e", "n"}));
    EXPECT_EQ(v.Find("z")->AsInt(), 1);
    const auto& a = v.Find("a")->Items();
    ASSERT_EQ(a.size(), 5u);
    EXPECT_TRUE(a[0].AsBool());
    EXPECT_FALSE(a[1].AsBool());
    EXPECT_TRUE(a[2].IsNull());
    EXPECT_EQ(a[3].AsNumber(), -150);
    EXPECT_EQ(a[4].AsString(), "s");
    EXPECT_EQ(v.Find("m")->GetString("k"), "v");
    EXPECT_EQ(SerializeJson(v), R"({"z":1,"a":[true,false,null,-150,"s"],"m":{"k":"v"},"e":{},"n":[]})");
}

TEST(JsonTest, BlankTextIsAnEmptyObjectAndBomIsSkipped) {
    for (const char* text : {"", "  \r\n\t", "\xEF\xBB\xBF", "\xEF\xBB\xBF{}"}) {
        const JsonValue v = ParseJson(text);
        EXPECT_TRUE(v.IsObject()) << text;
        EXPECT_EQ(v.size(), 0u);
    }
}

TEST(JsonTest, MissingMemberReadsEmptyWithoutBeingCreated) {
    JsonValue v = ParseJson(R"({"note":"x","n":5})");
    EXPECT_EQ(v.GetString("01.01.2021"), "");
    EXPECT_EQ(v.GetString("n"), "");  // not a string
    EXPECT_EQ(v.Find("01.01.2021"), nullptr);
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(JsonValue("s").GetString("x"), "");  // not an object
}

TEST(JsonTest, SetReplacesInPlaceAppendsAndRemoveKeepsIndex) {
    JsonValue v = JsonValue::MakeObject();
    for (int i = 0; i < 40; ++i) v.Set("k" + std::to_string(i), JsonValue(std::to_string(i)));
    v.Set("k3", JsonValue("three"));
    EXPECT_EQ(v.Members()[3].second.AsString(), "three");
    EXPECT_TRUE(v.Remove("k0"));
    EXPECT_FALSE(v.Remove("k0"));
    EXPECT_EQ(v.size(), 39u);
    for (int i = 1; i < 40; ++i)
        EXPECT_EQ(v.GetString("k" + std::to_string(i)), i == 3 ? "three" : std::to_string(i));
    // Shrinking below the indexed size and growing again still finds everything.
    for (int i = 1; i < 36; ++i) v.Remove("k" + std::to_string(i));
    EXPECT_EQ(v.GetString("k39"), "39");
    v.Set("new", JsonValue("x"));
    JsonValue copy = v;
    EXPECT_EQ(copy.GetString("new"), "x");
    EXPECT_EQ(copy, v);
}

TEST(JsonTest, RepeatedKeyKeepsFirstPlaceAndLastValue) {
    const JsonValue v = ParseJson(R"({"a":"1","b":"2","a":"3"})");
    EXPECT_EQ(SerializeJson(v), R"({"a":"3","b":"2"})");
}

TEST(JsonTest, SetOnNullMakesObjectAndOnScalarThrows) {
    JsonValue v;
    v.Set("a", JsonValue(1));
    EXPECT_TRUE(v.IsObject());
    JsonValue s("text");
    EXPECT_THROW(s.Set("a", JsonValue(1)), std::logic_error);
    EXPECT_THROW(s.Push(JsonValue(1)), std::logic_error);
    JsonValue arr;
    arr.Push(JsonValue("x"));
    EXPECT_EQ(SerializeJson(arr), R"(["x"])");
}

TEST(JsonTest, EscapesExactly) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain ~ text", "plain ~ text"},
        {"\"\\/", "\\\"\\\\/"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {std::string("\x00\x01\x1f\x7f", 4), "\\u0000\\u0001\\u001f\\u007f"},
        {"НА РАБОТЕ:", "\\u041d\\u0410 \\u0420\\u0410\\u0411\\u041e\\u0422\\u0415:"},
        {"é€", "\\u00e9\\u20ac"},
        {"😀", "\\ud83d\\ude00"},
        {"\xF4\x8F\xBF\xBF", "\\udbff\\udfff"},  // U+10FFFF
        {"\xED\xA0\xBD", "\\ud83d"},             // a lone surrogate kept as WTF-8
        {"a\xFF"
         "b",
         "a\\ufffdb"},        // invalid byte
        {"\xC3", "\\ufffd"},  // truncated sequence
        {"\xE2\x82", "\\ufffd\\ufffd"},
        {"\xC0\xAF", "\\ufffd\\ufffd"},  // overlong
        {"\xE0\x80\xAF", "\\ufffd\\ufffd\\ufffd"},
        {"\xF4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // beyond U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeJsonString(c.in), c.out) << c.out;
}

TEST(JsonTest, UnicodeEscapesDecodeAndRoundTrip) {
    struct Case {
        const char* json;
        std::string text;
    } cases[] = {
        {R"("\u041d\u0410")", "НА"},
        {R"("\u00E9")", "é"},
        {R"("\ud83d\ude00")", "😀"},
        {R"("\ud83d")", "\xED\xA0\xBD"},
        {R"("\ude00\ud83d")", "\xED\xB8\x80\xED\xA0\xBD"},  // reversed pair: two lone surrogates
        {R"("\ud83dx")", "\xED\xA0\xBDx"},
        {R"("\ud83d\u0041")",
         "\xED\xA0\xBD"
         "A"},
        {R"("\u0000")", std::string(1, '\0')},
        {R"("\/")", "/"},
    };
    for (const auto& c : cases) {
        const JsonValue v = ParseJson(std::string("[") + c.json + "]");
        ASSERT_EQ(v.Items().size(), 1u);
        EXPECT_EQ(v.Items()[0].AsString(), c.text) << c.json;
        // Written back and read again, the text is the same bytes.
        EXPECT_EQ(ParseJson(SerializeJson(v)).Items()[0].AsString(), c.text) << c.json;
    }
}

TEST(JsonTest, RawUtf8IsReadAndInvalidBytesBecomeReplacementCharacters) {
    const JsonValue v = ParseJson(
        "{\"a\":\"Привет 😀\",\"b\":\"x\xFFy\xC3\",\"c\":\"\xED\xA0\xBD\",\"\xD6k\":\"\",\"\xBAk\":\"2\"}");
    EXPECT_EQ(v.GetString("a"), "Привет 😀");
    EXPECT_EQ(v.GetString("b"), "x\uFFFDy\uFFFD");
    EXPECT_EQ(v.GetString("c"), "\uFFFD\uFFFD\uFFFD");  // a raw surrogate is not UTF-8
    // Two keys that differ only in invalid bytes are one key, as they would be once saved.
    EXPECT_EQ(v.size(), 4u);
    EXPECT_EQ(v.GetString("\uFFFDk"), "2");
    EXPECT_EQ(SerializeJson(v),
              R"({"a":"\u041f\u0440\u0438\u0432\u0435\u0442 \ud83d\ude00","b":"x\ufffdy\ufffd",)"
              R"("c":"\ufffd\ufffd\ufffd","\ufffdk":"2"})");
}

TEST(JsonTest, Numbers) {
    struct Case {
        const char* json;
        double value;
        const char* out;
    } cases[] = {
        {"0", 0, "0"},
        {"-0", 0, "0"},
        {"12345678901", 12345678901.0, "12345678901"},
        {"1.5", 1.5, "1.5"},
        {"-2.25e1", -22.5, "-22.5"},
        {"1E2", 100, "100"},
        {"1e-400", 0, "0"},
        {"0.1", 0.1, "0.1"},
        {"1e300", 1e300, "1e+300"},
    };
    for (const auto& c : cases) {
        const JsonValue v = ParseJson(std::string("[") + c.json + "]");
        EXPECT_EQ(v.Items()[0].AsNumber(), c.value) << c.json;
        EXPECT_EQ(SerializeJson(v), std::string("[") + c.out + "]") << c.json;
    }
    EXPECT_EQ(JsonValue(1e30).AsInt(), std::numeric_limits<long long>::max());
    EXPECT_EQ(JsonValue(-7.9).AsInt(), -7);
    EXPECT_EQ(SerializeJson(JsonValue(std::numeric_limits<double>::infinity())), "null");
}

TEST(JsonTest, FaultsNamePlace) {
    struct Case {
        std::string text;
        int line, column;
        const char* what;
    } cases[] = {
        {"{", 1, 2, "expected a member name"},
        {"{\"a\":}", 1, 6, "expected a value"},
        {"{\"a\" \"b\"}", 1, 6, "expected ':'"},
        {"{\"a\":1,}", 1, 8, "expected a member name"},
        {"{\"a\":1 \"b\":2}", 1, 8, "expected ',' or '}'"},
        {"[1 2]", 1, 4, "expected ',' or ']'"},
        {"{}x", 1, 3, "after the end"},
        {"{\r\n \"a\": tru}", 2, 7, "expected a value"},
        {"{\n\"ключ\": x}", 2, 9, "unexpected character 'x'"},
        {"{\"a\":\"abc", 1, 6, "unterminated string"},
        {"{\"a\":\"a\x01\"}", 1, 8, "control character"},
        {"{\"a\":\"\\q\"}", 1, 7, "invalid escape"},
        {"{\"a\":\"\\u12g4\"}", 1, 7, "invalid \\u escape"},
        {"{\"a\":\"\\u12\"}", 1, 7, "invalid \\u escape"},
        {"{\"a\":\"\\u12", 1, 7, "incomplete \\u escape"},
        {"{\"a\":\"x\\\"}", 1, 6, "unterminated string"},
        {"{\"a\":\"\\u0416", 1, 6, "unterminated string"},
        {"{\"a\":\"\\u0416\\", 1, 6, "unterminated string"},
        {"{\"a\":\"\\u0416\\x\"}", 1, 13, "invalid escape"},
        {"[01]", 1, 3, "expected ',' or ']'"},
        {"[-]", 1, 2, "invalid number"},
        {"[1.]", 1, 2, "invalid number"},
        {"[1e]", 1, 2, "invalid number"},
        {"[1e999]", 1, 2, "number too large"},
        {"\x89PNG\r\n", 1, 1, "unexpected byte 0x89"},
        {"nul", 1, 1, "expected a value"},
    };
    for (const auto& c : cases) {
        try {
            ParseJson(c.text);
            ADD_FAILURE() << "parsed: " << c.text;
        } catch (const JsonError& e) {
            EXPECT_EQ(e.line, c.line) << c.text << " -> " << e.what();
            EXPECT_EQ(e.column, c.column) << c.text << " -> " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.what), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("at line " + std::to_string(c.line)), std::string::npos);
        }
    }
}

TEST(JsonTest, DepthLimitRefusesHostileNesting) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_THROW(ParseJson(deep), JsonError);
    const std::string ok = std::string(256, '[') + std::string(256, ']');
    EXPECT_NO_THROW(ParseJson(ok));
    EXPECT_THROW(ParseJson(std::string(257, '[') + std::string(257, ']')), JsonError);
    EXPECT_THROW(ParseJson(R"({"a":{"b":{}}})", 2), JsonError);
}

TEST(JsonTest, TruncationsOfValidTextNeverParseAsSomethingElse) {
    const std::string full = R"({"ver":"HTML","note":"\u041d\"x","01.01.2021":"<p>a</p>","n":[1,true,null]})";
    for (std::size_t len = 1; len < full.size(); ++len)
        EXPECT_THROW(ParseJson(full.substr(0, len)), JsonError) << len;
    EXPECT_EQ(SerializeJson(ParseJson(full)), full);
}

}  // namespace
}  // namespace wl
