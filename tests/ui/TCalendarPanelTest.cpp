#include "ui/TCalendarPanel.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextEdit>

#include "DayPageFixture.h"

namespace wl {
namespace {

// The panel drives a real day page; the page's calendar links point at the panel.
class TCalendarPanelTest : public test::DayPageFixture {
  protected:
    void SetUp() override {
        DayPageFixture::SetUp();
        panel = std::make_unique<TCalendarPanel>(page.get());
        panel->LinkDayPage();
        panel->mayByShowDay = [this] { ++dayPageShown; };
        panel->SetCurrentDate = [this](const QDate& d) { currentDate = d; };
        panel->show();
    }
    std::unique_ptr<TCalendarPanel> panel;
    int dayPageShown = 0;
    QDate currentDate;
};

TEST_F(TCalendarPanelTest, ChoosingADateShowsThatDay) {
    EXPECT_EQ(panel->Calendar->firstDayOfWeek(), Qt::Monday);
    store["14.02.2022"] = "<p>валентинка</p>";
    panel->Calendar->setSelectedDate(QDate(2022, 2, 14));
    Editor().WaitIdle();
    EXPECT_EQ(dayPageShown, 1);
    EXPECT_EQ(currentDate, QDate(2022, 2, 14));
    EXPECT_EQ(panel->CalendarLastDate, QDate(2022, 2, 14));
    EXPECT_EQ(page->ShownDate(), QDate(2022, 2, 14));
    EXPECT_EQ(Html(), "<p>валентинка</p>");
    EXPECT_EQ(Count("GetDay 14.02.2022"), 1u);
}

TEST_F(TCalendarPanelTest, ChoosingTheShownDateAgainReloadsIt) {
    panel->Calendar->setSelectedDate(QDate(2022, 2, 14));
    Editor().WaitIdle();
    store["14.02.2022"] = "<p>с сервера</p>";
    emit panel->Calendar->clicked(QDate(2022, 2, 14));  // a click on the date already chosen
    Editor().WaitIdle();
    EXPECT_EQ(Count("GetDay 14.02.2022"), 2u);
    EXPECT_EQ(Html(), "<p>с сервера</p>");
}

TEST_F(TCalendarPanelTest, TheDayPageMovesTheCalendarAlongWithoutReloadingTwice) {
    panel->Calendar->setSelectedDate(QDate(2022, 2, 14));
    Editor().WaitIdle();
    page->btNextMouseDown();
    Editor().WaitIdle();
    EXPECT_EQ(panel->Calendar->selectedDate(), QDate(2022, 2, 15));
    EXPECT_EQ(panel->CalendarLastDate, QDate(2022, 2, 15));
    EXPECT_EQ(currentDate, QDate(2022, 2, 15));
    EXPECT_EQ(Count("GetDay 14.02.2022"), 1u);
    EXPECT_EQ(Count("GetDay 15.02.2022"), 1u);
}

TEST_F(TCalendarPanelTest, AnErrorWhileShowingTheDayIsReportedWithItsClass) {
    panel->mayByShowDay = [] { throw std::runtime_error("страница недоступна"); };
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->accept();
    });
    panel->Calendar->setSelectedDate(QDate(2022, 3, 1));
    EXPECT_EQ(shown, "std::runtime_error\nстраница недоступна");
    EXPECT_EQ(panel->Calendar->selectedDate(), QDate(2022, 3, 1));
}

TEST_F(TCalendarPanelTest, TheNotesPreviewNeverTakesTheCaret) {
    panel->SetNotePreview("Список покупок");
    panel->activateWindow();
    QWidget* view = panel->mNote->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    EXPECT_FALSE(panel->mNote->hasFocus());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    QApplication::sendEvent(panel->mNote, &key);
    EXPECT_EQ(panel->mNote->toPlainText(), "Список покупок");
    EXPECT_EQ(panel->lbTitle->text(), "Заметки");
    EXPECT_EQ(panel->Search->placeholderText(), "Поиск");
}

TEST_F(TCalendarPanelTest, Screenshot) {
    panel->SetNotePreview("Купить подарки\nПозвонить в банк");
    panel->ShowDate(QDate(2026, 12, 10));
    test::Pump(200);
    ASSERT_TRUE(panel->grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/calendar-panel.png"));
}

}  // namespace
}  // namespace wl
