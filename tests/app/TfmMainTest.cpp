// The main window as a person uses it: first start, typing on the day page, a change pushed from
// another device, an edit made offline, closing to the tray, the blocks switch, the exit item and
// a damaged Data.json. The sync client is a recorder; the desktop remembers what it was shown.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/AppState.h"
#include "app/THeaderButton.h"
#include "app/TSyncMark.h"
#include "app/TfmFirstLunch.h"
#include "app/TfmMain.h"
#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "platform/MemoryDesktop.h"
#include "platform/SessionWatch.h"
#include "ui/TCalendarPanel.h"
#include "ui/TImageButton.h"
#include "ui/TMonthCalendar.h"
#include "ui/TPanelButton.h"
#include "ui/TWebBrowser.h"
#include "ui/TfmBar.h"
#include "ui/TfmBlockEditor.h"
#include "ui/TfmConfirm.h"
#include "ui/TfmEditor.h"
#include "ui/TfrMain.h"
#include "ui/TfrNote.h"
#include "ui/TfrOptions.h"
#include "ui/TfrSettings.h"
#include "ui/TfrTemplate.h"
#include "ui/UiTestSupport.h"
#include "wallpaper/Blender.h"
#include "wallpaper/ImageCodecs.h"

namespace wl::test {
namespace {

namespace fs = std::filesystem;

struct FakeSync : ISyncClient {
    bool up = true;
    bool canReconnect = true;
    std::vector<std::string> sent;

    std::function<void()> beforeWeek;

    void SetBeforeWeek(std::function<void()> work) override { beforeWeek = std::move(work); }
    bool Start() override {
        if (!up) return false;
        if (beforeWeek) beforeWeek();
        sent.push_back("GET_CURRENT_WEEK");
        return true;
    }
    bool Connected() override { return up; }
    bool ReConnect() override {
        if (!canReconnect) return false;
        up = true;
        if (beforeWeek) beforeWeek();
        sent.push_back("GET_CURRENT_WEEK");
        return true;
    }
    void Send(const std::string& what) {
        if (!up) throw std::runtime_error("not connected");
        sent.push_back(what);
    }
    void GetCurrentWeek() override { Send("GET_CURRENT_WEEK"); }
    void GetDay(Date d) override { Send("GET_DAY " + DateToStr(d)); }
    void SetDay(Date d, const std::string& html) override { Send("SET_DAY " + DateToStr(d) + " " + html); }
    void GetDaysRange(Date a, Date b) override {
        Send("GET_DAYS_RANGE " + DateToStr(a) + " " + DateToStr(b));
    }
    void GetNote() override { Send("GET_NOTE"); }
    void GetTemplate() override { Send("GET_TEMPLATE"); }
    void SetTemplate(const std::string& html) override { Send("SET_TEMPLATE " + html); }
    void SetNote(const std::string& html) override { Send("SET_NOTE " + html); }
    void GetSearch(const std::string& text) override { Send("GET_SEARCH " + text); }

    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& s : sent) n += s.rfind(prefix, 0) == 0;
        return n;
    }
};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Answers the next confirmation question once it shows; its title goes to `asked`.
void AnswerConfirm(bool ok, QString* asked) {
    QTimer::singleShot(0, [ok, asked] {
        WaitFor([] { return qobject_cast<TfmConfirm*>(QApplication::activeModalWidget()) != nullptr; }, 5000);
        auto* dlg = qobject_cast<TfmConfirm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        if (asked) *asked = dlg->Title->text();
        (ok ? dlg->btOK : dlg->btCancel)->click();
    });
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-app-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        ::setenv("AppData", root.c_str(), 1);
        FirstStart = false;
        DayChanged = false;
        DayPostedText.clear();
        DayUndoText.clear();
        WeekOffsetDays.store(0);
    }
    void TearDown() override {
        window.reset();
        fs::remove_all(root);
    }
    fs::path Folder() const { return root / "Weekleaf"; }
    fs::path DataJson() const { return Folder() / "Data.json"; }

    // A second start: the data folder exists with the default files.
    void Prepare() {
        bool first = false;
        CheckFiles(first);
        FirstStart = false;
    }

    void Create() {
        window = std::make_unique<TfmMain>();
        window->hooks.MakeDesktop = [this] {
            auto d = std::make_unique<MemoryDesktop>(ScreenSize{1280, 800});
            desktop = d.get();
            return d;
        };
        window->hooks.MakeSyncClient = [this](TWeekleaf&, TSettings&) {
            auto s = std::make_unique<FakeSync>();
            sync = s.get();
            s->up = startOnline;
            return s;
        };
        window->hooks.ShowError = [this](const QString& text) { errors.push_back(text.toStdString()); };
        window->hooks.TrayAvailable = [this] { return trayAvailable; };
        window->FormCreate();
    }

    // Shows the window and waits until the day page holds today.
    void ShowReady() {
        window->show();
        ASSERT_TRUE(WaitFor([&] { return window->frMain->ShownDate() == QDate::currentDate(); }));
        ASSERT_TRUE(window->frMain->WebBrowser->WaitIdle());
    }

    std::string TodayKey() const { return DayKey(QDate::currentDate()); }

    fs::path root;
    std::unique_ptr<TfmMain> window;
    MemoryDesktop* desktop = nullptr;
    FakeSync* sync = nullptr;
    bool startOnline = true;
    bool trayAvailable = true;  // the offscreen platform has none; the cases without set it false
    std::vector<std::string> errors;
};

TEST_F(MainWindowTest, FirstStartWritesTheDefaultFilesAndAsksTheFourSettings) {
    QString title;
    QTimer::singleShot(0, [&] {
        // The dialog is modal inside FormCreate; answer it as the user would.
        WaitFor([] { return qobject_cast<TfmFirstLunch*>(QApplication::activeModalWidget()) != nullptr; });
        auto* dlg = qobject_cast<TfmFirstLunch*>(QApplication::activeModalWidget());
        if (!dlg) return;
        title = dlg->windowTitle();
        EXPECT_EQ(dlg->size(), QSize(323, 228));
        EXPECT_EQ(dlg->cbAutorun->text(), "Автозапуск при входе в систему");
        for (QCheckBox* cb : {dlg->cbAutorun, dlg->cbDrow, dlg->cbHide, dlg->cbCheckUpdates}) {
            EXPECT_TRUE(cb->isChecked());
            cb->setChecked(false);
        }
        dlg->btOK->click();
    });
    Create();
    EXPECT_EQ(title, "Настройка первого запуска");
    EXPECT_TRUE(fs::exists(DataJson()));
    EXPECT_TRUE(errors.empty());
    TSettings written(Folder() / "Config.ini");
    EXPECT_FALSE(written.StartWithOS());
    EXPECT_FALSE(written.ShowBloks());
    EXPECT_FALSE(written.HideOnStart());
    EXPECT_FALSE(written.CheckUpdate());
    EXPECT_FALSE(BlocksVisible);
    // A first run shows the window whatever HideOnStart says, and the timers run.
    EXPECT_FALSE(window->HideAtStart());
    EXPECT_TRUE(window->tPostData.isActive());
    EXPECT_TRUE(window->tCheckData.isActive());
    EXPECT_EQ(sync->sent, std::vector<std::string>{"GET_CURRENT_WEEK"});
}

// WCAG contrast ratio of two colours (1 .. 21).
double Contrast(QColor a, QColor b) {
    auto lum = [](QColor c) {
        auto ch = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
    };
    const double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(MainWindowTest, AFirstStartTickIsUnmistakable) {
    Prepare();
    TSettings settings(Folder() / "Config.ini");
    TfmFirstLunch dlg(settings);
    dlg.show();
    Pump(100);
    QDir().mkpath(WL_APP_SHOT_DIR);
    for (QCheckBox* cb : {dlg.cbAutorun, dlg.cbHide}) {
        SCOPED_TRACE(cb->text().toStdString());
        QStyleOptionButton opt;
        opt.initFrom(cb);
        // The box as it shows on the dialog's background.
        const QRect box =
            cb->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, cb).translated(cb->pos());
        ASSERT_GE(box.width(), 12);
        cb->setChecked(true);
        const QImage on = dlg.grab(box).toImage().convertToFormat(QImage::Format_RGB32);
        cb->setChecked(false);
        const QImage off = dlg.grab(box).toImage().convertToFormat(QImage::Format_RGB32);
        // Ticking changes much of the box, and clearly; the tick stands out against its box.
        int changed = 0;
        double strongest = 1;
        for (int y = 0; y < on.height(); ++y) {
            for (int x = 0; x < on.width(); ++x) {
                const QColor a = on.pixelColor(x, y), b = off.pixelColor(x, y);
                changed += Contrast(a, b) >= 2;
                for (const QColor& c : {on.pixelColor(on.width() / 2, on.height() / 2), QColor(Qt::white)})
                    strongest = std::max(strongest, Contrast(a, c));
            }
        }
        EXPECT_GE(changed, on.width() * on.height() / 3);
        EXPECT_GE(strongest, 4.5);
    }
    dlg.cbHide->setChecked(true);
    dlg.cbCheckUpdates->setChecked(false);
    dlg.grab().save(QString(WL_APP_SHOT_DIR) + "/first-start.png");
}

TEST_F(MainWindowTest, TheDayPagesLinesFrameTheEditorAndMissTheButtons) {
    Prepare();
    Create();
    window->show();
    TfrMain* page = window->frMain;
    const QRect editor = page->WebBrowser->geometry();
    const QRect buttons[] = {page->btClear->geometry(), page->btTemplate->geometry(),
                             page->btNote->geometry()};
    std::vector<int> lineRows;
    for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->height() != 1 || w->width() != page->width() || !w->isVisible()) continue;
        lineRows.push_back(w->y());
        for (const QRect& b : buttons) EXPECT_FALSE(w->geometry().intersects(b)) << "a line at " << w->y();
    }
    EXPECT_EQ(lineRows, (std::vector<int>{editor.top() - 1, editor.bottom() + 1}));
    for (const QRect& b : buttons) {
        EXPECT_GT(b.top(), editor.bottom() + 1);
        EXPECT_LE(b.bottom(), page->height() - 1);
    }
}

TEST_F(MainWindowTest, TheDayAndItsWeekShowWithoutWaitingForATick) {
    Prepare();
    Create();
    window->tPostData.stop();
    window->show();
    const QDate today = QDate::currentDate();
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    TfrMain* page = window->frMain;
    for (int i = 0; i < 7; ++i) EXPECT_EQ(page->DateLabels[i]->text(), monday.addDays(i).toString("dd.MM"));
    EXPECT_EQ(page->dayLumin->x(), page->DateLabels[today.dayOfWeek() - 1]->x() - 17);
    EXPECT_TRUE(WaitFor([&] { return page->ShownDate() == today; }, 5000));
}

TEST_F(MainWindowTest, HideOnStartKeepsTheWindowInTheTray) {
    Prepare();  // the default Config.ini says HideOnStart=-1
    Create();
    EXPECT_TRUE(window->HideAtStart());
    EXPECT_EQ(window->pHead->text(), "    Weekleaf 3.0.3");
    EXPECT_EQ(window->size(), QSize(830, 550));
    EXPECT_EQ(window->windowTitle(), "Weekleaf");
}

TEST_F(MainWindowTest, TypingReachesDataJsonWithinTwoSecondsWithExactlyOneSetDay) {
    Prepare();
    Create();
    ShowReady();
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "Купить хлеб");
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(DataJson()).find("\\u0445\\u043b\\u0435\\u0431") != std::string::npos; }, 2000))
        << ReadFile(DataJson());
    EXPECT_LT(clock.elapsed(), 2000);
    Pump(2500);  // later ticks without typing send nothing
    EXPECT_EQ(sync->Count("SET_DAY"), 1);
    EXPECT_EQ(sync->Count("SET_DAY " + TodayKey() + " Купить хлеб"), 1);
    TWeekleaf stored(DataJson());
    EXPECT_EQ(stored.Get(TodayKey()), "Купить хлеб");
}

TEST_F(MainWindowTest, APushedChangeOfTheShownDayAppearsInTheIdleEditor) {
    Prepare();
    Create();
    ShowReady();
    Pump(1200);
    // What the sync handler does with UPDATE_DAY on the main thread.
    window->Weekleaf()->Set(TodayKey(), "<b>from the phone</b>");
    window->Weekleaf()->SaveJSON();
    ASSERT_TRUE(
        WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml() == "<b>from the phone</b>"; }, 3000));
    Pump(1500);
    EXPECT_EQ(sync->Count("SET_DAY"), 0);
    EXPECT_EQ(DayPostedText, "<b>from the phone</b>");
}

TEST_F(MainWindowTest, PushedChangesWaitWhileTheWindowIsHidden) {
    Prepare();
    Create();
    ShowReady();
    window->close();
    window->Weekleaf()->Set(TodayKey(), "later");
    Pump(1500);
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "");
    window->N1Click();
    EXPECT_TRUE(WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml() == "later"; }, 3000));
}

TEST_F(MainWindowTest, AnOfflineEditIsPostedAfterTheReconnectBeforeTheWeekIsAskedFor) {
    Prepare();
    startOnline = false;
    Create();
    sync->canReconnect = false;
    ShowReady();
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "offline");
    ASSERT_TRUE(WaitFor([&] { return TWeekleaf(DataJson()).Get(TodayKey()) == "offline"; }, 3000));
    EXPECT_TRUE(window->Unposted().Holds(Today()));
    EXPECT_EQ(sync->Count("SET_DAY"), 0);

    sync->canReconnect = true;  // the service is reachable again
    ASSERT_TRUE(WaitFor([&] { return sync->Count("GET_CURRENT_WEEK") == 1; }, 3000));
    ASSERT_GE(sync->sent.size(), 2u);
    EXPECT_EQ(sync->sent[0], "SET_DAY " + TodayKey() + " offline");
    EXPECT_EQ(sync->sent[1], "GET_CURRENT_WEEK");
    EXPECT_TRUE(window->Unposted().Empty());
}

TEST_F(MainWindowTest, OfflineEditsOutliveARestartAndGoOutBeforeTheWeekIsAskedFor) {
    Prepare();
    startOnline = false;
    Create();
    sync->canReconnect = false;
    ShowReady();
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "offline");
    ASSERT_TRUE(WaitFor([&] { return TWeekleaf(DataJson()).Get(TodayKey()) == "offline"; }, 3000));
    EXPECT_NE(ReadFile(Folder() / "Unposted.json").find(TodayKey()), std::string::npos);
    window.reset();  // the program ends before the service is back

    startOnline = true;
    Create();
    ASSERT_GE(sync->sent.size(), 2u);
    EXPECT_EQ(sync->sent[0], "SET_DAY " + TodayKey() + " offline");
    EXPECT_EQ(sync->sent[1], "GET_CURRENT_WEEK");
    EXPECT_TRUE(window->Unposted().Empty());
    EXPECT_EQ(ReadFile(Folder() / "Unposted.json").find(TodayKey()), std::string::npos);
    window.reset();

    Create();  // sent once is enough
    EXPECT_EQ(sync->Count("SET_DAY"), 0);
}

// The notes page and the template saved while the service is down wait like days: the header
// counts them, Unposted.json keeps them across a restart, and they go out before the week is asked
// for (whose answer carries the service's older copies).
TEST_F(MainWindowTest, OfflinePagesOutliveARestartAndGoOutBeforeTheWeekIsAskedFor) {
    const struct {
        void (TfmMain::*show)();
        TTextPage* (*page)(TfmMain&);
        const char* text;
    } pages[] = {
        {&TfmMain::ShowNote, [](TfmMain& w) -> TTextPage* { return w.frNote; }, "offline note"},
        {&TfmMain::ShowTemplate, [](TfmMain& w) -> TTextPage* { return w.frTemplate; }, "offline template"},
    };
    Prepare();
    startOnline = false;
    Create();
    sync->canReconnect = false;
    ShowReady();
    for (const auto& p : pages) {
        SCOPED_TRACE(p.text);
        (window.get()->*p.show)();
        TTextPage* page = p.page(*window);
        ASSERT_TRUE(page->WebBrowser->WaitIdle());
        page->WebBrowser->SetBodyHtml(p.text);
        page->btOK->click();
        ASSERT_TRUE(WaitFor([&] { return window->frMain->isVisible(); }, 3000));
    }
    TSyncMark* mark = window->SyncMark;
    ASSERT_TRUE(WaitFor([&] { return mark->WaitingPages() == 2; }, 3000));
    EXPECT_EQ(mark->WaitingDays(), 0u);
    EXPECT_TRUE(mark->toolTip().contains("\nНе отправлено: 2 страницы\n"))
        << mark->toolTip().toStdString();
    window.reset();  // the program ends before the service is back

    startOnline = true;
    Create();
    ASSERT_GE(sync->sent.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sync->sent.begin(), sync->sent.begin() + 3),
              (std::vector<std::string>{"SET_NOTE offline note", "SET_TEMPLATE offline template",
                                        "GET_CURRENT_WEEK"}));
    EXPECT_TRUE(window->Unposted().Empty());
    EXPECT_TRUE(WaitFor(
        [&] { return window->SyncMark->Reachable() && window->SyncMark->WaitingPages() == 0; }, 3000));
    window.reset();

    Create();  // sent once is enough
    EXPECT_EQ(sync->Count("SET_NOTE") + sync->Count("SET_TEMPLATE"), 0);
}

TEST_F(MainWindowTest, TheHeaderTellsWhetherEditsAreSentAndTheCalendarMarksTheDaysWithEntries) {
    Prepare();
    Create();
    window->Weekleaf()->Set(DayKey(QDate::currentDate().addDays(-1)), "<p>вчера</p>");
    window->Weekleaf()->Set(DayKey(QDate::currentDate().addDays(-2)), "<p><br></p>");  // emptied
    ShowReady();
    TSyncMark* mark = window->SyncMark;
    TMonthCalendar* month = window->pLeft->pMonth;
    ASSERT_TRUE(WaitFor([&] { return mark->Reachable(); }, 3000));
    EXPECT_EQ(mark->toolTip(), "Сервис синхронизации доступен\nВсе изменения отправлены");
    const QDate today = QDate::currentDate();
    if (today.addDays(-2).month() == today.month()) {
        EXPECT_TRUE(month->Marked(today.addDays(-1)));
        EXPECT_FALSE(month->Marked(today.addDays(-2)));
    }
    EXPECT_FALSE(month->Marked(today));
    const QImage synced = mark->grab().toImage();

    sync->up = false;  // the service goes away
    sync->canReconnect = false;
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "offline");
    ASSERT_TRUE(WaitFor([&] { return !mark->Reachable() && mark->WaitingDays() == 1; }, 3000));
    EXPECT_TRUE(mark->toolTip().startsWith("Сервис синхронизации недоступен\nНе отправлено: 1 день\n"))
        << mark->toolTip().toStdString();
    EXPECT_TRUE(WaitFor([&] { return month->Marked(today); }, 2000));
    EXPECT_NE(mark->grab().toImage(), synced);
    QDir().mkpath(WL_APP_SHOT_DIR);
    window->grab(QRect(0, 0, 830, 25)).save(QString(WL_APP_SHOT_DIR) + "/header-waiting.png");

    sync->canReconnect = true;  // back: the day goes out and the mark turns back
    ASSERT_TRUE(WaitFor([&] { return mark->Reachable() && mark->WaitingDays() == 0; }, 3000));
    EXPECT_EQ(mark->grab().toImage(), synced);
}

// The mark's tip is a small box of short lines that counts in proper Russian forms.
TEST(SyncMarkTest, TheTipIsShortLinesWithRussianCounts) {
    struct Case {
        bool reachable;
        std::size_t days, pages;
        const char* waiting;  // the "Не отправлено" line, or nullptr when nothing waits
    };
    const Case cases[] = {
        {true, 0, 0, nullptr},
        {false, 0, 0, nullptr},
        {true, 1, 0, "Не отправлено: 1 день"},
        {false, 2, 0, "Не отправлено: 2 дня"},
        {false, 5, 1, "Не отправлено: 5 дней, 1 страница"},
        {true, 11, 2, "Не отправлено: 11 дней, 2 страницы"},
        {true, 21, 0, "Не отправлено: 21 день"},
        {true, 104, 0, "Не отправлено: 104 дня"},
        {true, 112, 0, "Не отправлено: 112 дней"},
        {false, 0, 1, "Не отправлено: 1 страница"},
    };
    for (const Case& c : cases) {
        const QStringList lines = TSyncMark::Describe(c.reachable, c.days, c.pages).split('\n');
        SCOPED_TRACE(lines.join(" | ").toStdString());
        EXPECT_EQ(lines.value(0),
                  c.reachable ? "Сервис синхронизации доступен" : "Сервис синхронизации недоступен");
        EXPECT_EQ(lines.value(1), c.waiting ? QString(c.waiting) : QString("Все изменения отправлены"));
        for (const QString& line : lines) EXPECT_LE(line.size(), 36);
    }
}

TEST_F(MainWindowTest, AClickOnTheNotesPreviewOpensTheNotesPage) {
    Prepare();
    Create();
    ShowReady();
    QWidget* preview = window->pLeft->mNote->viewport();
    const QPointF at(20, 20);
    QMouseEvent press(QEvent::MouseButtonPress, at, preview->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(preview, &press);
    EXPECT_TRUE(WaitFor([&] { return window->frNote->isVisible(); }, 3000));
    EXPECT_FALSE(window->frMain->isVisible());
}

TEST_F(MainWindowTest, ClosingHidesToTheTrayAndTheFirstMenuItemBringsItBack) {
    Prepare();
    Create();
    window->show();
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TrayIcon->isVisible());
    EXPECT_EQ(window->TrayPopup->actions().size(), 3);
    EXPECT_EQ(window->N1->text(), "Отобразить приложение");
    EXPECT_EQ(window->N2->text(), "Перейти на сайт проекта");
    EXPECT_EQ(window->CloceMenu->text(), "Выход");
    window->N1Click();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->TrayIcon->isVisible());
}

TEST_F(MainWindowTest, WithoutATrayClosingMinimisesAndAHiddenStartShowsTheWindow) {
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "tray" : "no tray");
        fs::remove_all(Folder());
        Prepare();  // the default Config.ini says HideOnStart=-1
        trayAvailable = tray;
        Create();
        EXPECT_EQ(window->HideAtStart(), tray);
        EXPECT_EQ(window->TrayIcon->isVisible(), tray);
        window->show();
        window->imgClose->onClick();  // the header's close button
        Pump(50);
        EXPECT_EQ(window->isVisible(), !tray);
        EXPECT_EQ(window->isMinimized(), !tray);
        EXPECT_EQ(window->TrayIcon->isVisible(), tray);
        window.reset();
    }
}

// Sets an environment variable for one scope.
struct EnvGuard {
    EnvGuard(const char* name, const QByteArray& value) : name(name), had(qEnvironmentVariableIsSet(name)) {
        old = qgetenv(name);
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~EnvGuard() { had ? qputenv(name, old) : qunsetenv(name); }
    const char* name;
    bool had;
    QByteArray old;
};

QMessageBox* SiteMessage() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "mbSiteAddress" && w->isVisible()) return qobject_cast<QMessageBox*>(w);
    return nullptr;
}

TEST_F(MainWindowTest, WithoutABrowserTheSiteItemShowsTheAddressToCopy) {
    struct Case {
        const char* name;
        const char* opener;  // the body of a stand-in xdg-open; none when null
        bool message;
    };
    const Case cases[] = {
        {"a browser opens the site", "exit 0", false},
        {"xdg-open finds no browser", "echo 'xdg-open: no method available' >&2; exit 3", true},
        {"no opener at all", nullptr, true},
    };
    Prepare();
    Create();
    const fs::path bin = root / "bin";
    EnvGuard path("PATH", QByteArray::fromStdString(bin.string()));
    EnvGuard browser("BROWSER", QByteArray());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(bin);
        fs::create_directories(bin);
        if (c.opener) {
            std::ofstream(bin / "xdg-open") << "#!/bin/sh\n" << c.opener << "\n";
            fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        }
        window->N2->trigger();
        if (!c.message) {
            Pump(1000);
            EXPECT_EQ(SiteMessage(), nullptr);
            continue;
        }
        ASSERT_TRUE(WaitFor([] { return SiteMessage() != nullptr; }, 5000));
        QMessageBox* box = SiteMessage();
        EXPECT_TRUE(box->text().contains("https://weekleaf.org")) << box->text().toStdString();
        EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByMouse);
        box->accept();
        Pump(50);
    }
}

TEST_F(MainWindowTest, SwitchingTheBlocksOffPutsTheUsersWallpaperBackAndTwiceRestoresTheSetting) {
    // With a backup of the user's picture it goes back up; without one (a desktop that had no
    // picture) the desktop is cleared rather than left showing our drawing.
    const struct {
        bool backup;
        const char* shown;
    } cases[] = {{true, "WppOld.bmp"}, {false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.backup ? "with WppOld.bmp" : "without WppOld.bmp");
        fs::remove_all(root);
        Prepare();
        if (c.backup) SaveBmp24(Image(64, 48, 0x996633), Folder() / "WppOld.bmp");
        Create();
        desktop->ShowWallpaper((Folder() / "Weekleaf-Modifed.bmp").string());
        const bool before = TSettings(Folder() / "Config.ini").ShowBloks();
        window->ShowBlocks();
        EXPECT_EQ(TSettings(Folder() / "Config.ini").ShowBloks(), !before);
        if (!BlocksVisible) {
            EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), c.shown);
        }
        window->ShowBlocks();
        EXPECT_EQ(TSettings(Folder() / "Config.ini").ShowBloks(), before);
        window.reset();
    }
}

TEST_F(MainWindowTest, TheBlocksAreDrawnOnTheDesktopAndTheExitItemRestoresWppOld) {
    Prepare();
    SaveBmp24(Image(64, 48, 0x336699), Folder() / "Wpp" / "own.bmp");
    Create();
    desktop->ShowWallpaper((Folder() / "Wpp" / "own.bmp").string());
    BlocksVisible = true;
    window->Weekleaf()->Set(TodayKey(), "draw me");
    window->tCheckDataTimer();
    ASSERT_TRUE(WaitFor([&] { return window->DrawIdle(); }, 20000));
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "Weekleaf-Modifed.bmp");
    ASSERT_TRUE(fs::exists(Folder() / "WppOld.bmp"));
    // A run going on when the user chooses "Выход" is waited for.
    window->Weekleaf()->Set(TodayKey(), "draw me again");
    window->tCheckDataTimer();
    window->CloceMenuClick();
    EXPECT_TRUE(window->DrawIdle());
    EXPECT_FALSE(window->tPostData.isActive());
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "WppOld.bmp");
}

TEST_F(MainWindowTest, TypingJustBeforeTheExitIsStored) {
    Prepare();
    Create();
    ShowReady();
    window->tPostData.stop();  // the last keystrokes came after the last tick
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "last words");
    window->CloceMenuClick();
    EXPECT_EQ(TWeekleaf(DataJson()).Get(TodayKey()), "last words");
    EXPECT_EQ(sync->Count("SET_DAY " + TodayKey() + " last words"), 1);
}

// The program keeps running after a failed start, but takes no input it could not keep: the pages
// are read-only and the header names the file and the fault.
TEST_F(MainWindowTest, ADamagedFileIsNamedToTheUserAndLeftUntouchedAndNothingTypedGoesAstray) {
    struct Case {
        const char* file;
        std::string text;
        const char* shown;   // what the user reads about the fault
        const char* logged;  // the technical account ErrLog.txt keeps (nullptr: none)
    };
    const Case cases[] = {
        {"Data.json", "{\"note\":\"half", "Data.json повреждён: строка 1, столбец ", "line 1, column "},
        {"Config.ini", "StartWithOS=-1\r\nFontSize=twelve\r\n", "Config.ini", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::remove_all(Folder());
        Prepare();
        { std::ofstream(Folder() / c.file, std::ios::binary) << c.text; }
        errors.clear();
        Create();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(c.shown), std::string::npos) << errors[0];
        if (c.logged) {
            EXPECT_EQ(errors[0].find(c.logged), std::string::npos) << errors[0];
            EXPECT_NE(ReadFile(Folder() / "ErrLog.txt").find(c.logged), std::string::npos);
        }
        EXPECT_EQ(ReadFile(Folder() / c.file), c.text);
        EXPECT_FALSE(window->tPostData.isActive());
        window->show();
        EXPECT_TRUE(window->lbMessage->isVisible());
        EXPECT_TRUE(window->lbMessage->text().contains(c.file)) << window->lbMessage->text().toStdString();
        if (window->frMain) {
            // The week header still shows this week with today highlighted.
            const QDate today = QDate::currentDate();
            const QDate monday = today.addDays(1 - today.dayOfWeek());
            for (int i = 0; i < 7; ++i) {
                const QLabel* label = window->frMain->DateLabels[i];
                EXPECT_EQ(label->text(), monday.addDays(i).toString("dd.MM"));
                EXPECT_EQ(label->palette().color(QPalette::WindowText) == Qt::white,
                          i == today.dayOfWeek() - 1)
                    << i;
            }
            EXPECT_EQ(window->frMain->dayLumin->x(),
                      window->frMain->DateLabels[today.dayOfWeek() - 1]->x() - 17);
        }
        EXPECT_TRUE(
            window->lbMessage->toolTip().contains(QString::fromStdString(errors[0]).section('\n', -1)))
            << window->lbMessage->toolTip().toStdString();
        // Every editing page, shown as the hot keys would show it.
        if (window->frMain) {
            const std::pair<QWidget*, TWebBrowser*> pages[] = {
                {window->frMain, window->frMain->WebBrowser},
                {window->frNote, window->frNote->WebBrowser},
                {window->frTemplate, window->frTemplate->WebBrowser},
            };
            for (const auto& [page, editor] : pages) {
                page->show();
                ASSERT_TRUE(editor->WaitIdle());
                FocusEnd(*editor);
                TypeText(*editor, "lost");
                EXPECT_EQ(editor->WaitBodyHtml(), "");
            }
        }
        window->ShowEditor();  // the desktop editor's hot key
        EXPECT_TRUE(!window->fmBar || !window->fmBar->isVisible());
        Pump(300);  // a window without its data keeps running without touching the file
        window->CloceMenuClick();
        EXPECT_EQ(ReadFile(Folder() / c.file), c.text);
        window.reset();
    }
}

TEST_F(MainWindowTest, ScreenshotOfTheMainWindow) {
    Prepare();
    Create();
    window->Weekleaf()->Set("note", "<p>Позвонить маме</p><p>Купить подарок</p>");
    window->Weekleaf()->Set(TodayKey(), "<p><b>10:00</b> встреча</p><ul><li>отчёт</li><li>письма</li></ul>");
    ShowReady();
    window->hide();
    window->show();  // FormShow fills the notes preview
    Pump(1500);
    QDir().mkpath(WL_APP_SHOT_DIR);
    const QImage shot = window->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(830, 550));
    shot.save(QString(WL_APP_SHOT_DIR) + "/main-window.png");
}

TEST_F(MainWindowTest, SwitchingTheDayOnTheCalendarKeepsWhatWasJustTyped) {
    Prepare();
    Create();
    const QDate tomorrow = QDate::currentDate().addDays(1);
    window->Weekleaf()->Set(DayKey(tomorrow), "<p>tomorrow</p>");
    ShowReady();
    window->tPostData.stop();  // the switch comes before the next tick
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "today");
    window->pLeft->Calendar->setSelectedDate(tomorrow);  // a click on the calendar
    ASSERT_TRUE(WaitFor([&] { return window->frMain->ShownDate() == tomorrow; }));
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "<p>tomorrow</p>");
    EXPECT_EQ(TWeekleaf(DataJson()).Get(TodayKey()), "today");
    EXPECT_EQ(sync->Count("SET_DAY " + TodayKey() + " today"), 1);
}

TEST_F(MainWindowTest, ClearingTheDayAsksFirstAndPostsTheEmptyDay) {
    Prepare();
    Create();
    window->Weekleaf()->Set(TodayKey(), "<p>to go</p>");
    ShowReady();
    QString asked;
    AnswerConfirm(false, &asked);
    window->frMain->btClear->click();
    EXPECT_EQ(asked, "Удалить данные?");
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "<p>to go</p>");
    AnswerConfirm(true, &asked);
    window->frMain->btClear->click();
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "");
    EXPECT_GE(sync->Count("SET_DAY " + TodayKey() + " "), 1);
    EXPECT_TRUE(WaitFor([&] { return TWeekleaf(DataJson()).Get(TodayKey()).empty(); }, 3000));
}

TEST_F(MainWindowTest, TheTemplateGoesIntoAnEmptyDayAndIsPostedWithIt) {
    Prepare();
    Create();
    window->Weekleaf()->Set("template", "<ul><li>зарядка</li></ul>");
    ShowReady();
    window->frMain->btTemplate->click();
    ASSERT_TRUE(
        WaitFor([&] { return window->frMain->WebBrowser->WaitBodyHtml() == "<ul><li>зарядка</li></ul>"; }));
    EXPECT_EQ(sync->Count("GET_TEMPLATE"), 1);
    EXPECT_EQ(sync->Count("SET_TEMPLATE <ul><li>зарядка</li></ul>"), 1);
    EXPECT_TRUE(
        WaitFor([&] { return TWeekleaf(DataJson()).Get(TodayKey()) == "<ul><li>зарядка</li></ul>"; }, 3000));
    // Undo puts back the day as it was loaded; redo repeats the undo.
    window->frMain->btUndo->click();
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "");
    EXPECT_TRUE(WaitFor([&] { return TWeekleaf(DataJson()).Get(TodayKey()).empty(); }, 3000));
}

TEST_F(MainWindowTest, SuspendStopsTheTimersAndResumeStartsThemAgain) {
    Prepare();
    Create();
    window->Suspend();
    for (QTimer* t : {&window->tPostData, &window->tCheckData, &window->tWppChange, &window->tRestart}) {
        EXPECT_FALSE(t->isActive());
    }
    window->Resume();
    for (QTimer* t : {&window->tPostData, &window->tCheckData, &window->tWppChange, &window->tRestart}) {
        EXPECT_TRUE(t->isActive());
    }
}

TEST_F(MainWindowTest, AStoredTextTheEditorWritesDifferentlyIsNotPostedAsAnEdit) {
    Prepare();
    Create();
    // Written by another editor: upper-case tags and a self-closing break.
    const std::string foreign = "<B>bold</B><br/>line";
    window->Weekleaf()->Set(TodayKey(), foreign);
    window->Weekleaf()->SaveJSON();
    ShowReady();
    Pump(2500);
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "<b>bold</b><br>line");
    EXPECT_EQ(sync->Count("SET_DAY"), 0);
    EXPECT_EQ(TWeekleaf(DataJson()).Get(TodayKey()), foreign);
}

TEST_F(MainWindowTest, HeaderButtonsLookPressedWhileHeldAndCloseHidesToTheTray) {
    Prepare();
    Create();
    window->show();
    THeaderButton* close = window->imgClose;
    const QPoint home = close->pos();
    const QPointF inside(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, inside, close->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(close, &press);
    EXPECT_EQ(close->pos(), home + QPoint(1, 1));
    QMouseEvent release(QEvent::MouseButtonRelease, inside, close->mapToGlobal(inside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(close, &release);
    EXPECT_EQ(close->pos(), home);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TrayIcon->isVisible());
}

TEST(SessionWatchTest, SigtermAndTheSleepSignalReachTheMainThreadOnce) {
    int ends = 0, suspends = 0, resumes = 0;
    TSessionWatch watch({[&] { ++ends; }, [&] { ++suspends; }, [&] { ++resumes; }});
    ::raise(SIGTERM);
    ::raise(SIGTERM);  // a second request while the first is handled runs nothing again
    EXPECT_TRUE(WaitFor([&] { return ends > 0; }, 3000));
    Pump(100);
    EXPECT_EQ(ends, 1);
    watch.PrepareForSleep(true);
    watch.PrepareForSleep(false);
    EXPECT_EQ(suspends, 1);
    EXPECT_EQ(resumes, 1);
}

TEST_F(MainWindowTest, SearchSendsGetSearchAndFindsLocallyAlsoOffline) {
    Prepare();
    {
        TWeekleaf store(DataJson());
        store.Set("05.01.2021", "<p>Важная <b>встреча</b></p>");
        store.SaveJSON();
    }
    Create();
    ShowReady();
    auto enter = [&](const QString& text) {
        window->pLeft->Search->setText(text);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(window->pLeft->Search, &press);
    };
    enter("ВСТРЕЧА");
    ASSERT_EQ(window->pLeft->lbSearch->count(), 1);
    EXPECT_EQ(window->pLeft->lbSearch->item(0)->text(), "05.01.2021: важная встреча");
    EXPECT_EQ(sync->Count("GET_SEARCH ВСТРЕЧА"), 1);

    sync->up = false;
    sync->canReconnect = false;
    window->pLeft->btCloseSearch->click();
    enter("важная");
    EXPECT_EQ(window->pLeft->lbSearch->count(), 1);
    EXPECT_EQ(sync->Count("GET_SEARCH важная"), 0);

    // The service answers a search with its copies of the matching days, which replace the stored
    // ones: an edit it has not seen yet goes out before the search, so its answer carries it.
    FocusEnd(*window->frMain->WebBrowser);
    TypeText(*window->frMain->WebBrowser, "офлайн");
    ASSERT_TRUE(WaitFor([&] { return window->Unposted().Days() == 1; }, 4000));
    sync->up = true;  // no tick runs between this and the search
    enter("офлайн");
    const auto search = std::find(sync->sent.begin(), sync->sent.end(), "GET_SEARCH офлайн");
    ASSERT_NE(search, sync->sent.end());
    const std::string setDay = "SET_DAY " + TodayKey() + " ";
    EXPECT_TRUE(
        std::any_of(sync->sent.begin(), search, [&](const std::string& s) { return s.starts_with(setDay); }));
}

// The options page closed with OK: blocks switched off put WppOld.bmp back and nothing is drawn
// after it; the transparency switched over puts WppOld.bmp back and the next drawing uses the new
// alpha.
TEST_F(MainWindowTest, OptionsOkActsOnTheDesktopAndTheDrawing) {
    Prepare();
    SaveBmp24(Image(64, 48, 0x336699), Folder() / "Wpp" / "own.bmp");
    SaveBmp24(Image(64, 48, 0x996633), Folder() / "WppOld.bmp");
    TSettings(Folder() / "Config.ini").SetShowBloks(true);
    TSettings(Folder() / "Config.ini").SetALPHABLEND_VALUE(255);
    Create();
    ShowReady();
    window->frMain->btSettings->click();
    ASSERT_TRUE(window->frOptions->isVisible());
    EXPECT_EQ(window->frSettings->Selected(), 1);

    window->frOptions->cbAlphaBlend->setChecked(true);
    window->frOptions->btClose->click();
    EXPECT_TRUE(window->frMain->isVisible());
    EXPECT_FALSE(window->frOptions->isVisible());
    EXPECT_FALSE(window->frSettings->isVisible());
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "WppOld.bmp");
    EXPECT_EQ(BlockAlpha, 125);
    window->tCheckDataTimer();
    ASSERT_TRUE(WaitFor([&] { return window->DrawIdle(); }, 20000));
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "Weekleaf-Modifed.bmp");

    window->frMain->btSettings->click();
    window->frOptions->cbShowBloks->setChecked(false);
    window->frOptions->btClose->click();
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "WppOld.bmp");
    EXPECT_FALSE(BlocksVisible);
    const int runs = window->DrawRuns();
    window->tCheckDataTimer();
    window->tCheckDataTimer();
    EXPECT_EQ(window->DrawRuns(), runs);
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "WppOld.bmp");
}

TEST_F(MainWindowTest, ChoosingTheOptionsAgainDiscardsWhatWasNotSaved) {
    Prepare();
    Create();
    ShowReady();
    window->frMain->btSettings->click();
    const bool stored = window->frOptions->cbWppRandom->isChecked();
    window->frOptions->cbWppRandom->setChecked(!stored);
    window->frSettings->btOptClick();
    EXPECT_EQ(window->frOptions->cbWppRandom->isChecked(), stored);
}

TEST_F(MainWindowTest, HotKeysRunTheShowOperationsAndTheEditorKeyOpensAndEndsTheDesktopEditing) {
    Prepare();
    Create();
    ShowReady();
    const bool blocks = TSettings(Folder() / "Config.ini").ShowBloks();
    window->hot_key(3);
    EXPECT_EQ(TSettings(Folder() / "Config.ini").ShowBloks(), !blocks);
    window->hot_key(3);
    EXPECT_EQ(TSettings(Folder() / "Config.ini").ShowBloks(), blocks);

    // Ctrl+6: the bar and the overlay instead of the main window, the drawing every second.
    window->hot_key(4);
    ASSERT_NE(window->fmBar->Editor(), nullptr);
    EXPECT_TRUE(window->fmBar->isVisible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->tCheckData.interval(), 1000);
    TfmEditor* editor = window->fmBar->Editor();
    ASSERT_TRUE(WaitFor([&] { return editor->IsStarted() && editor->isVisible(); }));

    // An edit in Tuesday's block is stored and sent once, under Tuesday.
    const std::string tuesday = DayKey(editor->BlockEditors[2]->Date);
    editor->BlockEditors[2]->WebBrowser->SetBodyHtml("<p>со стола</p>");
    editor->BlockEditors[2]->WebBrowser->WaitIdle();
    editor->TimerTimer();
    ASSERT_TRUE(WaitFor([&] { return sync->Count("SET_DAY " + tuesday) == 1; }, 5000));
    EXPECT_EQ(sync->Count("SET_DAY"), 1);
    EXPECT_EQ(TWeekleaf(DataJson()).Get(tuesday), "<p>со стола</p>");

    // Ctrl+0 from a later week: the main window with the day page, bar and overlay gone.
    window->fmBar->pNextClick();
    EXPECT_EQ(WeekOffsetDays.load(), 7);
    window->hot_key(0);
    EXPECT_EQ(window->fmBar->Editor(), nullptr);
    EXPECT_FALSE(window->fmBar->isVisible());
    EXPECT_EQ(WeekOffsetDays.load(), 0);
    EXPECT_EQ(window->tCheckData.interval(), 3000);
    EXPECT_TRUE(window->isVisible());

    // Ctrl+6 twice: open, then closed again without the main window coming up.
    window->hot_key(4);
    ASSERT_NE(window->fmBar->Editor(), nullptr);
    window->hot_key(4);
    EXPECT_EQ(window->fmBar->Editor(), nullptr);
    EXPECT_FALSE(window->fmBar->isVisible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->tCheckData.interval(), 3000);

    // Identifiers outside 0..4 do nothing.
    window->hot_key(5);
    window->hot_key(-1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->fmBar->Editor(), nullptr);
}

// A hot key or the tray's double click opens the window for writing: the editor of the page on
// show takes the keys, the caret after its text, even when the search box had them before.
TEST_F(MainWindowTest, AShowOperationGivesThePagesEditorTheKeysWithTheCaretAtTheEnd) {
    Prepare();
    {
        TWeekleaf store(DataJson());
        store.Set(TodayKey(), "<p>утро</p>");
        store.Set("note", "<p>заметка</p>");
        store.Set("template", "<p>шаблон</p>");
        store.SaveJSON();
    }
    Create();
    ShowReady();
    struct Case {
        const char* name;
        std::function<void()> show;
        std::function<TWebBrowser*()> editor;
        const char* typed;  // the page's text with "xy" typed
    };
    const Case cases[] = {
        {"Ctrl+0", [&] { window->hot_key(0); }, [&] { return window->frMain->WebBrowser; }, "<p>утроxy</p>"},
        {"Ctrl+9", [&] { window->hot_key(1); }, [&] { return window->frNote->WebBrowser; },
         "<p>заметкаxy</p>"},
        {"tray double click on the notes page", [&] { window->N1Click(); },
         [&] { return window->frNote->WebBrowser; }, "<p>заметкаxyxy</p>"},
        {"Ctrl+8", [&] { window->hot_key(2); }, [&] { return window->frTemplate->WebBrowser; },
         "<p>шаблонxy</p>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The user searched, then put the window away.
        window->pLeft->Search->setFocus();
        ASSERT_EQ(window->focusWidget(), window->pLeft->Search);
        window->hide();
        c.show();
        // The window's own focus: which of its widgets the keys reach once it is active.
        TWebBrowser* editor = c.editor();
        ASSERT_TRUE(WaitFor([&] { return window->focusWidget() == KeyTarget(*editor); }))
            << (window->focusWidget() ? window->focusWidget()->metaObject()->className() : "none");
        editor->WaitIdle();
        for (const char* key : {"x", "y"}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X + (key[0] - 'x'), Qt::NoModifier, key);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_X + (key[0] - 'x'), Qt::NoModifier, key);
            QApplication::sendEvent(window->focusWidget(), &press);
            QApplication::sendEvent(window->focusWidget(), &release);
        }
        EXPECT_TRUE(WaitFor([&] { return editor->WaitBodyHtml() == c.typed; }, 3000))
            << editor->WaitBodyHtml().toStdString();
        EXPECT_EQ(window->pLeft->Search->text(), "");
    }
}

// The periodic restart never takes the window from under the user: while a window of the program
// is active, or a key was pressed within the quiet spell, it waits; then it goes, once.
TEST_F(MainWindowTest, ThePeriodicRestartWaitsUntilNoWindowIsActiveAndNoKeyWasPressedForAWhile) {
    Prepare();
    Create();
    ShowReady();
    int restarts = 0;
    window->hooks.Restart = [&] {
        ++restarts;
        window->tRestart.stop();
    };
    window->RestartQuietMs = 2500;
    window->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == window.get(); }));
    window->tRestart.start(50);
    Pump(1500);
    EXPECT_EQ(restarts, 0) << "restarted under the user's hands";

    // A key, then the window goes to the tray: the quiet spell counts from the key.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(KeyTarget(*window->frMain->WebBrowser), &press);
    window->hide();
    ASSERT_TRUE(WaitFor([] { return QApplication::activeWindow() == nullptr; }));
    Pump(1500);
    EXPECT_EQ(restarts, 0) << "restarted a moment after typing";
    EXPECT_TRUE(WaitFor([&] { return restarts > 0; }, 5000));
    Pump(1200);
    EXPECT_EQ(restarts, 1);
}

TEST_F(MainWindowTest, AfterTheOverlayTheDayPageShowsTheStoredDayOnce) {
    Prepare();
    Create();
    window->Weekleaf()->Set(TodayKey(), "<p>утро</p>");
    ShowReady();
    ASSERT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "<p>утро</p>");
    FocusEnd(*window->frMain->WebBrowser);  // the caret stays in the day page meanwhile
    window->hot_key(4);
    TfmEditor* editor = window->fmBar->Editor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(WaitFor([&] { return editor->IsStarted(); }));
    TWebBrowser* today = editor->BlockEditors[QDate::currentDate().dayOfWeek()]->WebBrowser;
    ASSERT_EQ(today->WaitBodyHtml(), "<p>утро</p>");
    today->SetBodyHtml("<p>утро</p><p>вечер</p>");
    today->WaitIdle();
    window->hot_key(4);  // ends the editing: the last edit is stored
    window->hot_key(0);
    EXPECT_TRUE(WaitFor(
        [&] { return window->frMain->WebBrowser->WaitBodyHtml() == "<p>утро</p><p>вечер</p>"; }, 5000))
        << window->frMain->WebBrowser->WaitBodyHtml().toStdString();
    Pump(1500);  // a tick later the page still holds the day once, and nothing was posted back
    EXPECT_EQ(window->frMain->WebBrowser->WaitBodyHtml(), "<p>утро</p><p>вечер</p>");
    EXPECT_EQ(sync->Count("SET_DAY " + TodayKey()), 1);
}

}  // namespace
}  // namespace wl::test
