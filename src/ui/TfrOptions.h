#pragma once
// The options page: the wallpaper library and its rotation, the desktop blocks and their
// transparency, the global hot keys and the start-up options. Filled from the settings when the
// settings menu shows it (LoadSettings) and written back only by its "OK" (SetSettings); leaving
// it otherwise keeps nothing.
//
// Owner: the main window's page area; main thread only. The library preview is decoded on a
// worker thread and handed back to the main thread; only the newest request is shown.
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/DateText.h"
#include "platform/HotKeys.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;

namespace wl {

class TPanelButton;
class TSettings;
class TWppLibrary;

// What the page needs from the rest of the program; every member may stay empty (step skipped,
// or the plain default noted).
struct TOptionsLinks {
    // Puts a library picture on the desktop (errors are ignored by the page).
    std::function<void(const std::string& path)> SetWallpaper;
    // Puts the user's own wallpaper back (blocks switched off or transparency changed).
    std::function<void()> RestoreUserWallpaper;
    // Switches the rotation timer on or off.
    std::function<void(bool on)> WppTimer;
    // Re-registers the application hot keys from the settings (true) or unregisters them (false).
    std::function<void(bool use)> HotKeys;
    // The settings were written: refresh the drawing's copies of them.
    std::function<void()> SettingsApplied;
    // "Просмотр лога": the password gate, modal.
    std::function<void()> ShowLog;
    // The clock; Now() when empty.
    std::function<DateTime()> Now;
    // The confirmation question; the program's TfmConfirm when empty.
    std::function<bool(const QString& title, const QString& msg)> Confirm;
    // The picture file dialog; an empty text means cancelled. A QFileDialog when empty.
    std::function<QString()> AskPicture;
    // A plain message box.
    std::function<void(const QString& text)> ShowMessage;
    // How the session provides the hot keys (Grabbed when empty), and the command that does a
    // key's show operation, which the user binds where the program cannot register the keys.
    std::function<THotKeyWay()> HotKeyWay;
    HotKeyCommand RemoteCommand;
};

// The picture dialog of "Добавить": opens in the user's pictures folder and names file types in
// Russian.
std::unique_ptr<QFileDialog> MakePictureDialog(QWidget* parent);

// The one-character typing rule of the hot-key boxes: Backspace and the Latin letters and digits
// are taken (replacing what the box held), everything else is discarded.
bool HotKeyKeyAccepted(int key, const QString& text);

// The line under the hot-key boxes: how the keys are provided, and where the program cannot
// register them, the commands to bind in the desktop's settings. Empty for keys the program grabs.
QString HotKeyWayText(THotKeyWay way, const HotKeyCommand& command);

class TfrOptions : public QWidget {
    Q_OBJECT
  public:
    TfrOptions(TSettings& settings, std::filesystem::path wppFolder, TOptionsLinks links = {},
               QWidget* parent = nullptr);
    ~TfrOptions() override;

    void LoadSettings();
    void SetSettings();
    void SetHotKeyState();
    void ShowHotKeyWay();
    void btCloseClick();  // "OK"

    // Library (first tab).
    void ListUpdate();
    void btAddClick();
    void btDeleteClick();
    void btApplyClick();
    void WppBoxClick();

    // The transparency as last loaded; OK compares with it.
    bool UseAlphaBlend = false;
    // Previews decoded so far and shown (for tests and figures).
    int PreviewsShown() const { return FPreviewsShown; }

    QTabWidget* pcOptions;
    QListWidget* WppBox;
    QLabel* imgPreview;
    QLabel* lbPreviewMessage;  // one line when a picture has no preview
    TPanelButton *btAdd, *btDelete, *btApply, *btClose, *btLog;
    QCheckBox *cbShowBloks, *cbAlphaBlend, *cbWppRandom, *cbUseHotKey, *cbEditorKeys;
    QComboBox *cbFonts, *cbFontSize, *cbWppTime;
    QLineEdit *edHKmain, *edHKnote, *edHKtemplate, *edHK_block, *edHK_Editor;
    QLineEdit *edHKBold, *edHKItalic, *edHKStrikeOut;
    std::array<QLabel*, 5> lbHotKeys;  // the labels of the five application boxes
    QLabel* lbHotKeyWay;               // HotKeyWayText, hidden when empty
    QCheckBox *cbAutorun, *cbHide, *cbCheckUpdates;

  signals:
    // "OK" wrote the settings: the main window hides the menu and this page and shows the day page.
    void Closed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QWidget* BuildWallpaperTab();
    QWidget* BuildHotKeyTab();
    QWidget* BuildGeneralTab();
    QLineEdit* HotKeyBox(QWidget* parent, const char* name, int x, int y);
    void ShowPreview(int request, const QImage& picture, const QString& error);
    bool Ask(const QString& title, const QString& msg);
    void Message(const QString& text);
    DateTime Clock() const;

    TSettings& FSettings;
    TOptionsLinks L;
    std::unique_ptr<TWppLibrary> FLibrary;
    int FPreviewRequest = 0;  // newest preview asked for; older answers are dropped
    int FPreviewsShown = 0;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace wl
