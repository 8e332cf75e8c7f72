// Two monitors, the primary one right of the other (Qt's offscreen platform with the screens of
// two-monitors.json, which it orders by name: "a-primary" comes first and is the primary one):
// the overlay and the navigation bar sit on the primary monitor, where the week is drawn.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "UiTestSupport.h"
#include "ui/TfmBar.h"
#include "ui/TfmBlockEditor.h"
#include "ui/TfmEditor.h"

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

}  // namespace
}  // namespace wl
