// Two monitors, the primary one right of the other (Qt's offscreen platform with the screens of
// two-monitors.json, which it orders by name: "a-primary" comes first and is the primary one):
// the overlay and the navigation bar sit on the primary monitor, where the week is drawn.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <filesystem>
#include <vector>

#include "UiTestSupport.h"
#include "platform/QtScreens.h"
#include "ui/TfmBar.h"
#include "ui/TfmBlockEditor.h"
#include "ui/TfmEditor.h"
#include "ui/TfmWeekScreen.h"

namespace wl {
namespace {

using test::WaitFor;

TEST(PrimaryMonitorTest, TheOverlayAndTheBarSitOnThePrimaryMonitor) {
    ASSERT_EQ(QGuiApplication::screens().size(), 2) << "the offscreen platform did not take the two monitors";
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(primary, QRect(1280, 0, 1920, 1080));

    TfmEditor editor(primary.size(), TEditorLinks{});
    EXPECT_EQ(editor.geometry(), TfmEditor::Geometry(primary.size()).translated(primary.topLeft()));
    EXPECT_TRUE(primary.contains(editor.geometry()));

    TfmBar bar{TBarLinks{}};
    bar.show();
    ASSERT_TRUE(WaitFor([&] { return bar.isVisible(); }));
    EXPECT_EQ(bar.pos(), primary.topLeft() + TfmBar::Place(primary.size()));
    EXPECT_TRUE(primary.contains(bar.geometry()));
}

QRect OnDesktop(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint()), w->size());
}

// Where windows cannot be placed, the overlay is the whole primary monitor, and the block editors
// and the bar inside it are where the separate windows put them.
TEST(PrimaryMonitorTest, TheFullScreenOverlayHoldsTheBlocksAndTheBarWhereTheWindowsWouldBe) {
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    TfmEditor windows(primary.size(), TEditorLinks{});
    TEditorLinks links;
    links.FullScreen = true;
    auto* full = new TfmEditor(primary.size(), links);
    EXPECT_EQ(full->geometry(), primary);
    EXPECT_TRUE(full->mask().isEmpty()) << "the drawn week around the blocks is part of the window";
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(OnDesktop(full->BlockEditors[i]), OnDesktop(windows.BlockEditors[i])) << "block " << i;

    // Moving the bar in and out is no showing or hiding: the other windows are put away once, when
    // the bar shows, and come back once, when the editing ends.
    int collapsed = 0, restored = 0;
    TBarLinks barLinks;
    barLinks.MakeEditor = [full] { return full; };
    barLinks.CollapseAllWindow = [&] { ++collapsed; };
    barLinks.RestoreCollapsed = [&] { ++restored; };
    TfmBar bar{barLinks};
    bar.show();
    ASSERT_TRUE(WaitFor([&] { return bar.isVisible(); }));
    const QRect alone = OnDesktop(&bar);
    bar.pEditorClick();  // open
    EXPECT_EQ(bar.parentWidget(), full);
    EXPECT_FALSE(bar.isHidden());
    EXPECT_EQ(OnDesktop(&bar), alone);
    EXPECT_EQ(restored, 0);
    const int collapsedOpen = collapsed;
    bar.pEditorClick();  // end: the bar is a window of its own again, still shown
    EXPECT_TRUE(bar.isWindow());
    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.pos(), alone.topLeft());
    EXPECT_EQ(collapsed, collapsedOpen);
    EXPECT_EQ(restored, 1);
}

// The week may be drawn on a monitor other than Qt's primary one: its screen is found by the name
// the window system gives it, and an unknown name falls back to the primary one.
TEST(PrimaryMonitorTest, AMonitorIsFoundByItsName) {
    QScreen* primary = QGuiApplication::primaryScreen();
    const struct {
        const char* name;
        QString want;
    } cases[] = {
        {"b-left", "b-left"}, {"a-primary", "a-primary"}, {"", primary->name()}, {"HDMI-9", primary->name()}};
    for (const auto& c : cases) {
        QScreen* found = ScreenNamed(c.name);
        ASSERT_NE(found, nullptr) << c.name;
        EXPECT_EQ(found->name(), c.want) << c.name;
    }
}

QRgb PictureAt(QWidget* w, QPoint p) {
    return w->grab().toImage().pixel(p) & 0xFFFFFF;
}

// Where windows cannot be placed, the bar shown alone sits in a full-screen window of the drawn
// week on the week's monitor (here not the primary one), which follows each new drawing; opening
// the editor hands the bar over once the editor covers the monitor, ending the editing with the
// bar left open puts it back into a week screen, and closing the bar closes that.
TEST(PrimaryMonitorTest, TheBarAloneSitsInAFullScreenDrawnWeekOnTheWeeksMonitor) {
    namespace fs = std::filesystem;
    QScreen* left = ScreenNamed("b-left");
    const QRect monitor = left->geometry();
    const fs::path picture =
        fs::temp_directory_path() / ("wl-week-screen-" + std::to_string(::getpid()) + ".bmp");
    const auto draw = [&](QRgb colour) {
        QImage week(64, 40, QImage::Format_RGB32);
        week.fill(colour);
        ASSERT_TRUE(week.save(QString::fromStdString(picture.string()), "BMP"));
    };
    draw(0x2a6fb0);
    const QString drawn = QString::fromStdString(picture.string());
    std::vector<QPointer<TfmWeekScreen>> made;
    TBarLinks links;
    links.MakeWeekScreen = [&] {
        made.emplace_back(new TfmWeekScreen(left, drawn));
        return made.back().data();
    };
    links.MakeEditor = [&] {
        TEditorLinks editor;
        editor.FullScreen = true;
        editor.Monitor = left;
        editor.DrawnWeek = drawn;
        return new TfmEditor(monitor.size(), editor);
    };
    TfmBar bar{links};
    bar.show();
    ASSERT_EQ(made.size(), 1u);
    QPointer<TfmWeekScreen> week = made[0];
    ASSERT_TRUE(WaitFor([&] { return week->isVisible(); }));
    EXPECT_EQ(bar.parentWidget(), week);
    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(week->geometry(), monitor);
    EXPECT_EQ(bar.pos(), TfmBar::Place(monitor.size()));
    EXPECT_EQ(PictureAt(week, {20, 20}), 0x2a6fb0u);

    // A week step redraws the picture; the next drawing's end shows it.
    draw(0xc04020);
    fs::last_write_time(picture, fs::last_write_time(picture) + std::chrono::seconds(2));
    bar.WeekDrawn();
    EXPECT_EQ(PictureAt(week, {20, 20}), 0xc04020u);

    bar.pEditorClick();  // open
    TfmEditor* editor = bar.Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(bar.parentWidget(), editor);
    EXPECT_EQ(editor->geometry(), monitor);
    ASSERT_TRUE(WaitFor([&] { return editor->isVisible() && week.isNull(); }))
        << "the week screen did not give way to the editor";

    bar.pEditorClick();  // end, the bar stays
    ASSERT_EQ(made.size(), 2u);
    QPointer<TfmWeekScreen> after = made[1];
    EXPECT_EQ(bar.parentWidget(), after);
    EXPECT_TRUE(after->isVisible());
    EXPECT_TRUE(bar.isVisible());

    bar.hide();  // closing the bar closes its week screen
    EXPECT_TRUE(bar.isWindow());
    ASSERT_FALSE(after.isNull());
    EXPECT_TRUE(after->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(after.isNull()) << "the week screen is kept";

    // The week screen closed from outside takes the bar with it; the bar shows again afterwards.
    bar.show();
    ASSERT_EQ(made.size(), 3u);
    QPointer<TfmWeekScreen> closed = made[2];
    ASSERT_TRUE(WaitFor([&] { return closed->isVisible(); }));
    closed->close();
    EXPECT_TRUE(bar.isHidden());
    EXPECT_TRUE(bar.isWindow());
    bar.show();
    ASSERT_EQ(made.size(), 4u);
    EXPECT_TRUE(WaitFor([&] { return bar.isVisible() && made[3]->isVisible(); }));
    fs::remove(picture);
}

}  // namespace
}  // namespace wl
