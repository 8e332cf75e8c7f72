#pragma once
// The main window: the one place where the program's objects are created and wired (FormCreate),
// the timers that drive the change posting, the drawing and the wallpaper rotation, the tray icon
// and the exit path.
//
// Ownership: everything here belongs to the main thread. The window owns the settings, the note
// store, the sync client, the desktop backend and the drawing scheduler; the drawing thread sees
// only the DrawRequest copied here, and the sync client's handlers reach the store through a
// queued call onto this thread.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/AppCommandLine.h"
#include "app/ISyncClient.h"
#include "app/UnpostedDays.h"
#include "data/DataFiles.h"
#include "platform/HotKeys.h"

class QAction;
class QLabel;
class QMenu;
class QScreen;
class QSystemTrayIcon;

namespace wl {

class DrawScheduler;
class IDesktop;
class TCalendarPanel;
class THeaderButton;
class TSyncMark;
class TSettings;
class TWeekleaf;
class TfrMain;
class TfmBar;
class TfmEditor;
class IOtherWindows;
class TfrNote;
class TfrTemplate;
class TfrSettings;
class TfrDevelopers;
class TfrOptions;
struct TTextPageLinks;
struct TFormatKeys;

class TfmMain : public QWidget {
    Q_OBJECT
  public:
    // The window and its controls (830 x 550, borderless, the program's green); nothing of the
    // other subsystems exists until FormCreate.
    explicit TfmMain(QWidget* parent = nullptr);
    // FormDestroy.
    ~TfmMain() override;

    // Pieces that other parts of the program plug in; every one may stay empty.
    struct Hooks {
        // The sync client over the store and settings (the program's own: MakeWLSocketLink).
        std::function<std::unique_ptr<ISyncClient>(TWeekleaf&, TSettings&)> MakeSyncClient;
        // The desktop backend; MakeDesktop() when empty.
        std::function<std::unique_ptr<IDesktop>()> MakeDesktop;
        std::function<void(TfmMain&)> RegisterHotKeys, UnregisterHotKeys;
        // How the keys are provided and each key's remote command, for the options page's line.
        std::function<THotKeyWay()> HotKeyWay;
        HotKeyCommand RemoteCommand;
        // Autostart follows StartWithOS at every start: AddToStartUp when on, RemoveFromStartUp
        // when off. Restart starts the restarter and, when it is running, tFixHalt.
        std::function<void()> AddToStartUp, RemoveFromStartUp, CheckUpdate, Restart;
        std::function<void(TfmMain&)> CreateLogWindow;   // the sync log window and its gate
        std::function<void()> StartRebuildDB;            // first step of the store conversion
        std::function<void(ISyncClient&)> EndRebuildDB;  // its last step, once connected
        // Puts the other programs' windows away when the bar or the overlay opens; when empty,
        // KWin's scripting in a Plasma Wayland session, else on the xcb platform the X11 backend,
        // otherwise nothing.
        std::function<std::unique_ptr<IOtherWindows>()> MakeOtherWindows;
        // Shows a start-up failure; a message box when empty.
        std::function<void(const QString&)> ShowError;
        // "Просмотр лога" on the options page: the sync log's password gate (CreateLogWindow made it).
        std::function<void(TfmMain&)> ShowLogGate;
        // The clock of the options page's due dates; Now() when empty.
        std::function<DateTime()> Now;
        // Whether a system tray can hold the icon; QSystemTrayIcon::isSystemTrayAvailable() when
        // empty. Without one, closing minimises and a hidden start shows the window.
        std::function<bool()> TrayAvailable;
    };
    Hooks hooks;

    // The creation steps in their fixed order. A step that throws is reported to the user (the
    // message names the file and the fault) and the remaining steps are skipped: the program
    // keeps running with read-only pages and the reason in the header. The sync connection's
    // failure is only logged.
    void FormCreate();
    // How the window comes up (set before FormCreate); the autostart's "as set" by default.
    TAppCommandLine::TWindow StartWindow = TAppCommandLine::TWindow::AsSet;
    // Step 11 decided that the window stays hidden in the tray (only when a tray is there).
    bool HideAtStart() const { return FHideAtStart; }
    // The window is on the screen (shown and not minimised): a newer instance shows it too.
    bool WindowShown() const { return isVisible() && !isMinimized(); }

    void GoAllTimers();
    void StopAllTimers();

    // "Выход": stores what the day editor holds, stops the timers, waits (processing events) for
    // a drawing run to end, restores WppOld.bmp and ends the event loop, whatever the window's
    // state (shown or in the tray).
    void CloceMenuClick();
    // Log-off, shut-down, SIGTERM: the same as "Выход".
    void SessionEnd() { CloceMenuClick(); }
    // A newer instance asked this one to end: the day editor is stored, then the program quits
    // without restoring the wallpaper.
    void QuitForNewInstance();
    void Suspend() { StopAllTimers(); }
    void Resume() { GoAllTimers(); }

    void ShowWeekleaf();
    void ShowNote();
    void ShowTemplate();
    void ShowBlocks();
    void ShowEditor();
    // The hot-key message: identifier 0..4 runs ShowWeekleaf, ShowNote, ShowTemplate, ShowBlocks,
    // ShowEditor; any other does nothing.
    void hot_key(int id);
    void N1Click();  // "Отобразить приложение"
    // "Перейти на сайт проекта"; without a browser to open it, a message shows the address
    // (selectable, to be copied).
    void N2Click();

    void tPostDataTimer();
    void tCheckDataTimer();
    void tWppChangeTimer();

    // Stores and posts an edit the change-posting tick has not taken yet; blocks (processing
    // events) until the editor answered. Used on every path that ends the program.
    void FlushDayEditor();

    bool DrawIdle() const;
    TSettings* Settings() const { return FSettings.get(); }
    TWeekleaf* Weekleaf() const { return FWeekleaf.get(); }
    ISyncClient* Sync() const { return FSync.get(); }
    IDesktop* Desktop() const { return FDesktop.get(); }
    DrawScheduler* Draw() const { return FDraw.get(); }
    const UnpostedDays& Unposted() const { return FUnposted; }
    const DataPaths& Paths() const { return FPaths; }
    // Drawing runs started so far (for tests and figures).
    int DrawRuns() const { return FDrawRuns; }

    // Controls, by their names.
    QLabel* pHead;
    THeaderButton *imgCollapse, *imgClose;
    QLabel* lbMessage;
    TSyncMark* SyncMark;  // is the service reachable, do edits wait to be sent
    QWidget* pFrames;
    TCalendarPanel* pLeft = nullptr;
    TfrMain* frMain = nullptr;
    TfmBar* fmBar = nullptr;  // the navigation bar; it owns the desktop editor overlay
    TfrNote* frNote = nullptr;
    TfrSettings* frSettings = nullptr;
    TfrTemplate* frTemplate = nullptr;
    TfrDevelopers* frDevelopers = nullptr;
    TfrOptions* frOptions = nullptr;
    QSystemTrayIcon* TrayIcon;
    QMenu* TrayPopup;
    QAction *N1, *N2, *CloceMenu;
    QTimer tPostData, tWppChange, tCheckData, tRestart, tFixHalt;
    // The periodic restart never takes the window from under the user: when tRestart is due it
    // waits (looking again every tRestartWait) until no window of the program is active and no
    // key was pressed for RestartQuietMs.
    QTimer tRestartWait;
    int RestartQuietMs = 180000;

  protected:
    void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
    void showEvent(QShowEvent* event) override;    // FormShow
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildHeader();
    void BuildTray();
    void GetFrames();
    void FitDayPage();
    void CreateBar();
    TfmEditor* MakeEditor();
    // The monitor the week is drawn on, and the drawn picture.
    QScreen* WeekMonitor() const;
    QString DrawnWeekPath() const;
    // Ends the bar's work: the overlay saves and closes, the bar hides, the current week returns.
    void CloseBar();
    void ShowDayPage();
    // Hides every page of the page area except `page` (and the settings strip when `keepStrip`).
    void ShowOnlyPage(QWidget* page, bool keepStrip = false);
    TTextPageLinks StoredTextLinks(const char* member, void (TWeekleaf::*store)(std::string));
    void RefreshNotePreview();
    // The editors' bold and strike-out keys as the settings hold them now.
    TFormatKeys FormatKeys() const;
    void CreateOptions();
    void ApplyAutostart();
    void CreateSync();
    // Posts one day or page ("note", "template") through the unposted record (kept for later when
    // it cannot be sent).
    void PostDay(Date day, const std::string& html);
    void PostPage(const std::string& page, const std::string& html);
    // SET_NOTE or SET_TEMPLATE through the sync client (which must exist).
    void SendPage(const std::string& page, const std::string& html);
    void StoreAndPost(Date day, const std::string& html);
    void KeepConnectionUp();
    // Sends the days and pages kept while the connection was down (their stored text).
    void FlushUnposted();
    void TickEditor();
    // The sync mark and the calendar's entry marks follow the connection, the waiting edits and the store.
    void RefreshMarks();
    void TickResult(Date shown, const QString& state, const QString& html);
    void ReportStartError(const QString& text);
    // A creation step failed: the user is told, the pages become read-only and the header keeps
    // the reason (the file and the fault).
    void StartFailed(const QString& fault);
    bool TrayAvailable() const;
    void ShowSiteAddress();
    // Ends the event loop without asking the windows to close (this one refuses: it hides).
    void EndEventLoop();
    void RestartWhenQuiet();
    // The editor of the page on show (day, notes or template) takes the keyboard, the caret after
    // its text: the window comes up for writing.
    void FocusShownEditor();

    std::unique_ptr<TSettings> FSettings;
    std::unique_ptr<TWeekleaf> FWeekleaf;
    std::unique_ptr<ISyncClient> FSync;
    std::unique_ptr<IDesktop> FDesktop;
    std::unique_ptr<DrawScheduler> FDraw;
    std::unique_ptr<IOtherWindows> FOtherWindows;
    UnpostedDays FUnposted;
    DataPaths FPaths;
    bool FHideAtStart = false;
    bool FStartFailed = false;  // a creation step failed: nothing typed could be kept
    bool FTickBusy = false;     // a tick's look at the editor waits for its answer
    QElapsedTimer FTickClock;
    QElapsedTimer FLastKey;  // since the last key press in any of the program's windows
    bool FExiting = false;
    int FDrawRuns = 0;
};

}  // namespace wl
