// The main window with the real sync client against the real sync service (weekleaf-sync from
// this build, on a free port with a fresh database), observed by a second device's client.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ProcessSupport.h"
#include "app/AppState.h"
#include "app/RebuildLink.h"
#include "app/TfmMain.h"
#include "app/WLSocketLink.h"
#include "data/DataFiles.h"
#include "data/Json.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "platform/MemoryDesktop.h"
#include "sync/HangingListener.h"
#include "sync/TSyncLog.h"
#include "sync/TWLSocket.h"
#include "ui/TCalendarPanel.h"
#include "ui/TImageButton.h"
#include "ui/TPanelButton.h"
#include "ui/TWebBrowser.h"
#include "ui/TfrDevelopers.h"
#include "ui/TfrMain.h"
#include "ui/TfrNote.h"
#include "ui/TfrSettings.h"
#include "ui/TfrTemplate.h"
#include "ui/UiTestSupport.h"
#include "wallpaper/Blender.h"

namespace wl::test {
namespace {

namespace fs = std::filesystem;
constexpr const char* kKey = "app-test-key";

void MainThread(std::function<void()> fn) {
    QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
}

// Another device of the same account: its own store and log.
struct Device {
    explicit Device(const fs::path& folder, uint16_t port) : store((Write(folder), folder / "Data.json")) {
        socket = std::make_unique<TWLSocket>(
            store, [] { return std::string(kKey); }, MainThread, log, nullptr, "127.0.0.1", port);
        socket->UpgradeToWebsocket();
        socket->GetCurrentWeek();  // the service learns the account from the first request
    }
    static void Write(const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / "Data.json") << "{}";
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : log.Lines()) n += l.find(prefix) != std::string::npos;
        return n;
    }
    TWeekleaf store;
    TSyncLogMemo log;
    std::unique_ptr<TWLSocket> socket;
};

// The longest time the main thread's event loop went without turning, while it runs.
class LoopGapMeter {
  public:
    LoopGapMeter() {
        FClock.start();
        FTimer.setInterval(10);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 now = FClock.elapsed();
            FWorst = std::max(FWorst, now - FLast);
            FLast = now;
        });
        FTimer.start();
    }
    qint64 WorstMs() const { return std::max(FWorst, FClock.elapsed() - FLast); }

  private:
    QElapsedTimer FClock;
    QTimer FTimer;
    qint64 FLast = 0, FWorst = 0;
};

class SyncServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(WL_SYNC_SERVER).empty()) GTEST_SKIP() << "weekleaf-sync is not built";
        root = fs::temp_directory_path() / ("wl-sync-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        ::setenv("AppData", root.c_str(), 1);
        DayChanged = false;
        DayPostedText.clear();
        DayUndoText.clear();
        WeekOffsetDays.store(0);
        port = FreePort();
        bool first = false;
        CheckFiles(first);
        FirstStart = false;
        TSettings settings(root / "Weekleaf" / "Config.ini");
        settings.SetKey(kKey);
        settings.SetSyncPort(port);
        settings.SetShowBloks(false);
    }
    void TearDown() override {
        window.reset();
        other.reset();
        StopServer();
        fs::remove_all(root);
    }

    void StopServer() {
        if (server <= 0) return;
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
        server = 0;
    }
    void OfflineEditThenServiceBack(bool restart);

    void StartServer() {
        server = ::fork();
        if (server == 0) {
            const std::string listen = "127.0.0.1:" + std::to_string(port);
            const std::string db = (root / "sync.db").string();
            const std::string log = (root / "server.log").string();
            FILE* out = std::fopen(log.c_str(), "a");
            if (out) ::dup2(::fileno(out), 2);
            ::execl(WL_SYNC_SERVER, "weekleaf-sync", "--listen", listen.c_str(), "--db", db.c_str(),
                    static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ASSERT_TRUE(WaitFor([&] { return PortOpen(port); }, 10000));
    }

    void Create() {
        window = std::make_unique<TfmMain>();
        window->hooks.MakeDesktop = [] { return std::make_unique<MemoryDesktop>(); };
        window->hooks.MakeSyncClient = MakeWLSocketLink;
        window->hooks.ShowError = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
        LinkRebuildDB(*window);
        window->FormCreate();
        window->show();
        ASSERT_TRUE(WaitFor([&] { return window->frMain->ShownDate() == QDate::currentDate(); }));
        ASSERT_TRUE(window->frMain->WebBrowser->WaitIdle());
    }
    void Type(const QString& text) {
        FocusEnd(*window->frMain->WebBrowser);
        TypeText(*window->frMain->WebBrowser, text);
    }
    std::string TodayKey() const { return DayKey(QDate::currentDate()); }

    fs::path root;
    uint16_t port = 0;
    pid_t server = 0;
    std::unique_ptr<TfmMain> window;
    std::unique_ptr<Device> other;
};

TEST_F(SyncServiceTest, TypingReachesTheOtherDeviceThroughExactlyOneSetDay) {
    StartServer();
    Create();
    ASSERT_TRUE(window->Sync()->Connected());
    other = std::make_unique<Device>(root / "other", port);
    Type("hello sync");
    ASSERT_TRUE(WaitFor([&] { return other->store.Get(TodayKey()) == "hello sync"; }, 4000));
    Pump(2500);
    EXPECT_EQ(other->Count("TWLSocket.UpdateDay | "), 1);
}

TEST_F(SyncServiceTest, TheHeaderSaysInRussianThatTheServiceAnswered) {
    StartServer();
    Create();
    ASSERT_TRUE(WaitFor([&] { return !window->lbMessage->text().isEmpty(); }, 3000));
    EXPECT_EQ(window->lbMessage->text(), "Связь с сервисом синхронизации установлена");
}

TEST_F(SyncServiceTest, AnUpdateDayFromTheOtherDeviceAppearsInTheIdleEditor) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    Pump(1200);
    other->socket->SetDay(Today(), "<i>from the phone</i>");
    EXPECT_TRUE(
        WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml() == "<i>from the phone</i>"; }, 5000));
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get(TodayKey()), "<i>from the phone</i>");
}

// A service that does not answer (packets dropped: the connect hangs; or the connect goes through
// and the handshake is never answered) never freezes the window: it appears at once with the
// day's text from Data.json, and typing works and is stored, while every reconnect attempt runs
// in the background. A freeze would show as the event loop standing still for the length of a
// connect or handshake time-out (2 s, 5 s).
TEST_F(SyncServiceTest, AServiceThatDoesNotAnswerNeverFreezesTheWindow) {
    using test::HangingListener;
    for (const auto hang : {HangingListener::Hang::Connect, HangingListener::Hang::Handshake}) {
        SCOPED_TRACE(hang == HangingListener::Hang::Connect ? "connect hangs" : "handshake unanswered");
        HangingListener service(hang);
        if (!service.Hangs) GTEST_SKIP() << "the kernel completes connects to a full accept queue";
        TSettings(root / "Weekleaf" / "Config.ini").SetSyncPort(service.Port);
        {
            TWeekleaf store(root / "Weekleaf" / "Data.json");
            store.Set(TodayKey(), "stored before");
            store.SaveJSON();
        }
        DayPostedText.clear();

        LoopGapMeter meter;
        QElapsedTimer shown;
        shown.start();
        window = std::make_unique<TfmMain>();
        window->hooks.MakeDesktop = [] { return std::make_unique<MemoryDesktop>(); };
        window->hooks.MakeSyncClient = MakeWLSocketLink;
        window->FormCreate();
        window->show();
        const qint64 shownMs = shown.elapsed();
        EXPECT_LT(shownMs, 1500) << "FormCreate and show took " << shownMs << " ms";
        EXPECT_TRUE(
            WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml(500) == "stored before"; }, 4000));
        FocusEnd(*window->frMain->WebBrowser);
        Type(", typed");
        EXPECT_TRUE(WaitFor(
            [&] {
                return TWeekleaf(root / "Weekleaf" / "Data.json").Get(TodayKey()) == "stored before, typed";
            },
            4000));
        Pump(6000);  // several ticks, each finding the connection down
        EXPECT_FALSE(window->Sync()->Connected());
        EXPECT_LT(meter.WorstMs(), 1000) << "the event loop stood still";
        std::cout << "[ figures ] window shown after " << shownMs
                  << " ms, longest stand-still of the event loop " << meter.WorstMs() << " ms\n";
        QElapsedTimer ending;
        ending.start();
        window.reset();
        EXPECT_LT(ending.elapsed(), 1000);
    }
}

// The service holds an older text of today; the window types today's text while the service is
// down; then the service comes back, in the same run or after a restart of the program.
void SyncServiceTest::OfflineEditThenServiceBack(bool restart) {
    StartServer();
    other = std::make_unique<Device>(root / "other", port);
    other->socket->SetDay(Today(), "old text on the service");
    Pump(500);
    other.reset();
    StopServer();

    Create();  // offline
    Type("written offline");
    ASSERT_TRUE(WaitFor([&] { return window->Unposted().Holds(Today()); }, 3000));
    if (restart) {
        window.reset();
        StartServer();
        Create();
    } else {
        StartServer();
    }
    ASSERT_TRUE(WaitFor([&] { return window->Sync()->Connected() && window->Unposted().Empty(); }, 8000));
    Pump(2000);  // the service's answer with the week has arrived and been applied
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get(TodayKey()), "written offline");
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "written offline");
    other = std::make_unique<Device>(root / "other2", port);
    other->socket->GetCurrentWeek();
    EXPECT_TRUE(WaitFor([&] { return other->store.Get(TodayKey()) == "written offline"; }, 4000));
}

TEST_F(SyncServiceTest, AnEditMadeWhileTheServiceWasDownWinsOverTheServicesOlderCopy) {
    OfflineEditThenServiceBack(false);
}

TEST_F(SyncServiceTest, AnOfflineEditWinsOverTheServicesOlderCopyAfterARestart) {
    OfflineEditThenServiceBack(true);
}

// What the other device was pushed, counted.
std::string Pushes(const Device& d) {
    return std::to_string(d.Count("\"UPDATE_DAY\"")) + " days, " +
           std::to_string(d.Count("\"UPDATE_NOTE\"")) + " note, " +
           std::to_string(d.Count("\"UPDATE_TEMPLATE\"")) + " template";
}

// A store written by an older version: RTF entries (Cyrillic through \'hh and \u, paragraphs).
JsonValue OlderStore(const std::string& ver, const std::string& todayKey) {
    JsonValue doc = JsonValue::MakeObject();
    if (!ver.empty()) doc.Set("ver", JsonValue(ver));
    doc.Set("note", JsonValue("{\\rtf1\\ansi\\ansicpg1251 \\'c7\\'e0\\'ec\\'e5\\'f2\\'ea\\'e8\\par 2}"));
    doc.Set("template", JsonValue("{\\rtf1 \\u1064?\\u1072?\\u1073?}"));
    doc.Set("05.01.2021", JsonValue("{\\rtf1{\\fonttbl{\\f0\\fcharset204 Tahoma;}}\\f0\\b "
                                    "\\'e2\\'f0\\'e0\\'f7\\b0  10:00\\par x<y}"));
    doc.Set(todayKey,
            JsonValue("{\\rtf1 \\u1089?\\u1077?\\u1075?\\u1086?\\u1076?\\u1085?\\u1103?\\par done}"));
    return doc;
}

TEST_F(SyncServiceTest, AnOlderStoreIsConvertedOnTheFirstConnectedTickAndSentOnce) {
    std::ofstream(root / "Weekleaf" / "Data.json", std::ios::trunc)
        << SerializeJson(OlderStore("RTFv2", TodayKey()));
    StartServer();
    other = std::make_unique<Device>(root / "other", port);
    Create();
    const fs::path data = root / "Weekleaf" / "Data.json";
    ASSERT_TRUE(WaitFor([&] { return TWeekleaf(data).Get("ver") == "HTML"; }, 5000));
    const TWeekleaf disk(data);
    EXPECT_EQ(disk.Get("note"), "Заметки<br>2");
    EXPECT_EQ(disk.Get("template"), "Шаб");
    EXPECT_EQ(disk.Get("05.01.2021"), "врач 10:00<br>x&lt;y");
    EXPECT_EQ(disk.Get(TodayKey()), "сегодня<br>done");
    // The idle editor and the notes preview show the converted texts.
    EXPECT_TRUE(
        WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml() == "сегодня<br>done"; }, 4000));
    EXPECT_EQ(window->pLeft->mNote->toPlainText(), "Заметки\n2");
    // The other device saw each converted entry once, and later ticks send nothing more.
    ASSERT_TRUE(WaitFor([&] { return other->store.Get("05.01.2021") == "врач 10:00<br>x&lt;y"; }, 4000));
    Pump(2500);
    EXPECT_EQ(Pushes(*other), "2 days, 1 note, 1 template");
    EXPECT_EQ(other->store.Get(TodayKey()), "сегодня<br>done");
}

TEST_F(SyncServiceTest, AStoreAlreadyInHtmlSendsNothing) {
    std::ofstream(root / "Weekleaf" / "Data.json", std::ios::trunc)
        << SerializeJson(OlderStore("HTML", TodayKey()));
    StartServer();
    other = std::make_unique<Device>(root / "other", port);
    Create();
    Pump(2500);
    EXPECT_EQ(Pushes(*other), "0 days, 0 note, 0 template");
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get("05.01.2021").rfind("{\\rtf1", 0), 0u);
}

// ---- notes and template pages --------------------------------------------------------------------

// Opens the notes page as the day page's notes button does and types into it.
void OpenNotesAndType(TfmMain& w, const QString& text) {
    w.frMain->btNote->click();
    ASSERT_TRUE(w.frNote->isVisible());
    ASSERT_FALSE(w.frMain->isVisible());
    ASSERT_TRUE(w.frNote->WebBrowser->WaitIdle());
    FocusEnd(*w.frNote->WebBrowser);
    TypeText(*w.frNote->WebBrowser, text);
}

TEST_F(SyncServiceTest, NotesOkStoresSendsOneSetNoteAndUpdatesThePreview) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    OpenNotesAndType(*window, "buy milk");
    window->frNote->btOK->click();
    ASSERT_TRUE(WaitFor([&] { return window->frMain->isVisible(); }, 3000));
    EXPECT_FALSE(window->frNote->isVisible());
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get("note"), "buy milk");
    EXPECT_EQ(window->pLeft->mNote->toPlainText(), "buy milk");
    ASSERT_TRUE(WaitFor([&] { return other->store.Get("note") == "buy milk"; }, 4000));
    Pump(2500);  // later ticks send nothing more
    EXPECT_EQ(other->Count("\"UPDATE_NOTE\""), 1);
}

TEST_F(SyncServiceTest, NotesCancelSendsNothingAndReopeningShowsTheStoredText) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    OpenNotesAndType(*window, "saved");
    window->frNote->btOK->click();
    ASSERT_TRUE(WaitFor([&] { return other->store.Get("note") == "saved"; }, 4000));
    OpenNotesAndType(*window, " and not saved");
    window->frNote->btCancel->click();
    EXPECT_TRUE(window->frMain->isVisible());
    EXPECT_FALSE(window->frNote->isVisible());
    Pump(2500);
    EXPECT_EQ(other->Count("\"UPDATE_NOTE\""), 1);
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get("note"), "saved");
    EXPECT_EQ(window->pLeft->mNote->toPlainText(), "saved");
    window->ShowNote();  // the notes hot key
    EXPECT_EQ(window->frNote->WebBrowser->WaitBodyHtml(), "saved");
}

TEST_F(SyncServiceTest, AnEmptyNotesOkClearsTheNoteEverywhere) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    OpenNotesAndType(*window, "to clear");
    window->frNote->btOK->click();
    ASSERT_TRUE(WaitFor([&] { return other->store.Get("note") == "to clear"; }, 4000));
    // Opening the page asks the service for its note; the user clears the page once it shows
    // that answer (an answer still on its way would store the old note again).
    const auto notesApplied = [&] {
        const auto lines = window->Sync()->LogMemo()->Lines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("TWLSocket.UpdateNote") != std::string::npos;
        });
    };
    const auto before = notesApplied();
    window->ShowNote();
    ASSERT_TRUE(WaitFor([&] { return notesApplied() > before; }, 4000));
    window->frNote->WebBrowser->SetBodyHtml("");
    window->frNote->btOK->click();
    ASSERT_TRUE(WaitFor([&] { return other->Count("\"UPDATE_NOTE\"") == 2; }, 4000));
    EXPECT_EQ(other->store.Get("note"), "");
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get("note"), "");
    EXPECT_EQ(window->pLeft->mNote->toPlainText(), "");
}

TEST_F(SyncServiceTest, ANotesPageThatCannotStoreStaysOpenWithItsTextAndSendsNothing) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    OpenNotesAndType(*window, "kept");
    window->frNote->Links().Store = [](const std::string&) { throw std::runtime_error("disk full"); };
    // The failure shows in a message box; close it as the user would.
    QTimer::singleShot(300, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    window->frNote->btOK->click();
    Pump(2500);
    EXPECT_TRUE(window->frNote->isVisible());
    EXPECT_EQ(window->frNote->WebBrowser->WaitBodyHtml(), "kept");
    EXPECT_EQ(other->Count("\"UPDATE_NOTE\""), 0);
}

// The service holds an older note and template; both pages are saved while the service is down,
// and the program is restarted before it comes back. The local texts go out before the week is
// asked for, so the service's answer cannot put its older copies back.
TEST_F(SyncServiceTest, PagesSavedWhileTheServiceWasDownWinOverTheServicesOlderCopiesAfterARestart) {
    const struct {
        const char* member;
        void (TWLSocket::*setOnService)(const std::string&);
        void (TfmMain::*show)();
        TTextPage* (*page)(TfmMain&);
    } pages[] = {
        {"note", &TWLSocket::SetNote, &TfmMain::ShowNote, [](TfmMain& w) -> TTextPage* { return w.frNote; }},
        {"template", &TWLSocket::SetTemplate, &TfmMain::ShowTemplate,
         [](TfmMain& w) -> TTextPage* { return w.frTemplate; }},
    };
    StartServer();
    other = std::make_unique<Device>(root / "other", port);
    for (const auto& p : pages) ((*other->socket).*p.setOnService)(std::string("older ") + p.member);
    Pump(500);
    other.reset();
    StopServer();

    Create();  // offline
    for (const auto& p : pages) {
        SCOPED_TRACE(p.member);
        (window.get()->*p.show)();
        TTextPage* page = p.page(*window);
        ASSERT_TRUE(page->isVisible());
        ASSERT_TRUE(page->WebBrowser->WaitIdle());
        page->WebBrowser->SetBodyHtml(QString("offline ") + p.member);
        page->btOK->click();
        ASSERT_TRUE(WaitFor([&] { return window->frMain->isVisible(); }, 3000));
    }
    window.reset();
    StartServer();
    Create();
    ASSERT_TRUE(WaitFor([&] { return window->Sync()->Connected() && window->Unposted().Empty(); }, 8000));
    Pump(2000);  // the service's answer with the week has arrived and been applied
    other = std::make_unique<Device>(root / "other2", port);
    for (const auto& p : pages) {
        SCOPED_TRACE(p.member);
        const std::string offline = std::string("offline ") + p.member;
        EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get(p.member), offline);
        EXPECT_TRUE(WaitFor([&] { return other->store.Get(p.member) == offline; }, 4000));
    }
}

TEST_F(SyncServiceTest, TheTemplateSavedOnItsPageIsWhatTheDayPageInsertsNext) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    window->ShowTemplate();  // the template hot key
    ASSERT_TRUE(window->frSettings->isVisible());
    ASSERT_TRUE(window->frTemplate->isVisible());
    EXPECT_EQ(window->frSettings->Selected(), 0);
    window->frTemplate->WebBrowser->SetBodyHtml("<b>9:00</b> standup");
    window->frTemplate->btOK->click();
    ASSERT_TRUE(WaitFor([&] { return window->frMain->isVisible(); }, 3000));
    EXPECT_FALSE(window->frSettings->isVisible());
    EXPECT_FALSE(window->frTemplate->isVisible());
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get("template"), "<b>9:00</b> standup");
    ASSERT_TRUE(WaitFor([&] { return other->store.Get("template") == "<b>9:00</b> standup"; }, 4000));
    // The day is empty: the template button puts the template in without asking.
    window->frMain->btTemplateClick();
    EXPECT_TRUE(
        WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml() == "<b>9:00</b> standup"; }, 3000));
}

TEST_F(SyncServiceTest, ATemplatePushedFromAnotherDeviceReplacesUnsavedEditsWhenTheSubPageOpens) {
    StartServer();
    Create();
    other = std::make_unique<Device>(root / "other", port);
    window->ShowTemplate();
    window->frTemplate->WebBrowser->SetBodyHtml("unsaved edit");
    window->frSettings->btOptClick();
    other->socket->SetTemplate("<i>from the phone</i>");
    ASSERT_TRUE(WaitFor(
        [&] { return TWeekleaf(root / "Weekleaf" / "Data.json").Get("template") == "<i>from the phone</i>"; },
        4000));
    window->frSettings->btTemplClick();
    EXPECT_EQ(window->frTemplate->WebBrowser->WaitBodyHtml(), "<i>from the phone</i>");
}

TEST_F(SyncServiceTest, APlainTextTemplateOpensLineByLine) {
    TWeekleaf(root / "Weekleaf" / "Data.json").TemplateToJSON("AT WORK:\r\n-\r\nAT HOME:");
    StartServer();
    Create();
    window->ShowTemplate();
    EXPECT_EQ(window->frTemplate->WebBrowser->WaitBodyHtml(), "AT WORK:<br>-<br>AT HOME:");
}

TEST_F(SyncServiceTest, TheBoldAndStrikeKeysFormatTheNotesAndTemplateEditors) {
    // Keys the editing surface does not bind on its own.
    TSettings settings(root / "Weekleaf" / "Config.ini");
    settings.SetHotKeyBold(U'G');
    settings.SetHotKeyStriceOut(U'J');
    StartServer();
    Create();
    const struct {
        const char* page;
        std::function<TWebBrowser*()> open;
    } cases[] = {
        {"notes",
         [&] {
             window->ShowNote();
             return window->frNote->WebBrowser;
         }},
        {"template",
         [&] {
             window->ShowTemplate();
             return window->frTemplate->WebBrowser;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        TWebBrowser* editor = c.open();
        editor->SetBodyHtml("word");
        FocusEnd(*editor);
        ASSERT_TRUE(SelectWord(*editor, "word"));
        PressKey(*editor, Qt::Key_G, Qt::ControlModifier);
        PressKey(*editor, Qt::Key_J, Qt::ControlModifier);
        editor->WaitIdle();
        EXPECT_EQ(editor->WaitBodyHtml(), "<b><strike>word</strike></b>");
    }
}

TEST_F(SyncServiceTest, TheSettingsButtonOpensTheMenuAndTheCreditsOkLeadsBack) {
    StartServer();
    Create();
    window->frMain->btSettings->click();
    EXPECT_FALSE(window->frMain->isVisible());
    EXPECT_TRUE(window->frSettings->isVisible());
    window->frSettings->btDevClick();
    EXPECT_TRUE(window->frDevelopers->isVisible());
    EXPECT_FALSE(window->frTemplate->isVisible());
    window->frDevelopers->btOK->click();
    EXPECT_TRUE(window->frMain->isVisible());
    EXPECT_FALSE(window->frSettings->isVisible());
    EXPECT_FALSE(window->frDevelopers->isVisible());
}

TEST_F(SyncServiceTest, SearchGivesLocalResultsWithTheServiceStopped) {
    {
        TWeekleaf store(root / "Weekleaf" / "Data.json");
        store.Set("05.01.2021", "<p>Важная <b>встреча</b></p>");
        store.SaveJSON();
    }
    StartServer();
    Create();
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    server = 0;
    auto* panel = window->pLeft;
    panel->Search->setText("ВСТРЕЧА");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(panel->Search, &enter);
    ASSERT_EQ(panel->lbSearch->count(), 1);
    EXPECT_EQ(panel->lbSearch->item(0)->text(), "05.01.2021: важная встреча");
    EXPECT_EQ(panel->lbTitle->text(), "Результат поиска (1)");
}

// A day written on another device and never opened here is found all the same: the service
// answers the search with the matching days it holds, they land in this device's store, and the
// shown results take them in.
TEST_F(SyncServiceTest, SearchFindsDaysWrittenOnAnotherDeviceAndNeverOpenedHere) {
    {
        TWeekleaf store(root / "Weekleaf" / "Data.json");
        store.Set("05.01.2021", "<p>Встреча здесь</p>");
        store.SaveJSON();
    }
    StartServer();
    other = std::make_unique<Device>(root / "other", port);
    other->socket->SetDay(MakeDate(2019, 3, 4), "<p>Встреча <b>с врачом</b></p>");
    other->socket->SetDay(MakeDate(2019, 3, 5), "<p>обед</p>");
    Create();
    ASSERT_TRUE(WaitFor([&] { return window->Sync()->Connected(); }, 4000));
    auto* panel = window->pLeft;
    panel->Search->setText("с врачом");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(panel->Search, &enter);
    ASSERT_TRUE(
        WaitFor([&] { return panel->lbSearch->item(0)->text() == "04.03.2019: встреча с врачом"; }, 4000))
        << panel->lbSearch->item(0)->text().toStdString();
    EXPECT_EQ(panel->lbSearch->count(), 1);
    EXPECT_EQ(panel->lbTitle->text(), "Результат поиска (1)");
    EXPECT_EQ(window->Weekleaf()->Get("04.03.2019"), "<p>Встреча <b>с врачом</b></p>");
    EXPECT_EQ(window->Weekleaf()->Get("05.03.2019"), "");  // only the matching days come
    EXPECT_EQ(TWeekleaf(root / "Weekleaf" / "Data.json").Get("04.03.2019"), "<p>Встреча <b>с врачом</b></p>");

    // Both devices' days, the newest first; the local one was never lost.
    panel->Search->setText("встреча");
    QApplication::sendEvent(panel->Search, &enter);
    EXPECT_TRUE(WaitFor([&] { return panel->lbSearch->count() == 2; }, 4000));
    EXPECT_EQ(panel->lbSearch->item(0)->text(), "05.01.2021: встреча здесь");
    EXPECT_EQ(panel->lbSearch->item(1)->text(), "04.03.2019: встреча с врачом");
}

}  // namespace
}  // namespace wl::test
