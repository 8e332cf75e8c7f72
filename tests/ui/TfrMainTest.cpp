#include "ui/TfrMain.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>

#include "DayPageFixture.h"
#include "ui/TImageButton.h"

namespace wl {
namespace {

using test::DayPageFixture;

class TfrMainTest : public DayPageFixture {};

QColor TextColor(const QLabel* l) {
    return l->palette().color(QPalette::WindowText);
}

TEST_F(TfrMainTest, NextDayOnNewYearsEveShowsTheNewWeekWithFridayHighlighted) {
    store["01.01.2021"] = "<p>Новый год</p>";
    store["31.12.2020"] = "<p>Канун</p>";
    Show(QDate(2020, 12, 31));
    EXPECT_EQ(Html(), "<p>Канун</p>");
    page->btNextMouseDown();
    Editor().WaitIdle();

    EXPECT_EQ(calendar, QDate(2021, 1, 1));
    EXPECT_EQ(page->ShownDate(), QDate(2021, 1, 1));
    EXPECT_EQ(Html(), "<p>Новый год</p>");
    EXPECT_EQ(DayPostedText, "<p>Новый год</p>");
    EXPECT_EQ(DayUndoText, "<p>Новый год</p>");
    EXPECT_FALSE(DayChanged);
    EXPECT_EQ(Count("GetDay 01.01.2021"), 1u);

    const char* expected[7] = {"28.12", "29.12", "30.12", "31.12", "01.01", "02.01", "03.01"};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(page->DateLabels[i]->text(), expected[i]);
        const QColor want = i == 4 ? Qt::white : Qt::black;
        EXPECT_EQ(TextColor(page->DateLabels[i]), want);
        EXPECT_EQ(TextColor(page->DayLabels[i]), want);
    }
    EXPECT_EQ(page->dayLumin->x(), page->DateLabels[4]->x() - 17);

    page->btForwardMouseDown();
    Editor().WaitIdle();
    EXPECT_EQ(page->ShownDate(), QDate(2020, 12, 31));
    EXPECT_EQ(page->dayLumin->x(), page->DateLabels[3]->x() - 17);
}

TEST_F(TfrMainTest, ADayWithoutEntryShowsAnEmptyEditor) {
    store["10.03.2021"] = "<p>x</p>";
    Show(QDate(2021, 3, 10));
    Show(QDate(2021, 3, 11));
    EXPECT_EQ(Html(), "");
    EXPECT_EQ(DayPostedText, "");
    EXPECT_EQ(DayUndoText, "");
}

TEST_F(TfrMainTest, AHeaderLabelShowsThatDayOfTheWeekOnShow) {
    Show(QDate(2020, 12, 31));
    QLabel* sunday = page->DayLabels[6];
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), sunday->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sunday, &press);
    Editor().WaitIdle();
    EXPECT_EQ(page->ShownDate(), QDate(2021, 1, 3));  // the week's own year, not the calendar's
    EXPECT_EQ(calendar, QDate(2021, 1, 3));
}

TEST_F(TfrMainTest, TypingAndFormattingThroughTheMenu) {
    store["05.05.2021"] = "<p>Привет мир</p>";
    Show(QDate(2021, 5, 5));
    test::FocusEnd(Editor());
    test::TypeText(Editor(), " и всё");
    ASSERT_EQ(Html(), "<p>Привет мир и всё</p>");

    ASSERT_TRUE(test::SelectWord(Editor(), "мир"));
    Trigger("Жирный");
    EXPECT_TRUE(DayChanged);
    ASSERT_TRUE(test::SelectWord(Editor(), "всё"));
    Trigger("Синий");
    ASSERT_TRUE(test::SelectWord(Editor(), "Привет"));
    Trigger("Размер 5");
    EXPECT_EQ(Html(),
              "<p><font size=\"5\">Привет</font> <b>мир</b> и <font color=\"#0000ff\">всё</font></p>");
}

TEST_F(TfrMainTest, AWordSelectedWithTheKeyboardTurnsRed) {
    Show(QDate(2021, 5, 5));
    test::FocusEnd(Editor());
    test::TypeText(Editor(), "срочно");
    for (int i = 0; i < 6; ++i) test::PressKey(Editor(), Qt::Key_Left, Qt::ShiftModifier);
    ASSERT_TRUE(test::WaitSelectedText(Editor(), "срочно"));
    Trigger("Красный");
    EXPECT_TRUE(test::WaitFor([&] { return Html().contains("<font color=\"#ff0000\">срочно</font>"); }, 3000))
        << Html().toStdString();
}

TEST_F(TfrMainTest, BoldWithoutSelectionChangesNothingButMarksTheDay) {
    store["05.05.2021"] = "<p>Привет</p>";
    Show(QDate(2021, 5, 5));
    test::FocusEnd(Editor());
    Trigger("Жирный");
    EXPECT_EQ(Html(), "<p>Привет</p>");
    EXPECT_TRUE(DayChanged);
}

TEST_F(TfrMainTest, ClearFormatCancelledLeavesTheDayUnmarked) {
    store["05.05.2021"] = "<p><b>Привет</b></p>";
    Show(QDate(2021, 5, 5));
    ASSERT_TRUE(test::SelectWord(Editor(), "Привет"));
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Cancel)->click();
    });
    Trigger("Очистить формат");
    EXPECT_FALSE(DayChanged);
    EXPECT_EQ(Html(), "<p><b>Привет</b></p>");
}

TEST_F(TfrMainTest, TheMenuHoldsTheDayEditorsItemsInOrder) {
    QStringList items;
    for (QAction* a : page->pmEditor->actions()) {
        items << (a->isSeparator() ? "-" : a->text() + (a->isVisible() ? "" : "(hidden)"));
    }
    EXPECT_EQ(items.join(","),
              "Жирный,Курсив,Зачеркнутый,-,Черный,Красный,Зеленый,Синий,-,Вырезать,Вставить,-,Размер шрифта,"
              "Крупный шрифт(hidden),Обычный шрифт(hidden),-,Очистить формат");
    QStringList sizes;
    for (QAction* a : MenuItem("Размер шрифта")->menu()->actions())
        sizes << a->text() + "=" + a->data().toString();
    EXPECT_EQ(sizes.join(","),
              "Размер 1=1,Размер 2=2,Размер 3=3,Размер 4=4,Размер 5=5,Размер 6=6,Размер 7=7");
    EXPECT_EQ(Editor().ContextMenu(), page->pmEditor);
}

TEST_F(TfrMainTest, UndoRestoresTheDayAsLoadedAndRedoRightAfterPutsTheTypingBack) {
    EXPECT_EQ(page->RedoTag(), 0);
    store["05.05.2021"] = "<p>утро</p>";
    Show(QDate(2021, 5, 5));
    page->btRedoClick();  // nothing to repeat yet
    EXPECT_EQ(Html(), "<p>утро</p>");

    test::FocusEnd(Editor());
    test::TypeText(Editor(), " вечер");
    ASSERT_EQ(Html(), "<p>утро вечер</p>");
    page->btUndo->click();
    EXPECT_EQ(Html(), "<p>утро</p>");
    EXPECT_EQ(page->RedoTag(), 4);
    page->btRedo->click();  // right after the revert: the typing comes back
    EXPECT_EQ(Html(), "<p>утро вечер</p>");

    // Two reverts in a row still keep the typing of before the first.
    page->btUndo->click();
    page->btUndo->click();
    EXPECT_EQ(Html(), "<p>утро</p>");
    page->btRedo->click();
    EXPECT_EQ(Html(), "<p>утро вечер</p>");

    // Typed after a revert: "Повторить" reverts again, and right after that puts this typing back.
    page->btUndo->click();
    test::FocusEnd(Editor());
    test::TypeText(Editor(), " ночь");
    page->btRedo->click();
    EXPECT_EQ(Html(), "<p>утро</p>");
    page->btRedo->click();
    EXPECT_EQ(Html(), "<p>утро ночь</p>");
    EXPECT_FALSE(DayChanged);  // the tick finds the difference itself
}

TEST_F(TfrMainTest, ClearAsksFirstAndSendsOneEmptyDay) {
    store["05.05.2021"] = "<p>план</p>";
    Show(QDate(2021, 5, 5));
    requests.clear();

    AnswerConfirm(false);
    page->btClear->click();
    EXPECT_EQ(asked, "Удалить данные?|Все заметки для выбранной даты будут уничтожены");
    EXPECT_EQ(Html(), "<p>план</p>");
    EXPECT_EQ(Count("SetDay"), 0u);

    AnswerConfirm(true);
    page->btClear->click();
    EXPECT_EQ(Html(), "");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "SetDay 05.05.2021 ");
}

TEST_F(TfrMainTest, TemplateGoesIntoAnEmptyDayWithoutAQuestion) {
    store["template"] = "<p>1. Зарядка</p>";
    Show(QDate(2021, 5, 5));
    Editor().SetBodyHtml(" \n  ");
    page->btTemplate->click();
    Editor().WaitIdle();
    EXPECT_EQ(asked, "");
    EXPECT_EQ(Html(), "<p>1. Зарядка</p>");
    EXPECT_EQ(Count("GetTemplate"), 1u);
    EXPECT_EQ(Count("SetTemplate <p>1. Зарядка</p>"), 1u);
}

TEST_F(TfrMainTest, APlainTextTemplateShowsItsLinesAndIsPostedUnchanged) {
    const std::string tmpl = "НА РАБОТЕ:\r\n-\r\n\r\nВ ГОРОДЕ:\r\n- \r\n\r\nДОМА:\r\n- \r\n\r\nЗАМЕТКИ:\r\n-";
    store["template"] = tmpl;
    Show(QDate(2021, 5, 5));
    page->btTemplate->click();
    Editor().WaitIdle();
    // The lines as the page lays them out, blank ones included (a line's trailing space is not shown).
    QString shown;
    Editor().RunScript("document.body.innerText", [&](const QVariant& v) { shown = v.toString(); });
    Editor().WaitIdle();
    EXPECT_EQ(shown.split('\n'), QString("НА РАБОТЕ:|-||В ГОРОДЕ:|-||ДОМА:|-||ЗАМЕТКИ:|-").split('|'));
    EXPECT_EQ(Count("SetTemplate " + tmpl), 1u);  // the stored template stays plain text
    EXPECT_EQ(store["template"], tmpl);
    test::Pump(500);
    page->grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/day-page-template.png");
}

TEST_F(TfrMainTest, TemplateOverTextAsksAndDecliningKeepsTheText) {
    store["template"] = "<p>шаблон</p>";
    store["05.05.2021"] = "<p>моё</p>";
    Show(QDate(2021, 5, 5));
    for (bool ok : {false, true}) {
        SCOPED_TRACE(ok);
        asked.clear();
        AnswerConfirm(ok);
        page->btTemplate->click();
        Editor().WaitIdle();
        EXPECT_EQ(
            asked,
            "Удалить данные за день?|Вставка шаблона возможна только в пустое поле, введенные ранее данные "
            "будут очищены!");
        EXPECT_EQ(Html(), ok ? "<p>шаблон</p>" : "<p>моё</p>");
        EXPECT_EQ(Count("GetTemplate"), ok ? 1u : 0u);
    }
}

TEST_F(TfrMainTest, SwitchingDaysKeepsWhatWasTyped) {
    store["05.05.2021"] = "<p>a</p>";
    store["06.05.2021"] = "<p>b</p>";
    Show(QDate(2021, 5, 5));
    test::FocusEnd(Editor());
    test::TypeText(Editor(), "бв");
    // The next day is shown before any tick took the typing.
    page->SetDate(QDate(2021, 5, 6));
    QDate readDay;
    QString readHtml;
    page->ReadDayHtml([&](const QDate& d, const QString& h) {
        readDay = d;
        readHtml = h;
    });
    Editor().WaitIdle();
    EXPECT_EQ(readDay, QDate(2021, 5, 6));  // a read right after the switch belongs to the new day
    EXPECT_EQ(readHtml, "<p>b</p>");
    ASSERT_EQ(storedEdits.size(), 1u);
    EXPECT_EQ(storedEdits[0], "05.05.2021 <p>aбв</p>");
    EXPECT_EQ(DayPostedText, "<p>b</p>");

    Show(QDate(2021, 5, 5));
    EXPECT_EQ(Html(), "<p>aбв</p>");
    EXPECT_EQ(storedEdits.size(), 1u);  // nothing typed on the other day
}

TEST_F(TfrMainTest, QuickSwitchesStoreTheTypingUnderTheDayItWasTypedOn) {
    store["05.05.2021"] = "<p>a</p>";
    store["06.05.2021"] = "<p>b</p>";
    Show(QDate(2021, 5, 5));
    test::FocusEnd(Editor());
    test::TypeText(Editor(), "x");
    page->btNextMouseDown();  // to the 6th
    page->btNextMouseDown();  // to the 7th, before the 6th has answered
    Editor().WaitIdle();
    EXPECT_EQ(page->ShownDate(), QDate(2021, 5, 7));
    ASSERT_EQ(storedEdits.size(), 1u);
    EXPECT_EQ(storedEdits[0], "05.05.2021 <p>ax</p>");
    EXPECT_EQ(store["06.05.2021"], "<p>b</p>");
    EXPECT_EQ(Html(), "");
}

TEST_F(TfrMainTest, ShowingTheSameDayAgainKeepsTheTypingInTheEditor) {
    store["05.05.2021"] = "<p>a</p>";
    Show(QDate(2021, 5, 5));
    test::FocusEnd(Editor());
    test::TypeText(Editor(), "б");
    Show(QDate(2021, 5, 5));
    EXPECT_EQ(Html(), "<p>aб</p>");
    EXPECT_EQ(store["05.05.2021"], "<p>aб</p>");
    EXPECT_EQ(DayPostedText, "<p>aб</p>");
    EXPECT_EQ(Count("GetDay 05.05.2021"), 2u);
}

TEST_F(TfrMainTest, APushedTextReachesTheIdleEditorButNeverOverwritesTyping) {
    store["05.05.2021"] = "<p>a</p>";
    Show(QDate(2021, 5, 5));
    bool reloaded = false;
    auto reload = [&](const std::string& text) {
        page->ReloadIfIdle(text, [&](bool r) { reloaded = r; });
        Editor().WaitIdle();
        return reloaded;
    };
    EXPECT_FALSE(reload("<p>a</p>"));  // nothing new in the store
    EXPECT_TRUE(reload("<p>с телефона</p>"));
    EXPECT_EQ(Html(), "<p>с телефона</p>");
    EXPECT_EQ(DayPostedText, "<p>с телефона</p>");

    test::FocusEnd(Editor());
    test::TypeText(Editor(), "!");
    EXPECT_FALSE(reload("<p>снова с телефона</p>"));
    EXPECT_EQ(Html(), "<p>с телефона!</p>");
}

TEST_F(TfrMainTest, ATextInAnotherSpellingIsNeitherPostedBackNorReloadedEverySecond) {
    store["05.05.2021"] = "<P>Старый клиент</P>";
    Show(QDate(2021, 5, 5));
    EXPECT_EQ(Html(), "<p>Старый клиент</p>");
    EXPECT_EQ(DayPostedText, "<p>Старый клиент</p>");  // the tick sees no edit
    ASSERT_TRUE(test::SelectWord(Editor(), "клиент"));
    bool reloaded = true;
    page->ReloadIfIdle(store["05.05.2021"], [&](bool r) { reloaded = r; });
    Editor().WaitIdle();
    EXPECT_FALSE(reloaded);
    QString type;
    Editor().SelectionType([&](const QString& t) { type = t; });
    Editor().WaitIdle();
    EXPECT_EQ(type, "Text");  // the user's selection survives the tick
}

TEST_F(TfrMainTest, ALostBrowserProcessNeverEmptiesTheDay) {
    store["05.05.2021"] = "<p>важное</p>";
    calendar = QDate(2021, 5, 5);
    Show(calendar);
    page->GoOnceLoadCurrentDay();
    Editor().WaitIdle();
    const qint64 pid = Editor().page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    bool lost = false, back = false;
    QObject::connect(&Editor(), &TWebBrowser::DocumentLost, [&] { lost = true; });
    QObject::connect(&Editor(), &TWebBrowser::DocumentComplete, [&] { back = true; });
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(test::WaitFor([&] { return lost && back; }, 20000));
    Editor().WaitIdle();
    EXPECT_EQ(Html(), "<p>важное</p>");
    EXPECT_EQ(DayPostedText, "<p>важное</p>");
    EXPECT_FALSE(DayChanged);
    EXPECT_TRUE(storedEdits.empty());
    EXPECT_EQ(Editor().ReadyState(), 4);
}

TEST_F(TfrMainTest, FirstLoadRunsOnceWithTheDayStyle) {
    calendar = QDate(2021, 5, 5);
    store["05.05.2021"] = "<p>первый</p>";
    page->GoOnceLoadCurrentDay();
    Editor().WaitIdle();
    EXPECT_TRUE(page->IsSterted);
    EXPECT_EQ(Html(), "<p>первый</p>");
    EXPECT_EQ(DayUndoText, "<p>первый</p>");
    store["05.05.2021"] = "<p>второй</p>";
    page->GoOnceLoadCurrentDay();
    Editor().WaitIdle();
    EXPECT_EQ(Html(), "<p>первый</p>");
    QString css;
    Editor().RunScript("Array.from(document.querySelectorAll('style')).map(s => s.textContent).join('|')",
                       [&](const QVariant& v) { css = v.toString(); });
    Editor().WaitIdle();
    EXPECT_EQ(css, "p{margin: 0; background-color: transparent}");
}

TEST_F(TfrMainTest, AStoredDayCannotRunScript) {
    store["05.05.2021"] = "<p>x</p><img src=x onerror=\"document.body.setAttribute('data-pwned','1')\">";
    Show(QDate(2021, 5, 5));
    test::Pump(300);
    QVariant pwned;
    Editor().RunScript("document.body.getAttribute('data-pwned')", [&](const QVariant& v) { pwned = v; });
    Editor().WaitIdle();
    EXPECT_TRUE(pwned.isNull() || pwned.toString().isEmpty());
}

TEST_F(TfrMainTest, FailingStoreReadLeavesTheDayAsItWas) {
    store["05.05.2021"] = "<p>a</p>";
    Show(QDate(2021, 5, 5));
    page->Links().StoredText = [](const std::string&) -> std::string {
        throw std::runtime_error("store gone");
    };
    page->Links().GetDay = [](const QDate&) { throw std::runtime_error("offline"); };
    Show(QDate(2021, 5, 6));
    EXPECT_EQ(Html(), "<p>a</p>");
    EXPECT_EQ(page->ShownDate(), QDate(2021, 5, 5));  // edits still belong to the day they were made on
}

TEST_F(TfrMainTest, ButtonsThatOpenOtherPagesSignal) {
    int note = 0, settings = 0, bar = 0;
    QObject::connect(page.get(), &TfrMain::NoteClick, [&] { ++note; });
    QObject::connect(page.get(), &TfrMain::SettingsClick, [&] { ++settings; });
    QObject::connect(page.get(), &TfrMain::BarClick, [&] { ++bar; });
    page->btNote->click();
    page->btSettings->click();
    page->btBar->click();
    EXPECT_EQ(note + settings + bar, 3);
    EXPECT_EQ(page->btSettings->toolTip(), "Настройки");
    EXPECT_EQ(page->btUndo->toolTip(), "Отменить ввод");
    EXPECT_EQ(page->btForward->toolTip(), "Предыдущий день");
    EXPECT_EQ(page->btClear->property("Tag").toInt(), 11);
    EXPECT_EQ(page->size(), QSize(500, 568));
}

TEST_F(TfrMainTest, ToolbarAndArrowButtonsLightUpUnderTheMouse) {
    for (TImageButton* b : {page->btCopy, page->btSettings, page->btNext}) {
        SCOPED_TRACE(b->objectName().toStdString());
        const QRect area(b->mapTo(page.get(), QPoint()), b->size());
        auto look = [&] { return page->grab(area).toImage(); };
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(b, &leave);  // wherever the pointer was when the page came up
        const QImage normal = look();
        QEnterEvent enter(QPointF(5, 5), b->mapTo(page.get(), QPointF(5, 5)), b->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(b, &enter);
        const QImage hovered = look();
        EXPECT_NE(hovered, normal);
        QApplication::sendEvent(b, &leave);
        EXPECT_EQ(look(), normal);
    }
}

// Rendered at twice the scale, the highlight's rounded edge has detail finer than one logical
// pixel; a 1x picture scaled up would repeat every value in pairs.
TEST_F(TfrMainTest, TheDayHighlightIsSharpAtTwiceTheScale) {
    Show(QDate(2021, 5, 5));
    QWidget* lumin = page->dayLumin;
    QPixmap canvas(lumin->size() * 2);
    canvas.setDevicePixelRatio(2);
    canvas.fill(Qt::white);
    lumin->render(&canvas);
    const QImage img = canvas.toImage();
    int finer = 0;
    for (int y = 0; y + 1 < img.height(); y += 2) {
        for (int x = 0; x + 1 < img.width(); x += 2) {
            const QRgb a = img.pixel(x, y);
            finer += a != img.pixel(x + 1, y) || a != img.pixel(x, y + 1);
        }
    }
    EXPECT_GT(finer, 8);
}

TEST_F(TfrMainTest, Screenshot) {
    store["10.12.2026"] = "<p><b>Купить</b> хлеб</p><p><font color=\"#ff0000\">Позвонить</font> маме</p>";
    calendar = QDate(2026, 12, 10);
    Show(calendar);
    page->GoOnceLoadCurrentDay();
    Editor().WaitIdle();
    test::Pump(500);
    const QString path = QStringLiteral(WL_UI_SHOT_DIR) + "/day-page.png";
    ASSERT_TRUE(page->grab().save(path));
}

}  // namespace
}  // namespace wl
