#include "ui/TCalendarPanel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTextEdit>
#include <stdexcept>

#include "data/Json.h"
#include "ui/TImageButton.h"

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

// The panel searching a store of a few days, as a person types into the search box.
class PanelSearchTest : public TCalendarPanelTest {
  protected:
    void SetUp() override {
        TCalendarPanelTest::SetUp();
        doc = JsonValue::MakeObject();
        doc.Set("ver", JsonValue("HTML"));
        doc.Set("note", JsonValue("встреча в заметках"));
        doc.Set("template", JsonValue("встреча в шаблоне"));
        doc.Set("04.01.2021", JsonValue("<font color=\"#ff0000\">обед</font>"));
        doc.Set("05.01.2021", JsonValue("<p>Важная <b>встреча</b></p><p>в 10:00</p>"));
        store["05.01.2021"] = "<p>Важная <b>встреча</b></p><p>в 10:00</p>";
        panel->StoreDocument = [this] { return &doc; };
        panel->GetSearch = [this](const std::string& text) {
            if (offline) throw std::runtime_error("not connected");
            requests.push_back("GetSearch " + text);
        };
    }
    void Enter(const QString& text) {
        panel->Search->setText(text);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(panel->Search, &press);
    }
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < panel->lbSearch->count(); ++i) lines << panel->lbSearch->item(i)->text();
        return lines;
    }
    void ClickList(const QPoint& at) {
        QWidget* view = panel->lbSearch->viewport();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(view, &e);
        }
    }
    bool ShowsPreview() const {
        return !panel->mNote->isHidden() && panel->lbSearch->isHidden() && panel->btCloseSearch->isHidden() &&
               panel->lbTitle->text() == "Заметки";
    }
    JsonValue doc;
    bool offline = false;
};

TEST_F(PanelSearchTest, ACapitalQueryFindsTheWordInBoldAndShowsTheResults) {
    EXPECT_TRUE(ShowsPreview());
    Enter("ВСТРЕЧА");
    EXPECT_EQ(Lines(), QStringList{"05.01.2021: важная встреча в 10:00"});
    EXPECT_EQ(panel->lbTitle->text(), "Результат поиска");
    EXPECT_TRUE(panel->mNote->isHidden());
    EXPECT_FALSE(panel->lbSearch->isHidden());
    EXPECT_FALSE(panel->btCloseSearch->isHidden());
    EXPECT_EQ(Count("GetSearch ВСТРЕЧА"), 1u);
    test::Pump(100);
    EXPECT_TRUE(panel->grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/calendar-panel-search.png"));
}

TEST_F(PanelSearchTest, QueriesThatFindNothing) {
    for (const QString& query :
         {QString("ff0000"), QString("font"), QString("заметках"), QString("шаблоне"), QString("")}) {
        Enter(query);
        EXPECT_TRUE(Lines().isEmpty()) << query.toStdString();
        EXPECT_EQ(panel->lbTitle->text(), "Результат поиска");
        EXPECT_FALSE(panel->lbSearch->isHidden());
    }
    EXPECT_EQ(Count("GetSearch "), 5u);  // the empty query is sent too
}

TEST_F(PanelSearchTest, TheSearchButtonSearchesAsEnterDoes) {
    panel->Search->setText("обед");
    QAction* button = panel->Search->findChild<QAction*>("SearchButton");
    ASSERT_NE(button, nullptr);
    button->trigger();
    EXPECT_EQ(Lines(), QStringList{"04.01.2021: обед"});
}

TEST_F(PanelSearchTest, ResultsComeFromTheStoreWhenTheSendFails) {
    offline = true;
    Enter("важная");
    EXPECT_EQ(Lines(), QStringList{"05.01.2021: важная встреча в 10:00"});
}

TEST_F(PanelSearchTest, ClickingAResultOpensThatDayAndBelowTheLastLineNothing) {
    Enter("встреча");
    ASSERT_EQ(panel->lbSearch->count(), 1);
    const QRect row = panel->lbSearch->visualItemRect(panel->lbSearch->item(0));
    ClickList(QPoint(10, row.bottom() + 30));
    Editor().WaitIdle();
    EXPECT_EQ(dayPageShown, 0);
    EXPECT_NE(page->ShownDate(), QDate(2021, 1, 5));

    ClickList(row.center());
    Editor().WaitIdle();
    EXPECT_EQ(page->ShownDate(), QDate(2021, 1, 5));
    EXPECT_EQ(panel->Calendar->selectedDate(), QDate(2021, 1, 5));
    EXPECT_EQ(currentDate, QDate(2021, 1, 5));
    EXPECT_EQ(dayPageShown, 1);
    EXPECT_EQ(Html(), "<p>Важная <b>встреча</b></p><p>в 10:00</p>");
    EXPECT_EQ(Count("GetDay 05.01.2021"), 1u);
    // The results stay until closed.
    EXPECT_FALSE(panel->lbSearch->isHidden());
}

TEST_F(PanelSearchTest, TheCloseImageBringsThePreviewBackAndClearsTheBox) {
    Enter("обед");
    panel->btCloseSearch->click();
    EXPECT_TRUE(ShowsPreview());
    EXPECT_EQ(panel->Search->text(), "");
}

TEST_F(TCalendarPanelTest, Screenshot) {
    panel->SetNotePreview("Купить подарки\nПозвонить в банк");
    panel->ShowDate(QDate(2026, 12, 10));
    test::Pump(200);
    ASSERT_TRUE(panel->grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/calendar-panel.png"));
}

}  // namespace
}  // namespace wl
