#include "data/TSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDataDir.h"
#include "data/DataFiles.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

const DateTime kNow = MakeDateTime(2021, 1, 5, 9, 5, 7);

class SettingsTest : public test::TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        fs::create_directories(dataDir);
        file = dataDir / "Config.ini";
        Write(file, DefaultConfigIni(kNow));
    }
    // The first-run file with one line replaced (or removed when `line` is empty).
    void WithLine(const std::string& key, const std::string& line) {
        TextLines t;
        t.SetText(DefaultConfigIni(kNow));
        bool found = false;
        for (auto it = t.lines.begin(); it != t.lines.end(); ++it)
            if (it->starts_with(key + "=")) {
                found = true;
                if (line.empty())
                    t.lines.erase(it);
                else
                    *it = line;
                break;
            }
        if (!found) t.lines.push_back(line);
        Write(file, t.Text());
    }
    std::string LoadError() {
        try {
            TSettings s;
            return "";
        } catch (const std::runtime_error& e) {
            return e.what();
        }
    }
    fs::path file;
};

TEST_F(SettingsTest, FirstRunFileLoadsWithFallbacksAndStaysUnchanged) {
    TSettings s;
    EXPECT_EQ(s.File_Name(), file);
    EXPECT_TRUE(s.StartWithOS());
    EXPECT_TRUE(s.HideOnStart());
    EXPECT_TRUE(s.ShowBloks());
    EXPECT_TRUE(s.CheckUpdate());
    EXPECT_EQ(s.Key(), "");
    EXPECT_EQ(s.WppDateToChange(), AddDays(kNow, 7200));  // to the second
    EXPECT_EQ(s.WppToChange(), 4);
    EXPECT_FALSE(s.WppRandom());
    EXPECT_EQ(s.WppCurIndex(), 0);
    EXPECT_TRUE(s.UseHotKey());
    EXPECT_EQ(s.HotKeyMain(), U'0');
    EXPECT_EQ(s.HotKeyNote(), U'9');
    EXPECT_EQ(s.HotKeyTemplate(), U'8');
    EXPECT_EQ(s.HotKeyBlock(), U'7');
    EXPECT_EQ(s.HotKeyEditor(), U'6');
    EXPECT_EQ(s.Font(), "Tahoma");
    EXPECT_EQ(s.FontSize(), 8);
    EXPECT_EQ(s.HotKeyBold(), U'B');
    EXPECT_EQ(s.HotKeyItalic(), U'I');
    EXPECT_EQ(s.HotKeyStriceOut(), U'R');
    EXPECT_EQ(s.ALPHABLEND_VALUE(), 125);
    EXPECT_EQ(s.SyncHost(), "127.0.0.1");
    EXPECT_EQ(s.SyncPort(), 3000);
    EXPECT_EQ(Read(file), DefaultConfigIni(kNow));
}

TEST_F(SettingsTest, BooleanText) {
    struct Case {
        const char* value;
        bool ok, want;
    } cases[] = {
        {"-1", true, true},    {"0", true, false},     {"1", true, true},       {"true", true, true},
        {"TRUE", true, true},  {"False", true, false}, {" 0 ", true, false},    {"2.5", true, true},
        {"0,0", true, false},  {"0.000", true, false}, {"1e3", true, true},     {"+0", true, false},
        {"yes", false, false}, {"", false, false},     {"-", false, false},     {"1x", false, false},
        {"nan", false, false}, {"inf", false, false},  {"truee", false, false}, {".", false, false},
    };
    for (const auto& c : cases) {
        WithLine("HideOnStart", std::string("HideOnStart=") + c.value);
        const std::string err = LoadError();
        EXPECT_EQ(err.empty(), c.ok) << c.value << " -> " << err;
        if (c.ok) {
            EXPECT_EQ(TSettings().HideOnStart(), c.want) << c.value;
        } else {
            EXPECT_NE(err.find(std::string("'") + c.value + "' is not a valid boolean value"),
                      std::string::npos)
                << err;
        }
    }
}

TEST_F(SettingsTest, FallbacksAndFailures) {
    struct Case {
        const char* key;
        const char* line;   // "" = line removed
        const char* error;  // "" = loads
    } cases[] = {
        {"UseHotKey", "UseHotKey=yes", ""},
        {"ShowBloks", "ShowBloks=yes", "'yes' is not a valid boolean value"},
        {"StartWithOS", "", "'' is not a valid boolean value"},
        {"WppToChange", "WppToChange=x", "'x' is not a valid integer value"},
        {"WppToChange", "WppToChange=2147483648", "'2147483648' is not a valid integer value"},
        {"WppCurIndex", "WppCurIndex=1.5", "'1.5' is not a valid integer value"},
        {"FontSize", "", "'' is not a valid integer value"},
        {"WppDateToChange", "WppDateToChange=31.02.2021", "'31.02.2021' is not a valid date and time"},
        {"WppDateToChange", "", "'' is not a valid date and time"},
        {"HotKeyMain", "HotKeyMain=", "HotKeyMain"},
        {"HotKeyNote", "", "HotKeyNote"},
        {"HotKeyTemplate", "HotKeyTemplate=\xFF", "not start with a valid character"},
        {"HotKeyBlock", "", ""},
        {"Key", "", ""},
        {"Font", "", ""},
    };
    for (const auto& c : cases) {
        WithLine(c.key, c.line);
        const std::string err = LoadError();
        if (*c.error == 0) {
            EXPECT_EQ(err, "") << c.line;
        } else {
            EXPECT_NE(err.find(c.error), std::string::npos) << c.line << " -> " << err;
            EXPECT_NE(err.find(file.string()), std::string::npos) << err;
        }
    }
}

TEST_F(SettingsTest, ValuesAreReadByTheirRules) {
    Write(file,
          "showbloks=0\r\nHideOnStart=0\r\nStartWithOS=true\r\nShowBloks=-1\r\nKey= \t abc \x01\r\n"
          "WppDateToChange=05.01.2021\r\nWppToChange=-3\r\nWppRandom=1\r\nWppCurIndex= 12 \r\n"
          "HotKeyMain=AB\r\nHotKeyNote=Щ\r\nHotKeyTemplate= X\r\nHotKeyBlock=\r\nFont=DejaVu Sans\r\n"
          "FontSize=+10\r\nALPHABLEND_VALUE=300\r\nHotKeyStrikeOut=S\r\nSyncHost= 10.0.0.7 "
          "\r\nSyncPort=8080\r\n"
          "no equals sign\r\nMystery=kept\r\n");
    TSettings s;
    EXPECT_FALSE(s.ShowBloks());  // the first matching line counts, in any letter case
    EXPECT_FALSE(s.HideOnStart());
    EXPECT_TRUE(s.StartWithOS());
    EXPECT_EQ(s.Key(), "abc");
    EXPECT_EQ(s.WppDateToChange(), MakeDateTime(2021, 1, 5));
    EXPECT_EQ(s.WppToChange(), -3);
    EXPECT_TRUE(s.WppRandom());
    EXPECT_EQ(s.WppCurIndex(), 12);
    EXPECT_EQ(s.HotKeyMain(), U'A');
    EXPECT_EQ(s.HotKeyNote(), U'Щ');
    EXPECT_EQ(s.HotKeyTemplate(), U' ');
    EXPECT_EQ(s.HotKeyBlock(), U'I');
    EXPECT_EQ(s.Font(), "DejaVu Sans");
    EXPECT_EQ(s.FontSize(), 10);
    EXPECT_EQ(s.ALPHABLEND_VALUE(), 125);  // out of range
    EXPECT_EQ(s.HotKeyStriceOut(), U'S');
    EXPECT_EQ(s.SyncHost(), "10.0.0.7");
    EXPECT_EQ(s.SyncPort(), 8080);
}

TEST_F(SettingsTest, SyncAddressFallsBack) {
    for (const char* host :
         {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "::1", "1.2.3.4 x", "sync.example.org.",
          "-sync.example.org", "sync_1.example.org", "sync.example.123", "http://sync"}) {
        WithLine("SyncHost", std::string("SyncHost=") + host);
        EXPECT_EQ(TSettings().SyncHost(), "127.0.0.1") << host;
    }
    // Names are kept: a certificate usually names the service's host, not its address.
    for (const char* host : {"localhost", "sync.example.org", "Sync-1.Example.ORG", "a1.b2.c3"}) {
        WithLine("SyncHost", std::string("SyncHost=") + host);
        EXPECT_EQ(TSettings().SyncHost(), host) << host;
    }
    for (const char* port : {"0", "65536", "-1", "http"}) {
        WithLine("SyncPort", std::string("SyncPort=") + port);
        EXPECT_EQ(TSettings().SyncPort(), 3000) << port;
    }
}

// TLS for the sync connection is opt-in: files without the line, or with a value that is not a
// boolean, keep the plain connection they always had.
TEST_F(SettingsTest, SyncTlsIsOffUnlessTurnedOn) {
    EXPECT_FALSE(TSettings().SyncTls());
    EXPECT_EQ(Read(file), DefaultConfigIni(kNow));
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"-1", true},     {"1", true},    {"True", true}, {"0", false},
                 {"false", false}, {"yes", false}, {"", false}};
    for (const auto& c : cases) {
        WithLine("SyncTls", std::string("synctls=") + c.value);
        EXPECT_EQ(TSettings().SyncTls(), c.on) << c.value;
    }
    TSettings s;
    s.SetSyncTls(true);
    EXPECT_NE(Read(file).find("\r\nSyncTls=-1\r\n"), std::string::npos);
    EXPECT_TRUE(TSettings().SyncTls());
    s.SetSyncTls(false);
    EXPECT_FALSE(TSettings().SyncTls());
}

TEST_F(SettingsTest, SetterRewritesItsLineInPlace) {
    Write(file, "\xEF\xBB\xBF" + DefaultConfigIni(kNow) + "Mystery=kept\r\n");
    TSettings s;
    s.SetShowBloks(false);
    EXPECT_FALSE(s.ShowBloks());
    std::string want = DefaultConfigIni(kNow);
    want.replace(want.find("ShowBloks=-1"), 12, "ShowBloks=0");
    EXPECT_EQ(Read(file), "\xEF\xBB\xBF" + want + "Mystery=kept\r\n");
}

TEST_F(SettingsTest, SettersWriteTheirTextAndReadBack) {
    {
        TSettings s;
        s.SetCheckUpdate(false);
        s.SetHotKeyBold(U'Ж');
        s.SetALPHABLEND_VALUE(200);
        s.SetWppDateToChange(MakeDateTime(2030, 12, 31, 23, 59, 59));
        s.SetWppCurIndex(-7);
        s.SetKey(" k ");
        s.SetSyncHost("192.168.1.20");
        s.SetSyncPort(4000);
        s.SetStartWithOS(true);
    }
    const std::string text = Read(file);
    for (const char* line : {"\r\nCheckUpdate=0\r\n", "\r\nHotKeyBold=Ж\r\n", "\r\nALPHABLEND_VALUE=200\r\n",
                             "\r\nWppDateToChange=31.12.2030 23:59:59\r\n", "\r\nWppCurIndex=-7\r\n",
                             "\r\nKey= k \r\n", "SyncHost=192.168.1.20\r\n", "SyncPort=4000\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_TRUE(text.starts_with("StartWithOS=-1\r\n"));
    TSettings s;
    EXPECT_FALSE(s.CheckUpdate());
    EXPECT_EQ(s.HotKeyBold(), U'Ж');
    EXPECT_EQ(s.ALPHABLEND_VALUE(), 200);
    EXPECT_EQ(s.WppDateToChange(), MakeDateTime(2030, 12, 31, 23, 59, 59));
    EXPECT_EQ(s.Key(), "k");
    EXPECT_EQ(s.SyncHost(), "192.168.1.20");
    EXPECT_EQ(s.SyncPort(), 4000);
}

TEST_F(SettingsTest, EmptyTextRemovesTheLine) {
    TSettings s;
    s.SetKey("abc");
    s.SetKey("");
    s.SetFont("");
    const std::string text = Read(file);
    EXPECT_EQ(text.find("\nKey="), std::string::npos);
    EXPECT_EQ(text.find("\nFont="), std::string::npos);
    EXPECT_EQ(TSettings().Font(), "");
}

TEST_F(SettingsTest, UnreadableValuesAreRefusedBeforeAnythingChanges) {
    TSettings s;
    EXPECT_THROW(s.SetKey("a\r\nShowBloks=0"), std::invalid_argument);
    EXPECT_THROW(s.SetFont("x\ny"), std::invalid_argument);
    EXPECT_THROW(s.SetHotKeyMain(0), std::invalid_argument);
    EXPECT_THROW(s.SetHotKeyMain(0xD800), std::invalid_argument);
    EXPECT_THROW(s.SetHotKeyMain(U'\n'), std::invalid_argument);
    EXPECT_THROW(s.SetALPHABLEND_VALUE(256), std::invalid_argument);
    EXPECT_THROW(s.SetSyncHost("example.org:3000"), std::invalid_argument);
    EXPECT_THROW(s.SetSyncPort(0), std::invalid_argument);
    EXPECT_EQ(s.Key(), "");
    EXPECT_EQ(s.HotKeyMain(), U'0');
    EXPECT_EQ(Read(file), DefaultConfigIni(kNow));
}

TEST_F(SettingsTest, WriteFailureRaisesWithTheNewValueHeld) {
    TSettings s;
    ::chmod(file.c_str(), 0444);
    EXPECT_THROW(s.SetShowBloks(false), std::runtime_error);
    EXPECT_FALSE(s.ShowBloks());
    EXPECT_EQ(Read(file), DefaultConfigIni(kNow));
}

TEST_F(SettingsTest, BadFilesGiveClearErrors) {
    fs::remove(file);
    EXPECT_NE(LoadError().find("Config.ini"), std::string::npos);
    Write(file, std::string(2u << 20, 'x'));
    EXPECT_NE(LoadError().find("too large"), std::string::npos);
    Write(file, std::string("\x00\x01\xff\xfe=\r\r\n\n===", 12));
    EXPECT_NE(LoadError().find("is not a valid boolean value"), std::string::npos);
}

class DataFilesTest : public test::TempDataDir {};

TEST_F(DataFilesTest, CleanProfileGetsFoldersAndDefaultFiles) {
    bool first = false;
    const DataPaths p = CheckFiles(first, kNow);
    EXPECT_TRUE(first);
    EXPECT_TRUE(fs::is_directory(dataDir / "Wpp"));
    EXPECT_EQ(p.DataPath, dataDir);
    EXPECT_EQ(p.WppPath, dataDir / "Wpp");
    EXPECT_EQ(p.ConfigPath, dataDir / "Config.ini");
    EXPECT_EQ(p.ModifiedBmpPath, dataDir / "Weekleaf-Modifed.bmp");
    EXPECT_EQ(p.WallpaperBmpPath, dataDir / "Weekleaf-Wallpaper.bmp");
    EXPECT_EQ(p.WppOldPath, dataDir / "WppOld.bmp");
    EXPECT_EQ(p.DataJsonPath(), dataDir / "Data.json");
    EXPECT_EQ(p.ErrLogPath(), dataDir / "ErrLog.txt");

    const std::string json = Read(dataDir / "Data.json");
    EXPECT_EQ(json.size(), 247u + 2);
    EXPECT_EQ(
        json,
        "{\"ver\":\"HTML\", \"note\":\"\",\"template\":\"\\u041d\\u0410 "
        "\\u0420\\u0410\\u0411\\u041e\\u0422\\u0415:\\r\\n-\\r\\n\\r\\n\\u0412 "
        "\\u0413\\u041e\\u0420\\u041e\\u0414\\u0415:\\r\\n- \\r\\n\\r\\n\\u0414\\u041e\\u041c\\u0410:\\r\\n- "
        "\\r\\n\\r\\n\\u0417\\u0410\\u041c\\u0415\\u0422\\u041a\\u0418:\\r\\n-\"}\r\n");
    EXPECT_EQ(Read(dataDir / "Config.ini"),
              "StartWithOS=true\r\nHideOnStart=-1\r\nShowBloks=-1\r\nKey=\r\n"
              "WppDateToChange=22.09.2040 9:05:07\r\nWppToChange=4\r\nWppRandom=0\r\nWppCurIndex=0\r\n"
              "UseHotKey=-1\r\nHotKeyMain=0\r\nHotKeyNote=9\r\nHotKeyTemplate=8\r\nHotKeyBlock=7\r\n"
              "HotKeyEditor=6\r\nFont=Tahoma\r\nFontSize=8\r\n");
}

TEST_F(DataFilesTest, ExistingFilesAreLeftAloneEvenWhenWppIsRecreated) {
    Write(dataDir / "Data.json", "{\"note\":\"mine\"}");
    Write(dataDir / "Config.ini", "garbage");
    bool first = true;
    CheckFiles(first);
    EXPECT_FALSE(first);
    EXPECT_TRUE(fs::is_directory(dataDir / "Wpp"));
    EXPECT_EQ(Read(dataDir / "Data.json"), "{\"note\":\"mine\"}");
    EXPECT_EQ(Read(dataDir / "Config.ini"), "garbage");
}

TEST_F(DataFilesTest, FirstStartDependsOnlyOnConfig) {
    Write(dataDir / "Data.json", "{\"note\":\"mine\"}");
    bool first = false;
    CheckFiles(first);
    EXPECT_TRUE(first);
    EXPECT_EQ(Read(dataDir / "Data.json"), "{\"note\":\"mine\"}");

    fs::remove(dataDir / "Data.json");
    CheckFiles(first);
    EXPECT_FALSE(first);
    EXPECT_EQ(Read(dataDir / "Data.json"), DefaultDataJson());
}

// A kill during a save leaves the atomic writer's temporary file beside the target; the next
// start removes those, and only those, once they are old enough not to be a save in flight.
TEST_F(DataFilesTest, LeftoverTemporaryFilesOfSavesAreRemovedAndNothingElse) {
    using namespace std::chrono_literals;
    struct Case {
        const char* path;  // inside the data folder
        bool removed;
        bool fresh = false;  // changed just now
    };
    const Case cases[] = {
        {"Data.json.tmp-a1B2c3", true},
        {"Config.ini.tmp-XyZ789", true},
        {"ErrLog.txt.tmp-000000", true},
        {"Wpp/sea.jpg.tmp-Qw3rTy", true},
        {"Data.json.tmp-a1B2c3", false, true},  // a save of another instance still going on
        {"Data.json.tmp-abc12", false},
        {"Data.json.tmp-abc1234", false},
        {"Data.json.tmp-abc12!", false},
        {"Data.json.TMP-abcdef", false},
        {"Data.json.tmp_abcdef", false},
        {"Data.json.tmp-abcdef.bak", false},
        {".tmp-abcdef", false},
        {"notes.txt", false},
        {"Wpp/deeper/x.png.tmp-abcdef", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        fs::remove_all(dataDir);
        const fs::path file = dataDir / c.path;
        Write(file, "bytes");
        if (!c.fresh) fs::last_write_time(file, fs::file_time_type::clock::now() - 10min);
        bool first = false;
        CheckFiles(first, kNow);
        EXPECT_EQ(!fs::exists(file), c.removed);
    }

    // Folders and links with such a name are not ours either; a link's target stays as it is.
    fs::remove_all(dataDir);
    Write(dataDir / "mine.txt", "user's");
    fs::create_directories(dataDir / "dir.json.tmp-abcdef");
    fs::create_symlink(dataDir / "mine.txt", dataDir / "link.json.tmp-abcdef");
    for (const char* name : {"dir.json.tmp-abcdef", "link.json.tmp-abcdef", "mine.txt"}) {
        std::error_code ec;
        fs::last_write_time(dataDir / name, fs::file_time_type::clock::now() - 10min, ec);
    }
    bool first = false;
    CheckFiles(first, kNow);
    EXPECT_TRUE(fs::is_directory(dataDir / "dir.json.tmp-abcdef"));
    EXPECT_TRUE(fs::is_symlink(dataDir / "link.json.tmp-abcdef"));
    EXPECT_EQ(Read(dataDir / "mine.txt"), "user's");
}

TEST_F(DataFilesTest, UnwritableFolderRaises) {
    Write(root / "Weekleaf", "a file where the folder should be");
    bool first = false;
    EXPECT_ANY_THROW(CheckFiles(first));
}

}  // namespace
}  // namespace wl
