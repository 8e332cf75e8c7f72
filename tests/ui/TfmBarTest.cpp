// The navigation bar, offscreen: placement, stepping the shown week, and opening and ending the
// overlay, with recorders for everything it asks of the rest of the program.
#include "ui/TfmBar.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QLabel>
#include <QMouseEvent>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/TfmBlockEditor.h"
#include "ui/TfmEditor.h"
#include "ui/TfrMain.h"
#include "wallpaper/Blender.h"

namespace wl {
namespace {

using test::WaitFor;

class TfmBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WeekOffsetDays.store(0);
        TBarLinks l;
        l.MakeEditor = [this]() -> TfmEditor* {
            TEditorLinks e;
            e.SendDay = [this](const QDate& d, const std::string& html) {
                calls.push_back("SetDay " + DayKey(d) + " " + html);
            };
            auto* editor = new TfmEditor(QSize(1920, 1080), std::move(e));
            ++editorsMade;
            return editor;
        };
        l.CollapseAllWindow = [this] { calls.push_back("Collapse"); };
        l.RestoreCollapsed = [this] { calls.push_back("Restore"); };
        l.GetDaysRange = [this](const QDate& a, const QDate& b) {
            calls.push_back("GetDaysRange " + DayKey(a) + " " + DayKey(b));
        };
        l.SetCheckInterval = [this](int ms) { calls.push_back("Check " + std::to_string(ms)); };
        l.ShowMainWindow = [this] { calls.push_back("ShowMain"); };
        l.CloseMainWindow = [this] { calls.push_back("CloseMain"); };
        l.EditorClosed = [this] { calls.push_back("EditorClosed"); };
        l.Today = [] { return QDate(2021, 1, 6); };  // a Wednesday
        bar = std::make_unique<TfmBar>(std::move(l));
    }
    void TearDown() override {
        bar.reset();
        WeekOffsetDays.store(0);
    }
    QString Caption() const { return bar->EditorCaption()->text(); }
    void OpenEditor() {
        bar->pEditorClick();
        ASSERT_NE(bar->Editor(), nullptr);
        ASSERT_TRUE(WaitFor([&] { return bar->Editor()->IsStarted(); }));
    }

    std::unique_ptr<TfmBar> bar;
    std::vector<std::string> calls;
    int editorsMade = 0;
};

TEST_F(TfmBarTest, SitsAtTheBottomCentreWithHalvesRoundedToEven) {
    struct Case {
        QSize screen;
        QPoint at;
    };
    const Case cases[] = {
        {{1920, 1080}, {702, 940}}, {{1366, 768}, {425, 628}},  // 850 / 2
        {{1367, 768}, {426, 628}},                              // 425.5 goes to the even 426
        {{1365, 768}, {424, 628}},                              // 424.5 goes to the even 424
        {{1280, 1024}, {382, 884}},
    };
    for (const Case& c : cases) EXPECT_EQ(TfmBar::Place(c.screen), c.at) << c.screen.width();
    EXPECT_EQ(bar->size(), QSize(516, 90));
    EXPECT_EQ(bar->windowTitle(), "Weekleaf Bar");
    EXPECT_TRUE(bar->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const int lefts[5] = {0, 104, 208, 312, 417};
    TBarPanel* panels[5] = {bar->pPrevios, bar->pCurrent, bar->pNext, bar->pEditor, bar->pHome};
    QRegion shape;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(panels[i]->geometry(), QRect(lefts[i], 0, 88, 88));
        shape += panels[i]->geometry();
    }
    EXPECT_EQ(bar->mask(), shape);
}

TEST_F(TfmBarTest, ShowingTheBarPutsTheOtherWindowsAway) {
    bar->show();
    EXPECT_EQ(calls, std::vector<std::string>{"Collapse"});
}

TEST_F(TfmBarTest, WeeksStepByMondayToSundayAndTheCurrentWeekReturns) {
    bar->pNextClick();
    EXPECT_EQ(WeekOffsetDays.load(), 7);
    bar->pPreviosClick();
    bar->pPreviosClick();
    EXPECT_EQ(WeekOffsetDays.load(), -7);
    EXPECT_EQ(calls, (std::vector<std::string>{"GetDaysRange 11.01.2021 17.01.2021",
                                               "GetDaysRange 04.01.2021 10.01.2021",
                                               "GetDaysRange 28.12.2020 03.01.2021"}));
    calls.clear();
    bar->pCurrentClick();
    EXPECT_EQ(WeekOffsetDays.load(), 0);
    EXPECT_TRUE(calls.empty());  // no request for the current week
}

TEST_F(TfmBarTest, TheEditorButtonOpensAndEndsTheOverlay) {
    OpenEditor();
    EXPECT_EQ(Caption(), "Завершить");
    EXPECT_TRUE(bar->Editor()->isVisible());
    EXPECT_EQ(calls, std::vector<std::string>{"Collapse"});
    bar->pEditorClick();
    EXPECT_EQ(bar->Editor(), nullptr);
    EXPECT_EQ(Caption(), "Редактировать");
    // The last edits are saved, then the windows put away come back.
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "EditorClosed");
    EXPECT_EQ(calls.back(), "Restore");
    OpenEditor();  // a new overlay for every opening
    EXPECT_EQ(editorsMade, 2);
}

TEST_F(TfmBarTest, CurrentWeekAtTheCurrentWeekLeavesAnOpenOverlayAlone) {
    OpenEditor();
    TfmEditor* open = bar->Editor();
    bar->pCurrentClick();
    EXPECT_EQ(bar->Editor(), open);
    EXPECT_EQ(Caption(), "Завершить");
}

TEST_F(TfmBarTest, ChangingTheWeekEndsTheOverlayAfterItsLastEdit) {
    OpenEditor();
    TWebBrowser* monday = bar->Editor()->BlockEditors[1]->WebBrowser;
    monday->SetBodyHtml("<p>понедельник</p>");
    monday->WaitIdle();
    const std::string key = DayKey(bar->Editor()->BlockEditors[1]->Date);
    bar->pNextClick();
    EXPECT_EQ(bar->Editor(), nullptr);
    EXPECT_EQ(Caption(), "Редактировать");
    // Saved under the day it was typed into, before the week moved on.
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1], "SetDay " + key + " <p>понедельник</p>");
    EXPECT_EQ(calls[2], "EditorClosed");
    // The desktop stays clear for the new week: nothing comes back.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Restore"), 0);
}

TEST_F(TfmBarTest, WaysBackEndTheOverlayAndReturnToTheCurrentWeek) {
    struct Case {
        const char* name;
        std::function<void(TfmBar&)> act;
        std::vector<std::string> tail;  // what follows the overlay's end
    };
    const Case cases[] = {
        {"Home", [](TfmBar& b) { b.pHomeClick(); }, {"Check 3000", "Restore", "ShowMain"}},
        {"Esc in the bar", [](TfmBar& b) { b.FormKeyDown(); }, {"Check 3000", "Restore", "CloseMain"}},
        {"Esc in the overlay", [](TfmBar& b) { emit b.Editor()->EscPressed(); }, {"Restore", "Check 3000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bar->show();
        bar->pNextClick();
        OpenEditor();
        calls.clear();
        c.act(*bar);
        EXPECT_EQ(bar->Editor(), nullptr);
        EXPECT_FALSE(bar->isVisible());
        EXPECT_EQ(WeekOffsetDays.load(), 0);
        EXPECT_EQ(Caption(), "Редактировать");
        std::vector<std::string> want{"EditorClosed"};
        want.insert(want.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(calls, want);
    }
}

TEST_F(TfmBarTest, APanelLooksPressedWhileHeldAndActsOnRelease) {
    TBarPanel* next = bar->pNext;
    const QPoint home = next->pos();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), next->mapToGlobal(QPointF(10, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(next, &press);
    EXPECT_EQ(next->pos(), home + QPoint(1, 1));
    EXPECT_EQ(WeekOffsetDays.load(), 0);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 10), next->mapToGlobal(QPointF(10, 10)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(next, &release);
    EXPECT_EQ(next->pos(), home);
    EXPECT_EQ(WeekOffsetDays.load(), 7);
}

}  // namespace
}  // namespace wl
