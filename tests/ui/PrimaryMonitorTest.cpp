// Two monitors, the primary one right of the other (Qt's offscreen platform with the screens of
// two-monitors.json, which it orders by name: "a-primary" comes first and is the primary one):
// the overlay and the navigation bar sit on the primary monitor, where the week is drawn.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "UiTestSupport.h"
#include "ui/TfmBar.h"
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

}  // namespace
}  // namespace wl
