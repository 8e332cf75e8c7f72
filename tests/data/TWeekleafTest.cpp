#include "data/TWeekleaf.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDataDir.h"
#include "platform/TextLines.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

// The first-run store, as CheckFiles writes it.
const std::string kDefaultStore =
    "{\"ver\":\"HTML\", "
    "\"note\":\"\",\"template\":\"\\u041d\\u0410 "
    "\\u0420\\u0410\\u0411\\u041e\\u0422\\u0415:\\r\\n-\\r\\n\\r\\n"
    "\\u0412 \\u0413\\u041e\\u0420\\u041e\\u0414\\u0415:\\r\\n- "
    "\\r\\n\\r\\n\\u0414\\u041e\\u041c\\u0410:\\r\\n- "
    "\\r\\n\\r\\n\\u0417\\u0410\\u041c\\u0415\\u0422\\u041a\\u0418:\\r\\n-\"}\r\n";

class StoreTest : public test::TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        file = dataDir / "Data.json";
        Write(file, kDefaultStore);
    }
    fs::path file;
};

TEST_F(StoreTest, DefaultStoreReadsItsThreeMembers) {
    TWeekleaf store;
    EXPECT_EQ(store.JSON_file, file);
    EXPECT_EQ(store.Get("ver"), "HTML");
    EXPECT_EQ(store.Get("note"), "");
    EXPECT_EQ(store.Get("template"),
              "НА РАБОТЕ:\r\n-\r\n\r\nВ ГОРОДЕ:\r\n- \r\n\r\nДОМА:\r\n- \r\n\r\nЗАМЕТКИ:\r\n-");
    EXPECT_EQ(store.Get("05.01.2021"), "");
    EXPECT_EQ(store.JO.size(), 3u);
    EXPECT_EQ(store.CurrentDate, Today());
}

TEST_F(StoreTest, NoteWithCyrillicQuotesAndBreaksIsOneAsciiLineAndRoundTrips) {
    const std::string note = "Купить \"молоко\"\r\n<b>завтра</b>\t😀";
    {
        TWeekleaf store;
        store.NoteToJSON(note);
    }
    const std::string bytes = Read(file);
    EXPECT_TRUE(bytes.ends_with("}\r\n"));
    EXPECT_EQ(bytes.find('\n'), bytes.size() - 1);
    for (unsigned char c : bytes) EXPECT_LT(c, 0x80);
    EXPECT_NE(
        bytes.find(
            R"("note":"\u041a\u0443\u043f\u0438\u0442\u044c \"\u043c\u043e\u043b\u043e\u043a\u043e\"\r\n<b>\u0437\u0430\u0432\u0442\u0440\u0430</b>\t\ud83d\ude00")"),
        std::string::npos)
        << bytes;
    TWeekleaf again;
    EXPECT_EQ(again.Get("note"), note);
}

TEST_F(StoreTest, EveryWriteOperationSavesAtOnce) {
    TWeekleaf store;
    store.ToJSON_FromMainEditor("05.01.2021", "<p>день</p>");
    store.ToJSON_FromBarEditor("06.01.2021", "<p>бар</p>");
    store.TemplateToJSON("<p>шаблон</p>");
    store.Set("07.01.2021", "only in memory");
    TWeekleaf loaded;
    EXPECT_EQ(loaded.Get("05.01.2021"), "<p>день</p>");
    EXPECT_EQ(loaded.Get("06.01.2021"), "<p>бар</p>");
    EXPECT_EQ(loaded.Get("template"), "<p>шаблон</p>");
    EXPECT_EQ(loaded.Get("07.01.2021"), "");
    store.SaveJSON();
    EXPECT_EQ(TWeekleaf().Get("07.01.2021"), "only in memory");
    EXPECT_EQ(TWeekleaf().JO.Members().front().first, "ver");  // order kept
}

TEST_F(StoreTest, EmptyFileLoadsAsEmptyDocument) {
    Write(file, "");
    TWeekleaf store;
    EXPECT_TRUE(store.JO.IsObject());
    EXPECT_EQ(store.JO.size(), 0u);
    store.NoteToJSON("x");
    EXPECT_EQ(Read(file), "{\"note\":\"x\"}\r\n");
}

TEST_F(StoreTest, ByteOrderMarkIsKeptAndMultiLineFilesLoad) {
    Write(file, "\xEF\xBB\xBF{\n  \"ver\": \"HTML\",\n  \"note\": \"a\"\n}\n");
    TWeekleaf store;
    EXPECT_EQ(store.Get("note"), "a");
    store.NoteToJSON("b");
    EXPECT_EQ(Read(file), "\xEF\xBB\xBF{\"ver\":\"HTML\",\"note\":\"b\"}\r\n");
}

// The user reads the place in Russian; the parser's English account is kept in ErrLog.txt.
TEST_F(StoreTest, DamagedStoreIsRefusedWithPlaceAndNeverOverwritten) {
    struct Case {
        std::string bytes;
        std::string shown;
        std::string logged;
    } cases[] = {
        {"{\"ver\":\"HTML\",\r\n\"note\":\"abc", "повреждён: строка 2, столбец 8", "line 2, column 8"},
        {"{\"ver\":\"HTML\" \"note\":\"\"}", "повреждён: строка 1, столбец 15", "line 1, column 15"},
        {"[\"not an object\"]", "повреждён: в нём нет объекта JSON", "not a JSON object"},
        {"\"text\"", "повреждён: в нём нет объекта JSON", "not a JSON object"},
        {std::string("\x00\x01\x02garbage", 10), "повреждён: строка 1, столбец 1", "line 1, column 1"},
        {std::string(300, '['), "повреждён: строка 1, столбец", "nesting deeper"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        Write(file, c.bytes);
        fs::remove(dataDir / "ErrLog.txt");
        try {
            TWeekleaf store;
            ADD_FAILURE() << "loaded: " << c.bytes;
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what.starts_with("Файл " + file.string() + " " + c.shown)) << what;
            EXPECT_EQ(what.find(c.logged), std::string::npos) << what;
        }
        const std::string log = Read(dataDir / "ErrLog.txt");
        EXPECT_NE(log.find(file.string()), std::string::npos) << log;
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(Read(file), c.bytes);
    }
}

TEST_F(StoreTest, MissingHugeOrFolderStoreIsAnErrorNamingIt) {
    auto loadError = [] {
        try {
            TWeekleaf store;
            return std::string();
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
    };
    fs::remove(file);
    EXPECT_NE(loadError().find("Data.json"), std::string::npos);

    fs::create_directory(file);
    EXPECT_NE(loadError().find("Data.json"), std::string::npos);
    fs::remove(file);

    // A sparse file far larger than any store is refused before it is read.
    Write(file, "{}");
    fs::resize_file(file, 600u << 20);
    const std::string err = loadError();
    EXPECT_NE(err.find("too large"), std::string::npos) << err;
    EXPECT_EQ(fs::file_size(file), 600u << 20);
}

TEST_F(StoreTest, BarEditorFailureIsLoggedNotRaised) {
    TWeekleaf store;
    ::chmod(file.c_str(), 0444);
    store.ToJSON_FromBarEditor("05.01.2021", "x");  // must not throw
    EXPECT_EQ(Read(file), kDefaultStore);
    TextLines log;
    log.LoadFromFile(dataDir / "ErrLog.txt");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find(" | TWeekleaf.ToJSON_FromBarEditor: Cannot write"), std::string::npos)
        << log.lines[0];
    // The other operations raise.
    EXPECT_THROW(store.NoteToJSON("y"), std::runtime_error);
    EXPECT_THROW(store.ToJSON_FromMainEditor("05.01.2021", "z"), std::runtime_error);
}

TEST_F(StoreTest, InvalidTextFromOutsideIsStoredSafely) {
    TWeekleaf store;
    store.NoteToJSON("bad \xFF\xFE bytes and a lone \xED\xA0\x80 surrogate");
    TWeekleaf again;
    EXPECT_EQ(again.Get("note"), "bad \xEF\xBF\xBD\xEF\xBF\xBD bytes and a lone \xED\xA0\x80 surrogate");
}

}  // namespace
}  // namespace wl
