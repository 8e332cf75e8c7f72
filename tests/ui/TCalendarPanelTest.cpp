#include "ui/TCalendarPanel.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextEdit>
#include <algorithm>
#include <set>
#include <stdexcept>

#include "data/Json.h"
#include "ui/TImageButton.h"
#include "ui/TMonthCalendar.h"
#include "ui/UiLook.h"

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

TEST_F(TCalendarPanelTest, MovingTheCalendarToAnotherMonthRenamesItsNavigationRow) {
    panel->ShowDate(QDate(2021, 1, 5));
    EXPECT_EQ(panel->pMonth->btMonth->text(), "Январь 2021");
    EXPECT_EQ(dayPageShown, 0);  // moved along, not loaded again
    EXPECT_EQ(Count("GetDay 05.01.2021"), 0u);
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

TEST_F(TCalendarPanelTest, TheNotesPreviewNeverTakesTheCaretAndAClickOpensTheNotes) {
    int notesOpened = 0;
    panel->ShowNotes = [&] { ++notesOpened; };
    panel->SetNotePreview("Список покупок");
    panel->activateWindow();
    QWidget* view = panel->mNote->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    EXPECT_FALSE(panel->mNote->hasFocus());
    EXPECT_EQ(notesOpened, 1);
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
    EXPECT_EQ(panel->lbTitle->text(), "Результат поиска (1)");
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
        EXPECT_EQ(Lines(), QStringList{"Ничего не найдено"}) << query.toStdString();
        EXPECT_EQ(panel->lbTitle->text(), "Результат поиска");
        EXPECT_FALSE(panel->lbSearch->isHidden());
        // The line is no result: it takes no highlight and opens nothing.
        ClickList(panel->lbSearch->visualItemRect(panel->lbSearch->item(0)).center());
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(panel->lbSearch, &enter);
        EXPECT_EQ(panel->lbSearch->selectedItems().size(), 0);
        EXPECT_EQ(dayPageShown, 0);
    }
    EXPECT_EQ(Count("GetSearch "), 5u);  // the empty query is sent too
}

TEST_F(PanelSearchTest, ResultsAreTheNewestDayFirstWithTheirCount) {
    doc.Set("06.01.2020", JsonValue("старая встреча"));
    doc.Set("07.01.2021", JsonValue("новая встреча"));
    Enter("встреча");
    EXPECT_EQ(Lines(), (QStringList{"07.01.2021: новая встреча", "05.01.2021: важная встреча в 10:00",
                                    "06.01.2020: старая встреча"}));
    EXPECT_EQ(panel->lbTitle->text(), "Результат поиска (3)");
}

// The keyboard in the result list: the arrows, Home and End move the highlight and leave the day
// page alone; Enter opens the highlighted day, as a click does.
TEST_F(PanelSearchTest, EnterOpensTheHighlightedResultAndMovingTheHighlightOpensNothing) {
    doc.Set("07.01.2021", JsonValue("новая встреча"));
    store["07.01.2021"] = "новая встреча";
    Enter("встреча");
    ASSERT_EQ(panel->lbSearch->count(), 2);
    panel->lbSearch->setFocus();
    test::Pump(50);  // the list lays its rows out
    auto press = [this](Qt::Key key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(panel->lbSearch, &e);
        Editor().WaitIdle();
    };
    const QDate before = page->ShownDate();
    struct Step {
        Qt::Key key;
        int row;          // highlighted afterwards
        QDate shownDate;  // the day page afterwards (invalid: as before the search)
    };
    const Step steps[] = {
        {Qt::Key_End, 1, {}},
        {Qt::Key_Up, 0, {}},
        {Qt::Key_Down, 1, {}},
        {Qt::Key_Return, 1, QDate(2021, 1, 5)},
        {Qt::Key_Home, 0, QDate(2021, 1, 5)},
        {Qt::Key_Enter, 0, QDate(2021, 1, 7)},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::Message() << "key " << step.key);
        press(step.key);
        EXPECT_EQ(panel->lbSearch->currentRow(), step.row);
        EXPECT_EQ(page->ShownDate(), step.shownDate.isValid() ? step.shownDate : before);
        if (step.shownDate.isValid()) {
            EXPECT_EQ(panel->Calendar->selectedDate(), step.shownDate);
        }
    }
    EXPECT_EQ(Html(), "новая встреча");
    EXPECT_EQ(dayPageShown, 2);
    EXPECT_FALSE(panel->lbSearch->isHidden());
}

// The service answers a search with the days it holds; as they land in the store the shown
// results are searched again, and the highlighted day stays highlighted.
TEST_F(PanelSearchTest, DaysArrivingInTheStoreRefreshTheShownResults) {
    Enter("встреча");
    panel->lbSearch->setCurrentRow(0);
    for (const char* key : {"01.01.2019", "08.01.2021"}) {
        doc.Set(key, JsonValue("встреча на другом устройстве"));
        panel->StoreDaysArrived();
    }
    EXPECT_EQ(panel->lbSearch->count(), 1);  // once the burst is in
    test::Pump(50);
    EXPECT_EQ(Lines(),
              (QStringList{"08.01.2021: встреча на другом устройстве", "05.01.2021: важная встреча в 10:00",
                           "01.01.2019: встреча на другом устройстве"}));
    EXPECT_EQ(panel->lbTitle->text(), "Результат поиска (3)");
    EXPECT_EQ(panel->lbSearch->currentRow(), 1);
    // Without results shown, arriving days change nothing.
    panel->btCloseSearch->click();
    panel->StoreDaysArrived();
    test::Pump(50);
    EXPECT_TRUE(ShowsPreview());
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

// The texts of the calendar's navigation row, left to right.
QString NavTitle(QWidget* calendarArea) {
    QList<QAbstractButton*> buttons;
    for (QAbstractButton* b : calendarArea->findChildren<QAbstractButton*>()) {
        if (b->isVisible() && !b->text().isEmpty()) buttons << b;
    }
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    QStringList texts;
    for (QAbstractButton* b : buttons) texts << b->text().remove('&');
    return texts.join(' ');
}

QWidget* Grid(QCalendarWidget* c) {
    return c->findChild<QAbstractItemView*>()->viewport();
}

// A colour on the way from the program's green to white (anti-aliased white on green).
bool GreenOrWhite(QColor c) {
    const QColor g = kGreen;
    const double t = std::clamp(double(c.greenF() - g.greenF()) / (1 - g.greenF()), 0.0, 1.0);
    auto at = [t](double from) { return from + t * (1 - from); };
    return std::abs(c.redF() - at(g.redF())) < 0.08 && std::abs(c.greenF() - at(g.greenF())) < 0.08 &&
           std::abs(c.blueF() - at(g.blueF())) < 0.08;
}

TEST_F(TCalendarPanelTest, TheMonthTitleIsCapitalisedAndTheArrowsAreDrawnInThePalette) {
    panel->ShowDate(QDate(2026, 12, 10));
    test::Pump(50);
    EXPECT_EQ(NavTitle(panel->pCalendar), "Декабрь 2026");
    // The navigation row between the caption and the grid: only the green and white of the program.
    const QPoint gridTop = Grid(panel->Calendar)->mapTo(panel->pCalendar, QPoint());
    const QImage row =
        panel->pCalendar->grab(QRect(0, 30, panel->pCalendar->width(), gridTop.y() - 30 - 24)).toImage();
    int foreign = 0;
    for (int y = 0; y < row.height(); ++y)
        for (int x = 0; x < row.width(); ++x) foreign += !GreenOrWhite(row.pixelColor(x, y));
    EXPECT_EQ(foreign, 0);
    panel->Calendar->showNextMonth();
    EXPECT_EQ(NavTitle(panel->pCalendar), "Январь 2027");
}

TEST_F(TCalendarPanelTest, TheMonthPopUpStaysInsideTheWindow) {
    panel->move(40, 60);
    panel->ShowDate(QDate(2026, 12, 10));
    test::Pump(50);
    QAbstractButton* title = nullptr;
    for (QAbstractButton* b : panel->pCalendar->findChildren<QAbstractButton*>())
        if (b->isVisible() && b->text().contains(QRegularExpression("[а-яА-Я]"))) title = b;
    ASSERT_NE(title, nullptr);
    QRect menuRect;
    QStringList items;
    auto look = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* menu = qobject_cast<QMenu*>(w);
            if (!menu || !menu->isVisible()) continue;
            menuRect = menu->geometry();
            for (QAction* a : menu->actions()) items << a->text();
            menu->close();
        }
    };
    QTimer::singleShot(300, look);  // a menu that blocks the click is looked at from inside it
    const QPointF mid(title->width() / 2.0, title->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, mid, title->mapToGlobal(mid), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, mid, title->mapToGlobal(mid), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(title, &press);
    QApplication::sendEvent(title, &release);
    test::Pump(400);
    ASSERT_FALSE(menuRect.isEmpty());
    EXPECT_TRUE(panel->window()->geometry().contains(menuRect))
        << menuRect.y() << "+" << menuRect.height() << " in " << panel->window()->geometry().y() << "+"
        << panel->window()->geometry().height();
    EXPECT_EQ(items.value(0), "Январь");
    EXPECT_EQ(items.value(11), "Декабрь");
}

bool Near(const QColor& c, const QColor& target) {
    return std::abs(c.red() - target.red()) < 40 && std::abs(c.green() - target.green()) < 40 &&
           std::abs(c.blue() - target.blue()) < 40;
}

// The cell of the selected day: where the white selection shows.
QRect SelectedCell(QCalendarWidget* calendar) {
    const QImage img = Grid(calendar)->grab().toImage();
    QRect cell;
    for (int y = 0; y + 6 < img.height(); ++y)
        for (int x = 0; x + 6 < img.width(); ++x)
            if (img.pixelColor(x, y) == Qt::white && img.pixelColor(x, y + 6) == Qt::white &&
                img.pixelColor(x + 6, y) == Qt::white)
                cell |= QRect(x, y, 7, 7);
    return cell;
}

TEST_F(TCalendarPanelTest, DaysWithAnEntryAreMarkedAndTodayKeepsItsRing) {
    const auto SelectedCell = [&] { return wl::SelectedCell(panel->Calendar); };
    const QDate today = QDate::currentDate();
    // Days of this month other than today (today's dot is drawn in green on its white selection).
    auto day = [&](int d) { return QDate(today.year(), today.month(), d == today.day() ? d + 1 : d); };
    std::set<QDate> entries{day(2), day(14)};
    panel->pMonth->HasEntry = [&](const QDate& d) { return entries.count(d) > 0; };
    panel->ShowDate(today);
    panel->pMonth->RefreshMarks();
    test::Pump(50);
    // Marks are dots in their own quiet colour; count the separate ones (8-connected pixel groups).
    auto dots = [&] {
        const QImage img = Grid(panel->Calendar)->grab().toImage();
        auto mark = [&](int x, int y) {
            if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return false;
            const QColor c = img.pixelColor(x, y);
            return Near(c, kEntryDot);
        };
        std::set<std::pair<int, int>> seen;
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                if (!mark(x, y) || seen.count({x, y})) continue;
                ++n;
                std::vector<std::pair<int, int>> todo{{x, y}};
                seen.insert({x, y});
                while (!todo.empty()) {
                    auto [px, py] = todo.back();
                    todo.pop_back();
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            if (mark(px + dx, py + dy) && seen.insert({px + dx, py + dy}).second)
                                todo.push_back({px + dx, py + dy});
                }
            }
        return n;
    };
    EXPECT_EQ(dots(), 2);
    entries.insert(day(22));
    panel->pMonth->RefreshMarks();
    test::Pump(50);
    EXPECT_EQ(dots(), 3);

    const QRect cell = SelectedCell();
    ASSERT_GT(cell.width(), 20);
    panel->ShowDate(today.day() > 1 ? today.addDays(-1) : today.addDays(1));
    test::Pump(50);
    const QImage other = Grid(panel->Calendar)->grab().toImage();
    // A ring: white along the cell's inner edge, left and right of the number.
    int ring = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x : {cell.left() + 2, cell.left() + 3, cell.left() + 4, cell.right() - 4, cell.right() - 3,
                      cell.right() - 2})
            ring += other.pixelColor(x, y).lightness() > 220;
    EXPECT_GT(ring, cell.height());
}

// A month of entries must not look like edits waiting to be sent (the header's mark uses the
// weekend colour), and today's dot keeps clear space to today's ring below it.
TEST_F(TCalendarPanelTest, EntryDotsHaveTheirOwnColourAndTodaysDotStaysClearOfItsRing) {
    const QDate today = QDate::currentDate();
    panel->pMonth->HasEntry = [&](const QDate& d) { return d.month() == today.month(); };
    panel->ShowDate(today);
    panel->pMonth->RefreshMarks();
    test::Pump(50);
    const QRect cell = SelectedCell(panel->Calendar);
    ASSERT_GT(cell.width(), 20);
    panel->ShowDate(today.day() > 1 ? today.addDays(-1) : today.addDays(1));
    test::Pump(50);
    const QImage grid = Grid(panel->Calendar)->grab().toImage();
    int waitingColour = 0, dotColour = 0;
    for (int y = 0; y < grid.height(); ++y)
        for (int x = 0; x < grid.width(); ++x) {
            waitingColour += Near(grid.pixelColor(x, y), kWeekend);
            dotColour += Near(grid.pixelColor(x, y), kEntryDot);
        }
    EXPECT_EQ(waitingColour, 0);
    EXPECT_GT(dotColour, 20);

    // Up today's centre column from the cell's bottom: the ring's stroke, then at least two rows of
    // plain green, then the dot.
    const int x = cell.center().x();
    auto white = [&](int y) {
        return grid.pixelColor(x, y).lightness() > 200 && !Near(grid.pixelColor(x, y), kEntryDot);
    };
    int y = cell.bottom();
    while (y > cell.top() && !white(y)) --y;
    const int ring = y;
    while (y > cell.top() && white(y)) --y;
    const int ringTop = y;
    while (y > cell.top() && !Near(grid.pixelColor(x, y), kEntryDot)) --y;
    const int dotBottom = y;
    EXPECT_GT(ring, cell.bottom() - 4);
    EXPECT_GT(dotBottom, cell.top() + cell.height() / 2);
    EXPECT_GE(ringTop - dotBottom, 2) << "ring at " << ring << ", dot ends at " << dotBottom;
    for (int gap = dotBottom + 1; gap <= ringTop; ++gap)
        EXPECT_TRUE(Near(grid.pixelColor(x, gap), kGreen)) << gap;
}

// The month pop-up is a plain pick list (no check boxes; the shown month in bold) that also
// reaches any of the ten years either side in one step.
TEST_F(TCalendarPanelTest, TheMonthMenuIsAPlainChoiceAndReachesOtherYears) {
    panel->ShowDate(QDate(2026, 12, 10));
    test::Pump(50);
    panel->pMonth->ShowMonthMenu();
    QMenu* menu = panel->pMonth->MonthMenu;
    QStringList bold;
    QMenu* years = nullptr;
    for (QAction* a : menu->actions()) {
        EXPECT_FALSE(a->isCheckable()) << a->text().toStdString();
        if (a->font().bold()) bold << a->text();
        if (a->menu()) years = a->menu();
    }
    EXPECT_EQ(bold, QStringList{"Декабрь"});
    ASSERT_NE(years, nullptr);
    QStringList yearTexts;
    for (QAction* a : years->actions()) {
        EXPECT_FALSE(a->isCheckable());
        yearTexts << a->text();
    }
    EXPECT_EQ(yearTexts.front(), "2016");
    EXPECT_EQ(yearTexts.back(), "2036");
    menu->close();

    struct Case {
        QString year;
        int shownYear;
    };
    for (const Case& c : {Case{"2031", 2031}, Case{"2024", 2024}}) {
        panel->pMonth->ShowMonthMenu();
        for (QAction* a : menu->actions())
            if (a->menu())
                for (QAction* y : a->menu()->actions())
                    if (y->text() == c.year) y->trigger();
        menu->close();
        EXPECT_EQ(panel->Calendar->yearShown(), c.shownYear);
        EXPECT_EQ(panel->Calendar->monthShown(), 12);
    }
}

TEST_F(TCalendarPanelTest, Screenshot) {
    panel->SetNotePreview("Купить подарки\nПозвонить в банк");
    panel->ShowDate(QDate(2026, 12, 10));
    test::Pump(200);
    ASSERT_TRUE(panel->grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/calendar-panel.png"));
}

}  // namespace
}  // namespace wl
