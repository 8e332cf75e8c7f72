#include "ui/TWebBrowser.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "UiTestSupport.h"
#include "platform/QtTranslations.h"
#include "ui/UiLook.h"

namespace wl {
namespace {

using test::Load;
using test::SelectWord;

class TWebBrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(500, 400);
        view.show();
        ASSERT_TRUE(view.WaitIdle());
        ASSERT_EQ(view.ReadyState(), 4);
    }
    QString Html() { return view.WaitBodyHtml(); }
    void Format(const char* caption) {
        view.FormatSelection(FormatCommandByCaption(QString::fromUtf8(caption)));
        view.WaitIdle();
    }
    TWebBrowser view;
};

TEST_F(TWebBrowserTest, BlankDocumentIsEditableWithTheEditorsBackground) {
    EXPECT_FALSE(view.Busy());
    EXPECT_EQ(Html(), "");
    QString mode, bg;
    view.RunScript("document.designMode + \"|\" + document.bgColor",
                   [&](const QVariant& v) { mode = v.toString(); });
    view.WaitIdle();
    EXPECT_EQ(mode, "on|#f0f0f0");
    EXPECT_THROW(view.Navigate("https://example.org/"), std::invalid_argument);
}

TEST_F(TWebBrowserTest, TextGoesInAndComesBackUnchanged) {
    const QString entry = "<p>Привет <b>мир</b></p><p>строка \"2\" \\ </p>";
    EXPECT_EQ(Load(view, entry), entry);
    EXPECT_EQ(Load(view, ""), "");
}

TEST_F(TWebBrowserTest, TypingCyrillicEndsUpInTheBody) {
    Load(view, "<p>Дела:</p>");
    test::FocusEnd(view);
    test::TypeText(view, " купить хлеб");
    EXPECT_EQ(Html(), "<p>Дела: купить хлеб</p>");
}

TEST_F(TWebBrowserTest, AReadOnlySurfaceTakesNoKeysEvenAfterAReload) {
    Load(view, "<p>Дела:</p>");
    view.SetReadOnly(true);
    test::FocusEnd(view);
    test::TypeText(view, " потеряно");
    EXPECT_EQ(Html(), "<p>Дела:</p>");
    view.Navigate("about:blank");  // a new document, as after a lost render process
    ASSERT_TRUE(view.WaitIdle());
    Load(view, "<p>Дела:</p>");
    test::FocusEnd(view);
    test::TypeText(view, " потеряно");
    EXPECT_EQ(Html(), "<p>Дела:</p>");
    view.SetReadOnly(false);
    test::FocusEnd(view);
    test::TypeText(view, " снова");
    EXPECT_EQ(Html(), "<p>Дела: снова</p>");
}

TEST_F(TWebBrowserTest, BoldNeedsSelectedTextAndTogglesBack) {
    const QString entry = "<p>Привет мир</p>";
    Load(view, entry);
    test::FocusEnd(view);
    Format("Жирный");  // only a caret
    EXPECT_EQ(Html(), entry);

    ASSERT_TRUE(SelectWord(view, "мир"));
    QString type;
    view.SelectionType([&](const QString& t) { type = t; });
    view.WaitIdle();
    EXPECT_EQ(type, "Text");
    Format("Жирный");
    EXPECT_EQ(Html(), "<p>Привет <b>мир</b></p>");
    Format("Жирный");
    EXPECT_EQ(Html(), entry);
}

TEST_F(TWebBrowserTest, CommandsOfTheMenuFormatTheSelectedWord) {
    struct Row {
        const char* caption;
        const char* start;
        const char* expected;
    };
    const char* plain = "<p>a слово b</p>";
    const Row rows[] = {
        {"Курсив", plain, "<p>a <i>слово</i> b</p>"},
        {"Зачеркнутый", plain, "<p>a <strike>слово</strike> b</p>"},
        // Back to the default colour or size: the browser drops the font element instead.
        {"Черный", "<p>a <font color=\"#ff0000\">слово</font> b</p>", plain},
        {"Черный", plain, plain},  // already black: nothing to do
        {"Красный", plain, "<p>a <font color=\"#ff0000\">слово</font> b</p>"},
        {"Зеленый", plain, "<p>a <font color=\"#008000\">слово</font> b</p>"},
        {"Синий", plain, "<p>a <font color=\"#0000ff\">слово</font> b</p>"},
        {"Размер 1", plain, "<p>a <font size=\"1\">слово</font> b</p>"},
        {"Размер 7", plain, "<p>a <font size=\"7\">слово</font> b</p>"},
        {"Крупный шрифт", plain, "<p>a <font size=\"5\">слово</font> b</p>"},
        {"Обычный шрифт", "<p>a <font size=\"5\">слово</font> b</p>", plain},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        Load(view, QString::fromUtf8(row.start));
        ASSERT_TRUE(SelectWord(view, "слово"));
        Format(row.caption);
        EXPECT_EQ(Html(), QString::fromUtf8(row.expected));
    }
}

TEST_F(TWebBrowserTest, ClearFormatAsksFirstAndCancelKeepsTheFormatting) {
    const QString entry = "<p>a <b><i>слово</i></b> b</p>";
    for (auto answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
        Load(view, entry);
        ASSERT_TRUE(SelectWord(view, "слово"));
        QString asked;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = box->text();
            box->button(answer)->click();
        });
        EXPECT_EQ(view.ClearFormat(), answer == QMessageBox::Ok);
        view.WaitIdle();
        EXPECT_EQ(asked, "Очистить форматирование выделенного текста?");
        EXPECT_EQ(Html(), answer == QMessageBox::Ok ? "<p>a слово b</p>" : entry);
    }
}

// The program installs Qt's translations at start; Qt's standard buttons then speak Russian.
TEST_F(TWebBrowserTest, QtsOwnButtonsAreRussian) {
    ASSERT_TRUE(InstallQtTranslations(*QCoreApplication::instance()));
    Load(view, "<p>слово</p>");
    ASSERT_TRUE(SelectWord(view, "слово"));
    QString ok, cancel;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        ok = box->button(QMessageBox::Ok)->text().remove('&');
        cancel = box->button(QMessageBox::Cancel)->text().remove('&');
        box->grab().save(QStringLiteral(WL_UI_SHOT_DIR) + "/clear-format-question.png");
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_FALSE(view.ClearFormat());
    // Qt's Russian catalogue spells OK in Latin letters, which look the same as "ОК".
    EXPECT_TRUE(ok == "OK" || ok == "ОК") << ok.toStdString();
    EXPECT_EQ(cancel, "Отмена");

    const std::pair<QMessageBox::StandardButton, const char*> others[] = {
        {QMessageBox::Yes, "Да"},
        {QMessageBox::No, "Нет"},
        {QMessageBox::Close, "Закрыть"},
        {QMessageBox::Save, "Сохранить"},
        {QMessageBox::Discard, "Отклонить"}};
    QMessageBox box;
    for (const auto& [button, text] : others) {
        SCOPED_TRACE(text);
        box.setStandardButtons(button);
        EXPECT_EQ(box.button(button)->text().remove('&'), QString::fromUtf8(text));
    }
}

TEST_F(TWebBrowserTest, TextIsWrittenInTheProgramsSansUnlessItNamesAFont) {
    Load(view, "<p id=plain>обычный</p><p><font face=\"DejaVu Serif\" id=own>свой</font></p>");
    QString fonts;
    view.RunScript(
        "['plain', 'own'].map(id => getComputedStyle(document.getElementById(id)).fontFamily).join('|')",
        [&](const QVariant& v) { fonts = v.toString(); });
    view.WaitIdle();
    EXPECT_EQ(fonts, "\"" + SansFamily() + "\"|\"DejaVu Serif\"");
}

TEST_F(TWebBrowserTest, PasteHtmlReplacesTheSelection) {
    Load(view, "<p>один два</p>");
    ASSERT_TRUE(SelectWord(view, "два"));
    view.PasteHTML("<b>три</b>");
    view.WaitIdle();
    EXPECT_EQ(Html(), "<p>один&nbsp;<b>три</b></p>");  // the browser keeps the space visible
}

TEST_F(TWebBrowserTest, CutAndPasteMoveTheSelection) {
    Load(view, "<p>один два</p>");
    test::FocusEnd(view);
    ASSERT_TRUE(SelectWord(view, "один"));
    view.ExecDocumentCommand("Cut");
    view.WaitIdle();
    ASSERT_TRUE(test::WaitFor([&] { return Html() == "<p>&nbsp;два</p>" || Html() == "<p> два</p>"; }, 3000))
        << Html().toStdString();
    test::FocusEnd(view);
    view.ExecDocumentCommand("Paste");
    view.WaitIdle();
    EXPECT_TRUE(test::WaitFor([&] { return Html().contains("дваодин"); }, 3000)) << Html().toStdString();
    EXPECT_THROW(view.ExecDocumentCommand("SelectAll"), std::invalid_argument);
}

TEST_F(TWebBrowserTest, BackgroundCleanUpRemovesTheEditorsOwnColour) {
    struct Row {
        const char* start;
        bool changed;
        const char* expected;
    };
    const Row rows[] = {
        {"<p><span style=\"BACKGROUND-COLOR: #f0f0f0\">x</span></p>", true, "<p><span>x</span></p>"},
        {"<p><span style=\"background-color: #f0f0f0\">x</span></p>", false,
         "<p><span style=\"background-color: #f0f0f0\">x</span></p>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.start);
        Load(view, row.start);
        bool changed = !row.changed;
        view.CleanUpBackground([&](bool c, const QString&) { changed = c; });
        view.WaitIdle();
        EXPECT_EQ(changed, row.changed);
        EXPECT_EQ(Html(), row.expected);
    }
}

TEST_F(TWebBrowserTest, StoredTextNeverRunsScriptOrLoadsRemoteData) {
    Load(view,
         "<p>x</p><img src=x onerror=\"document.title='pwned';document.body.setAttribute('data-pwned','1')\">"
         "<script>document.title='pwned2'</script><img src=\"http://127.0.0.1:9/t.png\">");
    test::Pump(300);
    QString state;
    view.RunScript("document.title + \"|\" + document.body.getAttribute(\"data-pwned\")",
                   [&](const QVariant& v) { state = v.toString(); });
    view.WaitIdle();
    EXPECT_EQ(state, "|null");
    EXPECT_EQ(view.url(), QUrl("about:blank"));
}

TEST_F(TWebBrowserTest, ContextMenuOpensAtTheDayEditorsPlace) {
    QMenu menu;
    menu.addAction("Жирный");
    view.SetContextMenu(&menu, TMenuPlacement::DayEditor);
    const QRect screen = view.screen()->geometry();
    const QPoint low(100, screen.bottom() + 1 - 200), high(100, screen.top() + 100);
    EXPECT_EQ(view.ContextMenuPos(low), QPoint(100, low.y() - 240));
    EXPECT_EQ(view.ContextMenuPos(high), high);

    // A real right-button press over the text: the browser asks for a menu, the editor shows its own.
    Load(view, "<p>текст</p>");
    QWidget* target = test::KeyTarget(view);
    const QPoint at(20, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    EXPECT_TRUE(test::WaitFor([&] { return menu.isVisible(); }, 3000));
    menu.hide();
}

}  // namespace
}  // namespace wl
