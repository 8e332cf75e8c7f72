// The options page as a person uses it: every control through "OK" into Config.ini and back, the
// hot-key boxes' typing rule, what "OK" does to the desktop, and the wallpaper library (add, list,
// preview, apply, delete). The page's links are recorders.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/AppCommandLine.h"
#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "platform/MemoryHotKeys.h"
#include "ui/TPanelButton.h"
#include "ui/TfrOptions.h"
#include "ui/UiTestSupport.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/WppLibrary.h"

namespace wl::test {
namespace {

namespace fs = std::filesystem;

void Key(QWidget* box, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(box, &press);
    QApplication::sendEvent(box, &release);
}

class OptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-options-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        ::setenv("AppData", root.c_str(), 1);
        bool first = false;
        paths = CheckFiles(first);
    }
    void TearDown() override {
        page.reset();
        settings.reset();
        fs::remove_all(root);
    }

    // Opens the page over the settings as stored now.
    void Open() {
        page.reset();
        settings = std::make_unique<TSettings>(paths.ConfigPath);
        TOptionsLinks links;
        links.SetWallpaper = [this](const std::string& p) {
            if (refuse) throw std::runtime_error("the desktop refused " + p);
            shown.push_back(p);
        };
        links.RestoreUserWallpaper = [this] { ++restores; };
        links.WppTimer = [this](bool on) { timer.push_back(on); };
        links.HotKeys = [this](bool use) { hotKeys.push_back(use); };
        links.SettingsApplied = [this] { ++applied; };
        links.Now = [this] { return now; };
        links.Confirm = [this](const QString& title, const QString&) {
            asked.push_back(title);
            return answer;
        };
        links.AskPicture = [this] { return picture; };
        links.ShowMessage = [this](const QString& text) { messages.push_back(text); };
        if (keys) links.HotKeyWay = [this] { return keys->Way(); };
        links.RemoteCommand = [](int id) { return RemoteHotKeyCommand("/usr/bin/weekleaf", id); };
        page = std::make_unique<TfrOptions>(*settings, paths.WppPath, std::move(links));
        page->show();
    }
    // "OK", then the stored settings as a fresh load sees them.
    TSettings Ok() {
        page->btClose->click();
        return TSettings(paths.ConfigPath);
    }
    QStringList Listed() const {
        QStringList names;
        for (int i = 0; i < page->WppBox->count(); ++i) names << page->WppBox->item(i)->text();
        return names;
    }
    fs::path Source(const std::string& name) {
        const fs::path p = root / "pictures" / name;
        fs::create_directories(p.parent_path());
        SaveBmp24(Image(64, 32, 0x3366cc), p);
        return p;
    }

    fs::path root;
    DataPaths paths;
    std::unique_ptr<TSettings> settings;
    std::unique_ptr<TfrOptions> page;
    std::vector<std::string> shown;
    std::vector<bool> timer, hotKeys;
    std::vector<QString> asked, messages;
    int restores = 0, applied = 0;
    bool answer = true;
    bool refuse = false;  // SetWallpaper throws
    QString picture;
    IHotKeys* keys = nullptr;  // the session's hot-key backend the page asks, if any
    DateTime now = MakeDateTime(2026, 12, 10, 10, 0, 0);
};

// Each control changed on the page reaches Config.ini through "OK" and shows again on the next load.
TEST_F(OptionsTest, EachControlGoesThroughOkToConfigIniAndBack) {
    struct Case {
        const char* what;
        std::function<void(TfrOptions&)> change;
        std::function<bool(const TSettings&)> stored;
        std::function<bool(const TfrOptions&)> shownAgain;
    };
    const Case cases[] = {
        {"random order", [](TfrOptions& p) { p.cbWppRandom->setChecked(!p.cbWppRandom->isChecked()); },
         [](const TSettings& s) { return s.WppRandom(); },
         [](const TfrOptions& p) { return p.cbWppRandom->isChecked(); }},
        {"period", [](TfrOptions& p) { p.cbWppTime->setCurrentIndex(2); },
         [](const TSettings& s) { return s.WppToChange() == 2; },
         [](const TfrOptions& p) { return p.cbWppTime->currentText() == "Еженедельно"; }},
        {"hot keys off", [](TfrOptions& p) { p.cbUseHotKey->setChecked(false); },
         [](const TSettings& s) { return !s.UseHotKey(); },
         [](const TfrOptions& p) { return !p.cbUseHotKey->isChecked(); }},
        {"main key", [](TfrOptions& p) { p.edHKmain->setText("Q"); },
         [](const TSettings& s) { return s.HotKeyMain() == U'Q'; },
         [](const TfrOptions& p) { return p.edHKmain->text() == "Q"; }},
        {"notes key", [](TfrOptions& p) { p.edHKnote->setText("4"); },
         [](const TSettings& s) { return s.HotKeyNote() == U'4'; },
         [](const TfrOptions& p) { return p.edHKnote->text() == "4"; }},
        {"template key", [](TfrOptions& p) { p.edHKtemplate->setText("T"); },
         [](const TSettings& s) { return s.HotKeyTemplate() == U'T'; },
         [](const TfrOptions& p) { return p.edHKtemplate->text() == "T"; }},
        {"blocks key", [](TfrOptions& p) { p.edHK_block->setText("H"); },
         [](const TSettings& s) { return s.HotKeyBlock() == U'H'; },
         [](const TfrOptions& p) { return p.edHK_block->text() == "H"; }},
        {"editor key", [](TfrOptions& p) { p.edHK_Editor->setText("E"); },
         [](const TSettings& s) { return s.HotKeyEditor() == U'E'; },
         [](const TfrOptions& p) { return p.edHK_Editor->text() == "E"; }},
        {"blocks off", [](TfrOptions& p) { p.cbShowBloks->setChecked(false); },
         [](const TSettings& s) { return !s.ShowBloks(); },
         [](const TfrOptions& p) { return !p.cbShowBloks->isChecked(); }},
        {"font size", [](TfrOptions& p) { p.cbFontSize->setCurrentText("12"); },
         [](const TSettings& s) { return s.FontSize() == 12; },
         [](const TfrOptions& p) { return p.cbFontSize->currentText() == "12"; }},
        {"hide at start", [](TfrOptions& p) { p.cbHide->setChecked(true); },
         [](const TSettings& s) { return s.HideOnStart(); },
         [](const TfrOptions& p) { return p.cbHide->isChecked(); }},
        {"update check off", [](TfrOptions& p) { p.cbCheckUpdates->setChecked(false); },
         [](const TSettings& s) { return !s.CheckUpdate(); },
         [](const TfrOptions& p) { return !p.cbCheckUpdates->isChecked(); }},
        {"bold key", [](TfrOptions& p) { p.edHKBold->setText("G"); },
         [](const TSettings& s) { return s.HotKeyBold() == U'G'; },
         [](const TfrOptions& p) { return p.edHKBold->text() == "G"; }},
        {"strike-out key", [](TfrOptions& p) { p.edHKStrikeOut->setText("J"); },
         [](const TSettings& s) { return s.HotKeyStriceOut() == U'J'; },
         [](const TfrOptions& p) { return p.edHKStrikeOut->text() == "J"; }},
        {"transparent", [](TfrOptions& p) { p.cbAlphaBlend->setChecked(true); },
         [](const TSettings& s) { return s.ALPHABLEND_VALUE() == 125; },
         [](const TfrOptions& p) { return p.cbAlphaBlend->isChecked(); }},
        {"opaque", [](TfrOptions& p) { p.cbAlphaBlend->setChecked(false); },
         [](const TSettings& s) { return s.ALPHABLEND_VALUE() == 255; },
         [](const TfrOptions& p) { return !p.cbAlphaBlend->isChecked(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        c.change(*page);
        EXPECT_TRUE(c.stored(Ok()));
        Open();
        EXPECT_TRUE(c.shownAgain(*page));
    }
}

TEST_F(OptionsTest, TheAutostartCaptionNamesNoPlatformAndItsTickIsStored) {
    Open();
    EXPECT_EQ(page->cbAutorun->text(), "Автозапуск при входе в систему");
    const bool before = settings->StartWithOS();
    page->cbAutorun->setChecked(!before);
    EXPECT_EQ(Ok().StartWithOS(), !before);
}

TEST_F(OptionsTest, HotKeyBoxesTakeOneLatinLetterOrDigitInCapitals) {
    struct Case {
        QString before;
        int key;
        QString text;
        Qt::KeyboardModifiers mods;
        QString after;
    };
    const Case cases[] = {
        {"", Qt::Key_B, "b", Qt::NoModifier, "B"},
        {"B", Qt::Key_7, "7", Qt::NoModifier, "7"},
        {"B", Qt::Key_Minus, "-", Qt::NoModifier, "B"},
        {"B", Qt::Key_Backspace, "", Qt::NoModifier, ""},
        {"B", Qt::Key_unknown, "ж", Qt::NoModifier, "B"},
        {"B", Qt::Key_Space, " ", Qt::NoModifier, "B"},
        {"B", Qt::Key_Z, "Z", Qt::ShiftModifier, "Z"},
        {"B", Qt::Key_V, "\x16", Qt::ControlModifier, "B"},  // no pasting around the rule
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " into " + c.before.toStdString());
        page->edHKnote->setText(c.before);
        Key(page->edHKnote, c.key, c.text, c.mods);
        EXPECT_EQ(page->edHKnote->text(), c.after);
    }
}

TEST_F(OptionsTest, AnEmptiedHotKeyBoxKeepsTheOldKeyOnOk) {
    Open();
    const char32_t before = settings->HotKeyMain();
    ASSERT_NE(before, 0u);
    Key(page->edHKmain, Qt::Key_Backspace, "");
    ASSERT_EQ(page->edHKmain->text(), "");
    EXPECT_EQ(Ok().HotKeyMain(), before);
}

// Unticking turns off every application key, the week editor's included (it is unregistered with
// the others), so all five boxes and their captions grey out; ticking brings them all back.
TEST_F(OptionsTest, WithHotKeysOffAllFiveBoxesAreDisabledAndOkUnregisters) {
    Open();
    page->cbUseHotKey->setChecked(true);
    page->SetHotKeyState();
    const QLineEdit* boxes[5] = {page->edHKmain, page->edHKnote, page->edHKtemplate, page->edHK_block,
                                 page->edHK_Editor};
    const auto expectAll = [&](bool enabled) {
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(boxes[i]->isEnabled(), enabled) << boxes[i]->objectName().toStdString();
            EXPECT_EQ(page->lbHotKeys[i]->isEnabled(), enabled) << i;
        }
    };
    expectAll(true);
    page->cbUseHotKey->click();  // untick
    expectAll(false);
    EXPECT_FALSE(page->edHKItalic->isEnabled());
    Ok();
    EXPECT_EQ(hotKeys, std::vector<bool>{false});
    page->cbUseHotKey->click();
    expectAll(true);
    Ok();
    EXPECT_EQ(hotKeys, (std::vector<bool>{false, true}));
}

TEST_F(OptionsTest, ThePeriodSetsTheNextChangeFromNowAndNeverStopsTheTimer) {
    struct Case {
        int period;
        DateTime due;
        std::vector<bool> timer;
    };
    const Case cases[] = {
        {0, MakeDateTime(2026, 12, 10, 11, 0, 0), {true}},
        {1, MakeDateTime(2026, 12, 11, 10, 0, 0), {true}},
        {3, MakeDateTime(2027, 1, 9, 10, 0, 0), {true}},
        {4, WppNextDate(now, 4), {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        Open();
        timer.clear();
        page->cbWppTime->setCurrentIndex(c.period);
        const TSettings stored = Ok();
        EXPECT_EQ(stored.WppToChange(), c.period);
        EXPECT_EQ(DateTimeToStr(stored.WppDateToChange()), DateTimeToStr(c.due));
        EXPECT_EQ(timer, c.timer);
    }
}

TEST_F(OptionsTest, AStoredSizeOutsideTheListAndAMissingFontStayAsTheyWereOnOk) {
    TSettings(paths.ConfigPath).SetFontSize(20);
    TSettings(paths.ConfigPath).SetFont("No Such Family 123");
    Open();
    EXPECT_EQ(page->cbFontSize->currentIndex(), -1);
    EXPECT_EQ(page->cbFonts->currentIndex(), -1);
    const TSettings stored = Ok();
    EXPECT_EQ(stored.FontSize(), 20);
    EXPECT_EQ(stored.Font(), "No Such Family 123");
}

TEST_F(OptionsTest, OkPutsTheUsersWallpaperBackOnlyWhenBlocksGoOffOrTransparencyChanges) {
    struct Case {
        const char* what;
        bool blocks;
        bool alphaFrom, alphaTo;
        int restores;
    };
    const Case cases[] = {
        {"nothing changed", true, true, true, 0},
        {"blocks off", false, true, true, 1},
        {"made opaque", true, true, false, 1},
        {"made transparent", true, false, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TSettings(paths.ConfigPath).SetALPHABLEND_VALUE(c.alphaFrom ? 125 : 255);
        TSettings(paths.ConfigPath).SetShowBloks(true);
        Open();
        restores = 0;
        int closed = 0;
        QObject::connect(page.get(), &TfrOptions::Closed, [&] { ++closed; });
        page->cbShowBloks->setChecked(c.blocks);
        page->cbAlphaBlend->setChecked(c.alphaTo);
        Ok();
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(restores, c.restores);
        EXPECT_EQ(applied, 1);
        applied = 0;
    }
}

TEST_F(OptionsTest, LoadingAgainDiscardsUnsavedChanges) {
    Open();
    const bool blocks = page->cbShowBloks->isChecked();
    page->cbShowBloks->setChecked(!blocks);
    page->edHKmain->setText("Z");
    page->LoadSettings();
    EXPECT_EQ(page->cbShowBloks->isChecked(), blocks);
    EXPECT_EQ(page->edHKmain->text().toStdString(), std::string(1, char(settings->HotKeyMain())));
}

// The hot-key rows read as a table: each caption in its own words (no spaces to push "Ctrl +"
// along), "Ctrl +" in one column clear of every caption and of the boxes; and the section's
// header check box looks like every other check box of the page.
TEST_F(OptionsTest, HotKeyRowsLineUpAndTheHeaderCheckBoxLooksLikeTheOthers) {
    Open();
    page->pcOptions->setCurrentIndex(1);
    QWidget* tab = page->pcOptions->currentWidget();
    const QList<QLabel*> captions = tab->findChildren<QLabel*>("lbHotKeyCaption");
    ASSERT_EQ(captions.size(), 8);
    std::set<int> ctrlColumn;
    for (QLabel* caption : captions) {
        const QString text = caption->text();
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(text, text.simplified());
        EXPECT_FALSE(text.contains("Ctrl"));
        auto* ctrl = caption->findChild<QLabel*>("lbHotKeyCtrl");
        ASSERT_NE(ctrl, nullptr);
        EXPECT_EQ(ctrl->text(), "Ctrl +");
        const int ctrlX = ctrl->mapTo(tab, QPoint(0, 0)).x();
        ctrlColumn.insert(ctrlX);
        const int textEnd =
            caption->mapTo(tab, QPoint(0, 0)).x() + caption->fontMetrics().horizontalAdvance(text);
        EXPECT_LT(textEnd + 4, ctrlX);
        const int ctrlEnd = ctrlX + ctrl->fontMetrics().horizontalAdvance(ctrl->text());
        EXPECT_LT(ctrlEnd + 4, page->edHKmain->mapTo(tab, QPoint(0, 0)).x());
    }
    EXPECT_EQ(ctrlColumn.size(), 1u);

    // The indicators of a ticked header box and a ticked box of the page, pixel for pixel.
    page->cbUseHotKey->setChecked(true);
    page->pcOptions->setCurrentIndex(0);
    page->cbShowBloks->setChecked(true);
    const auto indicator = [](QCheckBox* box) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect r = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        return box->grab(r.adjusted(3, 3, -3, -3)).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage header = indicator(page->cbUseHotKey);
    EXPECT_FALSE(header.isNull());
    EXPECT_EQ(header, indicator(page->cbShowBloks));
}

// ---- the library ---------------------------------------------------------------------------------

// The line under the hot-key boxes follows the session's backend: nothing where the program grabs the
// keys, where the desktop holds them a word on where, and where nothing could register them (another
// compositor, a refused registration, grabs that only see X11 windows) the commands to bind, whole.
TEST_F(OptionsTest, TheLineUnderTheHotKeysSaysHowTheyAreProvided) {
    struct Case {
        const char* what;
        THotKeyWay way;
        bool failed;
        const char* says;  // empty: no line
        bool commands;
    };
    const Case cases[] = {
        {"X11 grabs", THotKeyWay::Grabbed, false, "", false},
        {"sway", THotKeyWay::SwayBindings, false, "sway", false},
        {"GNOME", THotKeyWay::GnomeShortcuts, false, "Клавиатура", false},
        {"portal", THotKeyWay::Portal, false, "портал", false},
        {"portal refused", THotKeyWay::Portal, true, "не смогла", true},
        {"sway refused", THotKeyWay::SwayBindings, true, "не смогла", true},
        {"another compositor", THotKeyWay::Unavailable, false, "не смогла", true},
        {"Xwayland grabs", THotKeyWay::XwaylandOnly, false, "окно X11", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryHotKeys backend;
        backend.Pretend(c.way, c.failed);
        keys = &backend;
        Open();
        page->pcOptions->setCurrentIndex(1);
        QLabel* line = page->lbHotKeyWay;
        const QString text = line->text();
        EXPECT_EQ(line->isVisible(), *c.says != 0) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.says))) << text.toStdString();
        EXPECT_GE(line->height(), line->heightForWidth(line->width())) << "cut off: " << text.toStdString();
        for (const TRemoteOperation& op : kRemoteOperations) {
            const std::string command = RemoteHotKeyCommand("/usr/bin/weekleaf", op.HotKeyId);
            EXPECT_EQ(text.contains(QString("--") + op.Name), c.commands) << text.toStdString();
            EXPECT_EQ(line->toolTip().contains(QString::fromStdString(command)), c.commands) << command;
        }
        EXPECT_EQ(text.contains("\"/usr/bin/weekleaf\""), c.commands) << text.toStdString();
        page.reset();
        keys = nullptr;
    }
}

TEST_F(OptionsTest, PicturesAreAddedListedPreviewedAppliedAndDeletedAfterTheQuestion) {
    Open();
    picture = QString::fromStdString(Source("sea.bmp").string());
    page->btAddClick();
    picture = QString::fromStdString(Source("HILL.PNG").string());
    SaveBmp24(Image(8, 8), Source("HILL.PNG"));  // a BMP under a PNG name: the bytes decide
    page->btAddClick();
    EXPECT_EQ(Listed(), (QStringList{"HILL.PNG", "sea.bmp"}));
    EXPECT_TRUE(messages.empty());

    // The picture added last is selected and previewed.
    EXPECT_EQ(page->WppBox->currentItem()->text(), "HILL.PNG");
    ASSERT_TRUE(
        WaitFor([&] { return page->PreviewsShown() >= 1 && !page->imgPreview->pixmap().isNull(); }, 5000));
    const int previews = page->PreviewsShown();
    page->WppBox->setCurrentRow(1);
    ASSERT_TRUE(WaitFor([&] { return page->PreviewsShown() == previews + 1; }, 5000));
    EXPECT_EQ(page->imgPreview->pixmap().size(), QSize(238, 129));
    EXPECT_EQ(TSettings(paths.ConfigPath).WppCurIndex(), 1);

    page->btApplyClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(fs::path(shown[0]), paths.WppPath / "sea.bmp");

    answer = false;
    page->btDeleteClick();
    EXPECT_EQ(asked, std::vector<QString>{"Удалить обои?"});
    EXPECT_TRUE(fs::exists(paths.WppPath / "sea.bmp"));
    answer = true;
    page->btDeleteClick();
    EXPECT_FALSE(fs::exists(paths.WppPath / "sea.bmp"));
    EXPECT_EQ(Listed(), QStringList{"HILL.PNG"});
    // Nothing is selected after the list is refreshed: the buttons do nothing then.
    page->btDeleteClick();
    page->btApplyClick();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(OptionsTest, AnAddedPictureIsSelectedAndPreviewedAtOnce) {
    Open();
    for (const char* name : {"sea.bmp", "HILL.PNG", "meadow.bmp"}) {
        SCOPED_TRACE(name);
        const int previews = page->PreviewsShown();
        picture = QString::fromStdString(Source(name).string());
        page->btAddClick();
        ASSERT_NE(page->WppBox->currentItem(), nullptr);
        EXPECT_EQ(page->WppBox->currentItem()->text(), name);
        EXPECT_TRUE(page->WppBox->currentItem()->isSelected());
        EXPECT_TRUE(WaitFor([&] { return page->PreviewsShown() == previews + 1; }, 5000));
        EXPECT_EQ(TSettings(paths.ConfigPath).WppCurIndex(), page->WppBox->currentRow());
    }
}

// "Применить" on a file that is no picture, or one the desktop refuses, changes nothing and says so.
TEST_F(OptionsTest, ApplyingWhatCannotBeShownSaysWhyNothingHappened) {
    fs::create_directories(paths.WppPath);
    std::ofstream(paths.WppPath / "list.jpg") << "shopping list, not a picture";
    SaveBmp24(Image(8, 8), paths.WppPath / "sea.bmp");
    Open();
    struct Case {
        const char* name;
        bool desktopRefuses;
        std::size_t shown;
    };
    for (const Case& c : {Case{"list.jpg", false, 0}, Case{"sea.bmp", true, 0}, Case{"sea.bmp", false, 1}}) {
        SCOPED_TRACE(c.name);
        messages.clear();
        shown.clear();
        page->WppBox->setCurrentItem(page->WppBox->findItems(c.name, Qt::MatchExactly).value(0));
        refuse = c.desktopRefuses;  // the desktop's refusal arrives as an exception from the link
        page->btApplyClick();
        EXPECT_EQ(shown.size(), c.shown);
        if (c.shown) {
            EXPECT_TRUE(messages.empty());
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0],
                      QString("Обои не применены: файл «%1» не читается как изображение.").arg(c.name));
        }
    }
}

// The picture dialog opens in the user's pictures folder (XDG_PICTURES_DIR, else home) and names
// the types of its entries in Russian, a folder as "Папка".
TEST_F(OptionsTest, ThePictureDialogOpensInThePicturesFolderAndSpeaksRussian) {
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    const fs::path userHome = root / "home", pictures = userHome / "Снимки";
    fs::create_directories(root / "config");
    std::ofstream(root / "config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Снимки\"\n";
    ::setenv("HOME", userHome.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    struct Case {
        bool picturesExist;
        fs::path expected;
    };
    for (const Case& c : {Case{false, userHome}, Case{true, pictures}}) {
        SCOPED_TRACE(c.expected.string());
        fs::create_directories(userHome);
        if (c.picturesExist) {
            fs::create_directories(pictures / "отпуск");
            SaveBmp24(Image(4, 4), pictures / "sea.png");
        }
        const std::unique_ptr<QFileDialog> dialog = MakePictureDialog(nullptr);
        EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), c.expected);
        if (!c.picturesExist) continue;
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->show();
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        const auto typeOf = [&](const char* name) {
            const QModelIndex index = model->index(QString::fromStdString((pictures / name).string()));
            return model->data(index.siblingAtColumn(2)).toString();
        };
        EXPECT_TRUE(WaitFor([&] { return typeOf("отпуск") == "Папка"; }, 5000))
            << typeOf("отпуск").toStdString();
        EXPECT_TRUE(WaitFor([&] { return typeOf("sea.png") == "Файл PNG"; }, 5000))
            << typeOf("sea.png").toStdString();
        dialog->close();
    }
    ::setenv("HOME", home.constData(), 1);
    if (config.isEmpty()) {
        ::unsetenv("XDG_CONFIG_HOME");
    } else {
        ::setenv("XDG_CONFIG_HOME", config.constData(), 1);
    }
}

TEST_F(OptionsTest, AFailedCopyShowsItsMessageAndACancelledDialogAddsNothing) {
    Open();
    picture = QString();
    page->btAddClick();
    EXPECT_TRUE(messages.empty());
    picture = QString::fromStdString((root / "missing.jpg").string());
    page->btAddClick();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith("Невозможно скопировать файл обоев:\n")) << messages[0].toStdString();
    EXPECT_TRUE(Listed().isEmpty());
}

TEST_F(OptionsTest, AFolderThatCannotBeCreatedShowsItsMessage) {
    fs::remove_all(paths.WppPath);
    std::ofstream(paths.WppPath) << "a file where the folder should be";
    Open();
    picture = QString::fromStdString(Source("sea.bmp").string());
    page->btAddClick();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith("Невозможно создать папку для хранения обоев:\n"))
        << messages[0].toStdString();
}

TEST_F(OptionsTest, APictureThatCannotBeDecodedShowsAOneLineMessageAndNoPreview) {
    fs::create_directories(paths.WppPath);
    std::ofstream(paths.WppPath / "broken.jpg") << "\xff\xd8\xff this is not a picture";
    Open();
    page->WppBox->setCurrentRow(0);
    ASSERT_TRUE(WaitFor([&] { return page->lbPreviewMessage->text().startsWith("Нет просмотра"); }, 5000));
    EXPECT_TRUE(page->imgPreview->pixmap().isNull());
    EXPECT_EQ(page->PreviewsShown(), 0);
}

}  // namespace
}  // namespace wl::test
