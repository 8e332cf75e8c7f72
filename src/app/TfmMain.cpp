#include "app/TfmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

#include "app/AppState.h"
#include "app/THeaderButton.h"
#include "app/TSyncMark.h"
#include "app/TfmFirstLunch.h"
#include "data/HtmlToText.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "diag/ErrLog.h"
#include "platform/DataDir.h"
#include "platform/KWinOtherWindows.h"
#include "platform/OpenInBrowser.h"
#include "platform/OtherWindows.h"
#include "platform/QtPlatformChoice.h"
#include "platform/QtScreens.h"
#include "platform/WeekleafVersion.h"
#include "ui/EditingRules.h"
#include "ui/TCalendarPanel.h"
#include "ui/TImageButton.h"
#include "ui/TMonthCalendar.h"
#include "ui/TWebBrowser.h"
#include "ui/TfmBar.h"
#include "ui/TfmEditor.h"
#include "ui/TfmWeekScreen.h"
#include "ui/TfrDevelopers.h"
#include "ui/TfrMain.h"
#include "ui/TfrNote.h"
#include "ui/TfrOptions.h"
#include "ui/TfrSettings.h"
#include "ui/TfrTemplate.h"
#include "ui/UiLook.h"
#include "wallpaper/Blender.h"
#include "wallpaper/Drawing.h"
#include "wallpaper/TDrawTH.h"
#include "wallpaper/TWallPaper.h"
#include "wallpaper/WppLibrary.h"

namespace wl {
namespace {

const QString kCaption = QString("    Weekleaf ") + kWeekleafVersion;
constexpr const char* kProjectSite = "https://weekleaf.org";
constexpr int kCheckInterval = 3000;
constexpr int kCheckIntervalBar = 1000;
constexpr int kReasonLeft = 140;  // where the header's status text may start, clear of the caption
constexpr qint64 kTickAnswerLimitMs = 10000;

QString Qs(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
std::string Ss(const QString& s) {
    return s.toUtf8().toStdString();
}

Date ToDate(const QDate& d) {
    return MakeDate(d.year(), d.month(), d.day());
}

// Whether a stored entry holds anything to read (an emptied day keeps "" or an empty paragraph).
bool HoldsEntry(const std::string& html) {
    if (html.find("<img") != std::string::npos) return true;
    const std::string text = HtmlToText(html);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\xC2\xA0") == 0) {  // a no-break space is white space too
            ++i;
        } else if (!std::isspace(static_cast<unsigned char>(text[i]))) {
            return true;
        }
    }
    return false;
}

void MainThreadExecutor(std::function<void()> fn) {
    QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
}

}  // namespace

// ---- window --------------------------------------------------------------------------------------

TfmMain::TfmMain(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("TfmMain");
    setWindowTitle("Weekleaf");
    setWindowIcon(QIcon(":/wl/app/weekleaf.svg"));
    setFixedSize(830, 550);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kGreen);
    setPalette(pal);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    BuildHeader();
    pFrames = new QWidget(this);
    pFrames->setObjectName("pFrames");
    pFrames->setGeometry(330, 25, 500, 525);
    BuildTray();

    tPostData.setInterval(1000);
    tWppChange.setInterval(60000);
    tCheckData.setInterval(kCheckInterval);
    tRestart.setInterval(7000000);
    tFixHalt.setInterval(5000);
    connect(&tPostData, &QTimer::timeout, this, &TfmMain::tPostDataTimer);
    connect(&tCheckData, &QTimer::timeout, this, &TfmMain::tCheckDataTimer);
    connect(&tWppChange, &QTimer::timeout, this, &TfmMain::tWppChangeTimer);
    connect(&tRestart, &QTimer::timeout, this, &TfmMain::RestartWhenQuiet);
    tRestartWait.setInterval(1000);
    tRestartWait.setSingleShot(true);
    connect(&tRestartWait, &QTimer::timeout, this, &TfmMain::RestartWhenQuiet);
    // The end of a restart: nothing is restored (the new instance draws again), the typing that
    // the change posting has not taken yet is stored and posted first, and the program ends the
    // ordinary way so that the editors' browser processes end with it.
    tFixHalt.setSingleShot(true);
    connect(&tFixHalt, &QTimer::timeout, this, &TfmMain::QuitForNewInstance);
    // Every key press of every window of the program, for the restart's quiet spell.
    qApp->installEventFilter(this);
}

TfmMain::~TfmMain() {
    // FormDestroy: a failure here ends the process at once.
    try {
        StopAllTimers();
        if (FSettings && FSettings->UseHotKey() && hooks.UnregisterHotKeys) hooks.UnregisterHotKeys(*this);
        FSync.reset();  // its handlers write into the store
        FDraw.reset();  // waits for a run still going
        FWeekleaf.reset();
        FSettings.reset();
        delete fmBar;
        fmBar = nullptr;
        delete frMain;
        frMain = nullptr;
    } catch (...) {
        std::_Exit(1);
    }
}

void TfmMain::BuildHeader() {
    pHead = new QLabel(kCaption, this);
    pHead->setObjectName("pHead");
    pHead->setGeometry(0, 0, 830, 25);
    pHead->setFont(UiFont("Comic Sans MS", 12, true));
    pHead->setStyleSheet("QLabel { color: white; background: #19AE84; }");
    pHead->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pHead->installEventFilter(this);

    lbMessage = new QLabel(pHead);
    lbMessage->setObjectName("lbMessage");
    lbMessage->setGeometry(330, 2, 448, 22);
    lbMessage->setAlignment(Qt::AlignCenter);
    lbMessage->setFont(UiFont("Comic Sans MS", 12, true));
    lbMessage->setStyleSheet("QLabel { color: white; }");
    lbMessage->installEventFilter(this);

    SyncMark = new TSyncMark(pHead);
    SyncMark->move(760, 4);

    imgCollapse = new THeaderButton(":/wl/app/collapse.svg", ":/wl/app/collapseW.svg", pHead);
    imgCollapse->setObjectName("imgCollapse");
    imgCollapse->move(784, 0);
    imgCollapse->onClick = [this] { showMinimized(); };
    imgClose = new THeaderButton(":/wl/app/close.svg", ":/wl/app/closeW.svg", pHead);
    imgClose->setObjectName("imgClose");
    imgClose->move(806, 0);
    imgClose->onClick = [this] { close(); };
}

void TfmMain::BuildTray() {
    TrayIcon = new QSystemTrayIcon(QIcon(":/wl/app/weekleaf.svg"), this);
    TrayIcon->setToolTip("Weekleaf");
    TrayPopup = new QMenu(this);
    N1 = TrayPopup->addAction("Отобразить приложение", this, &TfmMain::N1Click);
    N2 = TrayPopup->addAction("Перейти на сайт проекта", this, &TfmMain::N2Click);
    CloceMenu = TrayPopup->addAction("Выход", this, &TfmMain::CloceMenuClick);
    TrayIcon->setContextMenu(TrayPopup);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick) N1Click();
    });
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) FLastKey.start();
    // Dragging the borderless window by its header.
    const bool header = watched == pHead || watched == lbMessage;
    if (header && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (QWindow* w = windowHandle()) w->startSystemMove();
        return true;
    }
    // The tray menu opens from the header too: without a tray it is the only way to "Выход".
    if (header && event->type() == QEvent::ContextMenu) {
        TrayPopup->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfmMain::closeEvent(QCloseEvent* event) {
    // The program is ending: nothing is held up.
    if (FExiting) {
        event->accept();
        return;
    }
    // FormCloseQuery: closing hides the window to the tray; only "Выход" ends the program.
    // Without a tray a hidden window could never come back, so it is minimised instead.
    event->ignore();
    if (!TrayAvailable()) {
        showMinimized();
        return;
    }
    TrayIcon->show();
    hide();
}

bool TfmMain::TrayAvailable() const {
    return hooks.TrayAvailable ? hooks.TrayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TfmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FWeekleaf || !pLeft) return;
    pLeft->SetNotePreview(Qs(HtmlToText(FWeekleaf->Get("note"))));
    RefreshMarks();
}

// ---- creation ------------------------------------------------------------------------------------

void TfmMain::ReportStartError(const QString& text) {
    if (hooks.ShowError) {
        hooks.ShowError(text);
        return;
    }
    QMessageBox::critical(this, "Weekleaf", text);
}

void TfmMain::StartFailed(const QString& fault) {
    const QString text = "Weekleaf не может продолжить запуск.\n\n" + fault;
    // The program keeps running, but nothing typed could be kept (the timers never started and
    // the store may be missing): the pages take no input until a start with readable files, and
    // the header says why for as long as that lasts.
    FStartFailed = true;
    FHideAtStart = false;
    pFrames->setEnabled(false);
    if (frMain) frMain->WebBrowser->SetReadOnly(true);
    if (frNote) frNote->WebBrowser->SetReadOnly(true);
    if (frTemplate) frTemplate->WebBrowser->SetReadOnly(true);
    // Without a store no day loads, but the week header still says where in time the user is.
    if (pLeft) pLeft->ShowDate(QDate::currentDate());
    if (frMain) frMain->UpdateWeekHeader(QDate::currentDate());
    QString shortFault = fault;
    const QString folder = QString::fromStdString(DataDir().string());
    if (!folder.isEmpty()) shortFault.replace(folder + "/", "");
    const QString header = "Только чтение: " + shortFault;
    // The reason takes the header from just after the caption to the buttons.
    lbMessage->setGeometry(kReasonLeft, lbMessage->y(), lbMessage->geometry().right() - kReasonLeft + 1,
                           lbMessage->height());
    lbMessage->setText(lbMessage->fontMetrics().elidedText(header, Qt::ElideRight, lbMessage->width()));
    lbMessage->setToolTip(text + "\n\nИсправьте или уберите файл и запустите Weekleaf снова.");
    ReportStartError(text);
}

void TfmMain::FormCreate() {
    try {
        // 1. Dates are written "dd.mm.yyyy" throughout (platform/DateText.h): nothing to set.
        // 2. Data folder and first-run files.
        FPaths = CheckFiles(FirstStart);
        // 3. Settings and their process-wide copies.
        FSettings = std::make_unique<TSettings>(FPaths.ConfigPath);
        BlockFontName = FSettings->Font();
        BlockFontSize = FSettings->FontSize();
        BlocksVisible = FSettings->ShowBloks();
        BlockAlpha = FSettings->ALPHABLEND_VALUE();
        // 4. Pages.
        GetFrames();
        // 5. Global hot keys.
        if (FSettings->UseHotKey() && hooks.RegisterHotKeys) hooks.RegisterHotKeys(*this);
        // 6. Note store.
        FWeekleaf = std::make_unique<TWeekleaf>(FPaths.DataJsonPath());
        // The edits an earlier run could not send; they go out before the week is asked for.
        FUnposted.Open(FPaths.UnpostedPath());
        // 7. The drop shadow belongs to the window manager on X11.
        // 8. Calendar at today.
        pLeft->ShowDate(QDate::currentDate());
        // The day and its week show as soon as the editor is ready, not a tick later.
        frMain->GoOnceLoadCurrentDay();
        // The desktop and the drawing, needed from step 9 on.
        FDesktop = hooks.MakeDesktop ? hooks.MakeDesktop() : MakeDesktop();
        FDraw = std::make_unique<DrawScheduler>(*FDesktop, MainThreadExecutor);
        // The bar's week screen follows the picture (a week step redraws it).
        FDraw->SetOnIdle([this] {
            if (fmBar) fmBar->WeekDrawn();
        });
        // 9. First run: the first-start dialog, then a backup of the current wallpaper.
        if (FirstStart) {
            TfmFirstLunch dialog(*FSettings, this);
            dialog.exec();
            BackUpWpp(*FDesktop);
        }
        // 10. Autostart.
        ApplyAutostart();
        // 11. Hidden in the tray at start (without a tray the window shows: it could not come back).
        // Only the autostart follows the setting; a start by hand shows the window.
        const bool hidden = StartWindow == TAppCommandLine::TWindow::Hidden ||
                            (StartWindow == TAppCommandLine::TWindow::AsSet && FSettings->HideOnStart());
        if (!FirstStart && hidden && TrayAvailable()) {
            FHideAtStart = true;
            TrayIcon->show();
            TrayIcon->showMessage("Weekleaf", "Приложение работает!", QSystemTrayIcon::Information, 1000);
        }
        // 12. Timers.
        GoAllTimers();
        // 13. Update check.
        if (FSettings->CheckUpdate() && hooks.CheckUpdate) hooks.CheckUpdate();
        // 14. Caption.
        pHead->setText(kCaption);
        // 15. Sync log window.
        if (hooks.CreateLogWindow) hooks.CreateLogWindow(*this);
        // 16. Store conversion, first step.
        if (hooks.StartRebuildDB) hooks.StartRebuildDB();
    } catch (const std::exception& e) {
        StartFailed(QString::fromUtf8(e.what()));
        return;
    }
    // 17. Sync client.
    CreateSync();
}

void TfmMain::CreateSync() {
    if (!hooks.MakeSyncClient) return;
    try {
        FSync = hooks.MakeSyncClient(*FWeekleaf, *FSettings);
        if (!FSync) return;
        FSync->SetBeforeWeek([this] { FlushUnposted(); });
        FSync->OnStatus = [this](const std::string& text) {
            lbMessage->setText(Qs(text));
            QTimer::singleShot(3000, lbMessage, [this] { lbMessage->clear(); });
        };
        FSync->OnNotePreview = [this](const std::string& text) {
            if (pLeft) pLeft->SetNotePreview(Qs(text));
        };
        FSync->OnDayStored = [this](Date) {
            if (pLeft) pLeft->StoreDaysArrived();
        };
        FSync->Start();
    } catch (const std::exception& e) {
        ErrLog(std::string("Err Create Soccet: ") + e.what());
    }
}

void TfmMain::GetFrames() {
    TDayPageLinks links;
    links.StoredText = [this](const std::string& key) -> std::string {
        if (!FWeekleaf) throw std::runtime_error("the note store is not loaded");
        return FWeekleaf->Get(key);
    };
    links.GetDay = [this](const QDate& d) {
        if (FSync && FSync->Connected()) FSync->GetDay(ToDate(d));
    };
    // Clearing a day works offline too: the empty text is posted once the connection is back.
    links.SetDay = [this](const QDate& d, const std::string& html) { PostDay(ToDate(d), html); };
    links.GetTemplate = [this] {
        if (FSync && FSync->Connected()) FSync->GetTemplate();
    };
    links.SetTemplate = [this](const std::string& html) {
        if (FSync && FSync->Connected()) FSync->SetTemplate(html);
    };
    links.StoreDay = [this](const QDate& d, const std::string& html) { StoreAndPost(ToDate(d), html); };
    frMain = new TfrMain(pFrames, std::move(links));
    FitDayPage();
    auto* lay = new QVBoxLayout(pFrames);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(frMain);

    pLeft = new TCalendarPanel(frMain, this);
    pLeft->setGeometry(0, 25, 330, 525);
    pLeft->LinkDayPage();
    pLeft->SetCurrentDate = [this](const QDate& d) {
        if (FWeekleaf) FWeekleaf->CurrentDate = ToDate(d);
    };
    pLeft->mayByShowDay = [this] { ShowDayPage(); };
    pLeft->ShowNotes = [this] { ShowNote(); };
    pLeft->StoreDocument = [this]() -> const JsonValue* { return FWeekleaf ? &FWeekleaf->JO : nullptr; };
    // The service answers with the matching days it holds, which replace the stored ones: the
    // edits it has not seen go out first, so that its answer carries them.
    pLeft->GetSearch = [this](const std::string& text) {
        if (!FSync || !FSync->Connected()) return;
        FlushUnposted();
        FSync->GetSearch(text);
    };
    pLeft->pMonth->HasEntry = [this](const QDate& d) {
        return FWeekleaf && HoldsEntry(FWeekleaf->Get(DayKey(d)));
    };
    connect(frMain, &TfrMain::NoteClick, this, &TfmMain::ShowNote);
    pLeft->show();

    // The other pages lie over the day page; the settings strip along the top, its sub-pages below.
    const QRect all(0, 0, pFrames->width(), pFrames->height()), below = all.adjusted(0, 80, 0, 0);
    frNote = new TfrNote(pFrames, StoredTextLinks("note", &TWeekleaf::NoteToJSON));
    frNote->setGeometry(all);
    frTemplate = new TfrTemplate(pFrames, StoredTextLinks("template", &TWeekleaf::TemplateToJSON));
    frTemplate->setGeometry(below);
    frDevelopers = new TfrDevelopers(kWeekleafVersion, pFrames);
    frDevelopers->setGeometry(below);
    CreateOptions();
    frOptions->setGeometry(below);
    TSettingsPages sub;
    sub.Template = frTemplate;
    sub.Options = frOptions;
    sub.LoadOptions = [this] { frOptions->LoadSettings(); };
    sub.Developers = frDevelopers;
    frSettings = new TfrSettings(pFrames, std::move(sub));
    frSettings->setGeometry(0, 0, pFrames->width(), 80);
    for (QWidget* page :
         {static_cast<QWidget*>(frNote), static_cast<QWidget*>(frTemplate), static_cast<QWidget*>(frOptions),
          static_cast<QWidget*>(frDevelopers), static_cast<QWidget*>(frSettings)})
        page->hide();
    connect(frNote, &TfrNote::Closed, this, [this] {
        ShowOnlyPage(frMain);
        RefreshNotePreview();
    });
    connect(frTemplate, &TfrTemplate::Closed, this, [this] { ShowOnlyPage(frMain); });
    connect(frDevelopers, &TfrDevelopers::Closed, this, [this] { ShowOnlyPage(frMain); });
    connect(frOptions, &TfrOptions::Closed, this, [this] { ShowOnlyPage(frMain); });
    connect(frMain, &TfrMain::SettingsClick, this, [this] {
        ShowOnlyPage(frSettings, true);
        frSettings->btOptClick();
    });
    frMain->WebBrowser->SetFormatKeys([this] { return FormatKeys(); },
                                      [this](const QString& caption) { frMain->FormatClick(caption); });
    // The notes and template editors follow the same formatting keys.
    for (TTextPage* page : {static_cast<TTextPage*>(frNote), static_cast<TTextPage*>(frTemplate)}) {
        page->WebBrowser->SetFormatKeys(
            [this] { return FormatKeys(); },
            [page](const QString& caption) {
                page->WebBrowser->FormatSelection(FormatCommandByCaption(caption));
            });
    }
    CreateBar();
}

void TfmMain::CreateBar() {
    TBarLinks links;
    links.MakeEditor = [this] { return MakeEditor(); };
    links.MakeWeekScreen = [this]() -> TfmWeekScreen* {
        if (SessionPlacesWindows(QGuiApplication::platformName().toStdString())) return nullptr;
        return new TfmWeekScreen(WeekMonitor(), DrawnWeekPath());
    };
    links.CollapseAllWindow = [this] {
        if (!FOtherWindows) {
            const bool x11 = QGuiApplication::platformName() == "xcb";
            FOtherWindows = hooks.MakeOtherWindows ? hooks.MakeOtherWindows() : MakeSessionOtherWindows(x11);
        }
        if (FOtherWindows) FOtherWindows->CollapseAllWindow();
    };
    links.RestoreCollapsed = [this] {
        if (FOtherWindows) FOtherWindows->RestoreCollapsed();
    };
    links.GetDaysRange = [this](const QDate& a, const QDate& b) {
        if (!FSync || !FSync->Connected()) return;
        try {
            FSync->GetDaysRange(ToDate(a), ToDate(b));
        } catch (const std::exception& e) {
            ErrLog(std::string("GetDaysRange: ") + e.what());
        }
    };
    links.SetCheckInterval = [this](int ms) { tCheckData.setInterval(ms); };
    links.ShowMainWindow = [this] { ShowWeekleaf(); };
    links.CloseMainWindow = [this] { close(); };
    // The day page shows the stored text of its day again (the overlay may have changed it).
    links.EditorClosed = [this] {
        if (FWeekleaf && frMain && frMain->ShownDate().isValid())
            frMain->ReloadIfIdle(FWeekleaf->Get(DayKey(frMain->ShownDate())));
    };
    fmBar = new TfmBar(std::move(links));
    connect(frMain, &TfrMain::BarClick, this, [this] {
        tCheckData.setInterval(kCheckIntervalBar);
        close();
        fmBar->show();
    });
}

QScreen* TfmMain::WeekMonitor() const {
    return ScreenNamed(FDesktop ? FDesktop->OutputName() : std::string());
}

QString TfmMain::DrawnWeekPath() const {
    return QString::fromStdString(FPaths.ModifiedBmpPath.string());
}

TfmEditor* TfmMain::MakeEditor() {
    QScreen* s = WeekMonitor();
    const QSize screen = s ? s->geometry().size() : QSize();
    if (!TfmEditor::Fits(screen)) {
        ErrLog("TfmEditor: the screen is too small for the week blocks");
        QMessageBox::warning(nullptr, "Weekleaf",
                             QString("Экран слишком мал для редактора недели (%1 × %2).")
                                 .arg(screen.width())
                                 .arg(screen.height()));
        return nullptr;
    }
    TEditorLinks links;
    links.StoredText = [this](const std::string& key) {
        return FWeekleaf ? FWeekleaf->Get(key) : std::string();
    };
    links.StoreBlock = [this](const std::string& key, const std::string& html) {
        // A block is written down as unsent before its text is stored, as StoreAndPost does.
        if (const auto day = StrToDate(key)) FUnposted.Keep(*day);
        FUnposted.KeepPage(key);
        if (FWeekleaf) FWeekleaf->ToJSON_FromBarEditor(key, html);
    };
    links.SendNote = [this](const std::string& html) { PostPage("note", html); };
    links.SendDay = [this](const QDate& d, const std::string& html) { PostDay(ToDate(d), html); };
    links.FormatKeys = [this] { return FormatKeys(); };
    links.FontName = Qs(BlockFontName);
    links.FontSize = BlockFontSize;
    links.FullScreen = !SessionPlacesWindows(QGuiApplication::platformName().toStdString());
    links.Monitor = s;
    links.DrawnWeek = DrawnWeekPath();
    return new TfmEditor(screen, std::move(links));
}

void TfmMain::CloseBar() {
    if (!fmBar || FStartFailed) return;
    fmBar->CloseEditor();
    fmBar->hide();
    tCheckData.setInterval(kCheckInterval);
    WeekOffsetDays.store(0);
}

TTextPageLinks TfmMain::StoredTextLinks(const char* member, void (TWeekleaf::*store)(std::string)) {
    TTextPageLinks links;
    links.StoredText = [this, member] { return FWeekleaf ? FWeekleaf->Get(member) : std::string(); };
    links.Store = [this, member, store](const std::string& html) {
        // Written down first, as a day is: a kill between storing and sending must not lose the post.
        FUnposted.KeepPage(member);
        if (FWeekleaf) ((*FWeekleaf).*store)(html);
    };
    links.Send = [this, member](const std::string& html) { PostPage(member, html); };
    return links;
}

void TfmMain::ApplyAutostart() {
    const auto& startUp = FSettings->StartWithOS() ? hooks.AddToStartUp : hooks.RemoveFromStartUp;
    if (startUp) startUp();
}

void TfmMain::CreateOptions() {
    TOptionsLinks links;
    links.SetWallpaper = [this](const std::string& path) {
        if (FDesktop && FDraw) SetWallpaperPath(*FDesktop, FDraw->Gate(), path);
    };
    links.RestoreUserWallpaper = [this] {
        if (FDesktop && FDraw) RestoreUserWallpaper(*FDesktop, FDraw->Gate());
    };
    links.WppTimer = [this](bool on) { on ? tWppChange.start() : tWppChange.stop(); };
    links.HotKeys = [this](bool use) {
        if (hooks.UnregisterHotKeys) hooks.UnregisterHotKeys(*this);
        if (use && hooks.RegisterHotKeys) hooks.RegisterHotKeys(*this);
    };
    links.SettingsApplied = [this] {
        BlockFontName = FSettings->Font();
        BlockFontSize = FSettings->FontSize();
        BlocksVisible = FSettings->ShowBloks();
        BlockAlpha = FSettings->ALPHABLEND_VALUE();
        // Autostart follows the tick at once, not only at the next start.
        ApplyAutostart();
    };
    links.ShowLog = [this] {
        if (hooks.ShowLogGate) hooks.ShowLogGate(*this);
    };
    links.Now = hooks.Now;
    links.HotKeyWay = hooks.HotKeyWay;
    links.RemoteCommand = hooks.RemoteCommand;
    frOptions = new TfrOptions(*FSettings, FPaths.WppPath, std::move(links), pFrames);
}

TFormatKeys TfmMain::FormatKeys() const {
    return FSettings ? TFormatKeys{FSettings->HotKeyBold(), FSettings->HotKeyStriceOut()} : TFormatKeys{};
}

void TfmMain::RefreshNotePreview() {
    if (FWeekleaf && pLeft) pLeft->SetNotePreview(Qs(HtmlToText(FWeekleaf->Get("note"))));
}

void TfmMain::ShowOnlyPage(QWidget* page, bool keepStrip) {
    for (QWidget* p : {static_cast<QWidget*>(frMain), static_cast<QWidget*>(frNote),
                       static_cast<QWidget*>(frTemplate), static_cast<QWidget*>(frOptions),
                       static_cast<QWidget*>(frDevelopers), static_cast<QWidget*>(frSettings)}) {
        if (!p || p == page || (keepStrip && p == frSettings)) continue;
        p->hide();
    }
    if (!page) return;
    page->show();
    page->raise();
}

void TfmMain::FitDayPage() {
    // The page area below the header is shorter than the day page's own layout: the editing
    // surface gives up the difference, so the bottom buttons stay in sight.
    frMain->setFixedSize(pFrames->size());
}

void TfmMain::ShowDayPage() {
    ShowOnlyPage(frMain);
}

void TfmMain::GoAllTimers() {
    tPostData.start();
    tWppChange.start();
    tCheckData.start();
    tRestart.start();
}

void TfmMain::StopAllTimers() {
    tPostData.stop();
    tWppChange.stop();
    tCheckData.stop();
    tRestart.stop();
    tRestartWait.stop();
}

void TfmMain::RestartWhenQuiet() {
    const bool typing = FLastKey.isValid() && FLastKey.elapsed() < RestartQuietMs;
    if (QApplication::activeWindow() || typing) {
        tRestartWait.start();
        return;
    }
    tRestartWait.stop();
    if (hooks.Restart) hooks.Restart();
}

bool TfmMain::DrawIdle() const {
    return !FDraw || FDraw->DrawIdle();
}

// ---- show operations ------------------------------------------------------------------------------

void TfmMain::FocusShownEditor() {
    const std::pair<QWidget*, TWebBrowser*> pages[] = {
        {frMain, frMain ? frMain->WebBrowser : nullptr},
        {frNote, frNote ? frNote->WebBrowser : nullptr},
        {frTemplate, frTemplate ? frTemplate->WebBrowser : nullptr},
    };
    for (const auto& [page, editor] : pages) {
        if (!page || !editor || !page->isVisibleTo(this)) continue;
        editor->FocusAtEnd();
        return;
    }
}

void TfmMain::ShowWeekleaf() {
    CloseBar();
    showNormal();
    raise();
    activateWindow();
    ShowDayPage();
    FocusShownEditor();
}

void TfmMain::ShowNote() {
    showNormal();
    raise();
    activateWindow();
    ShowOnlyPage(frNote);
    if (FSync && FSync->Connected()) {
        try {
            FSync->GetNote();
        } catch (const std::exception& e) {
            ErrLog(std::string("ShowNote: ") + e.what());
        }
    }
    if (frNote) frNote->LoadStored();
    FocusShownEditor();
}

void TfmMain::ShowTemplate() {
    showNormal();
    raise();
    activateWindow();
    ShowOnlyPage(frSettings, true);
    if (frSettings) frSettings->btTemplClick();
    FocusShownEditor();
}

void TfmMain::ShowBlocks() {
    if (!FSettings) return;
    BlocksVisible = !BlocksVisible;
    try {
        FSettings->SetShowBloks(BlocksVisible);
    } catch (const std::exception& e) {
        // A read-only Config.ini keeps the old choice for the next start; this one still switches.
        ErrLog(std::string("ShowBlocks: ") + e.what());
    }
    if (BlocksVisible || !FDraw) return;
    RestoreUserWallpaper(*FDesktop, FDraw->Gate());
}

void TfmMain::ShowEditor() {
    // After a failed start the desktop editor could keep nothing either.
    if (!fmBar || FStartFailed) return;
    if (fmBar->Editor()) {
        CloseBar();
        return;
    }
    tCheckData.setInterval(kCheckIntervalBar);
    close();
    fmBar->show();
    fmBar->pEditorClick();
}

void TfmMain::hot_key(int id) {
    using Show = void (TfmMain::*)();
    static constexpr Show kTargets[] = {&TfmMain::ShowWeekleaf, &TfmMain::ShowNote, &TfmMain::ShowTemplate,
                                        &TfmMain::ShowBlocks, &TfmMain::ShowEditor};
    if (id < 0 || id >= int(std::size(kTargets))) return;
    // A key or a request of another start arrives from the event loop, which must never see an
    // exception: a failure is logged and the program goes on.
    try {
        (this->*kTargets[id])();
    } catch (const std::exception& e) {
        ErrLog("hot_key " + std::to_string(id) + ": " + e.what());
    }
}

void TfmMain::N1Click() {
    CloseBar();
    TrayIcon->hide();
    showNormal();
    raise();
    activateWindow();
    FocusShownEditor();
}

void TfmMain::N2Click() {
    OpenInBrowser(QUrl(kProjectSite), [this] { ShowSiteAddress(); });
}

void TfmMain::ShowSiteAddress() {
    // No browser to open the site: the address is shown so that the user can copy it.
    auto* box =
        new QMessageBox(QMessageBox::Information, "Weekleaf",
                        QString("Не удалось открыть браузер. Адрес сайта проекта:\n\n%1").arg(kProjectSite),
                        QMessageBox::Ok, isVisible() ? this : nullptr);
    box->setObjectName("mbSiteAddress");
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// ---- exit ------------------------------------------------------------------------------------------

void TfmMain::FlushDayEditor() {
    if (!frMain || !FWeekleaf || !frMain->ShownDate().isValid()) return;
    const QDate shown = frMain->ShownDate();
    const QString html = frMain->WebBrowser->WaitBodyHtml(3000);
    // An empty answer may be a dead editor; a day emptied on purpose was already taken by a tick
    // unless it happened within the last second, which the empty text's post would then cover.
    if (html.isNull()) return;
    const std::string text = Ss(html);
    if (text == DayPostedText) return;
    DayPostedText = text;
    DayChanged = false;
    StoreAndPost(ToDate(shown), text);
}

void TfmMain::CloceMenuClick() {
    if (FExiting) return;
    FExiting = true;
    FlushDayEditor();
    StopAllTimers();
    if (FDraw) {
        FDraw->WaitIdle([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
    }
    try {
        if (FDraw) RestoreOnExit(*FDesktop, FDraw->Gate());
        EndEventLoop();
    } catch (const std::exception& e) {
        ErrLog(std::string("CloceMenuClick: ") + e.what());
        std::_Exit(1);
    }
}

void TfmMain::QuitForNewInstance() {
    if (FExiting) return;
    FExiting = true;
    FlushDayEditor();
    StopAllTimers();
    EndEventLoop();
}

void TfmMain::EndEventLoop() {
    // quit() would first ask every window to close and give up when one refuses, which the
    // main window does while it can hide to the tray; exit() ends the loop in every state.
    QCoreApplication::exit(0);
}

// ---- change posting ---------------------------------------------------------------------------------

void TfmMain::PostDay(Date day, const std::string& html) {
    FUnposted.Post(day, html, [this](Date d, const std::string& h) {
        if (!FSync || !FSync->Connected()) throw std::runtime_error("not connected");
        FSync->SetDay(d, h);
    });
}

void TfmMain::SendPage(const std::string& page, const std::string& html) {
    page == "template" ? FSync->SetTemplate(html) : FSync->SetNote(html);
}

void TfmMain::PostPage(const std::string& page, const std::string& html) {
    FUnposted.PostPage(page, html, [this](const std::string& p, const std::string& h) {
        if (!FSync || !FSync->Connected()) throw std::runtime_error("not connected");
        SendPage(p, h);
    });
}

void TfmMain::StoreAndPost(Date day, const std::string& html) {
    if (!FWeekleaf) return;
    // Written down first: a kill between storing and sending must not lose the post.
    FUnposted.Keep(day);
    try {
        FWeekleaf->ToJSON_FromMainEditor(DateToStr(day), html);
    } catch (const std::exception& e) {
        ErrLog(std::string("ToJSON_FromMainEditor: ") + e.what());
    }
    PostDay(day, html);
}

void TfmMain::FlushUnposted() {
    if (!FSync || !FWeekleaf || FUnposted.Empty()) return;
    FUnposted.Flush([this](const std::string& key) { return FWeekleaf->Get(key); },
                    [this](Date d, const std::string& h) { FSync->SetDay(d, h); },
                    [this](const std::string& p, const std::string& h) { SendPage(p, h); });
}

void TfmMain::KeepConnectionUp() {
    if (!FSync) return;
    if (FSync->Connected()) {
        FlushUnposted();
        if (hooks.EndRebuildDB) hooks.EndRebuildDB(*FSync);
        return;
    }
    FSync->ReConnect();  // in the background: the tick goes on at once
}

void TfmMain::tPostDataTimer() {
    if (!FWeekleaf || !frMain) return;
    KeepConnectionUp();
    TickEditor();
    frMain->GoOnceLoadCurrentDay();
    for (TTextPage* page : {static_cast<TTextPage*>(frNote), static_cast<TTextPage*>(frTemplate)}) {
        if (page && page->isVisible()) page->GoOnceLoadNote();
    }
    RefreshMarks();
}

void TfmMain::RefreshMarks() {
    SyncMark->SetState(FSync && FSync->Connected(), FUnposted.Days(), FUnposted.Pages());
    if (isVisible() && pLeft) pLeft->pMonth->RefreshMarks();
}

void TfmMain::TickEditor() {
    if (!frMain->ShownDate().isValid()) return;
    // One look at a time; an editor that stopped answering does not stop the posting for good.
    if (FTickBusy && FTickClock.elapsed() < kTickAnswerLimitMs) return;
    FTickBusy = true;
    FTickClock.start();
    // Waits for every queued editor operation (a day being loaded, above all), so the texts
    // handed to the script belong to the day the editor holds when the script runs.
    frMain->WebBrowser->WhenReady([this] {
        const QDate shown = frMain->ShownDate();
        std::string stored;
        try {
            stored = FWeekleaf->Get(DayKey(shown));
        } catch (const std::exception&) {
            FTickBusy = false;
            return;
        }
        // A pushed text is put in only while the window is shown.
        frMain->WebBrowser->LookForChange(Qs(DayPostedText), Qs(stored), isVisible(),
                                          [this, shown](const QString& state, const QString& html) {
                                              FTickBusy = false;
                                              TickResult(ToDate(shown), state, html);
                                          });
    });
}

void TfmMain::TickResult(Date shown, const QString& state, const QString& html) {
    if (state == "loaded") {
        DayPostedText = Ss(html);
        DayChanged = false;
        return;
    }
    // A text carrying the editors' own background (typically pasted) is cleaned, and the cleaned
    // text counts as a change: it is stored and posted, so nothing the user put in disappears.
    QString cleaned = html;
    const bool hadBackground = CleanEditorBackground(cleaned);
    if (hadBackground) {
        frMain->WebBrowser->ReplaceIfUnchanged(html, cleaned);
    }
    if (state == "same" && !hadBackground && !DayChanged) {
        DayPostedText = Ss(html);
        return;
    }
    DayPostedText = Ss(cleaned);
    DayChanged = false;
    StoreAndPost(shown, DayPostedText);
}

// ---- drawing -----------------------------------------------------------------------------------------

void TfmMain::tCheckDataTimer() {
    if (!BlocksVisible || !FDraw || !FWeekleaf || !FDraw->DrawIdle()) return;
    const bool started = FDraw->RequestDrawing([this] {
        DrawRequest request;
        request.week = MakeWeekSnapshot(*FWeekleaf, Today(), WeekOffsetDays.load());
        if (!BlockFontName.empty()) request.fontName = BlockFontName;
        request.fontSize = BlockFontSize;
        request.alpha = BlockAlpha;
        request.dataDir = FPaths.DataPath;
        return request;
    });
    if (started) ++FDrawRuns;
}

void TfmMain::tWppChangeTimer() {
    if (!FSettings || !FDraw) return;
    TWppLibrary library(FPaths.WppPath);
    library.ListUpdate();
    const bool keep = WppRotationTick(
        *FSettings, library, FSettings->WppRandom(), FDraw->DrawIdle(), Now(), DefaultWppRandom(),
        [this](const std::filesystem::path& picture) { FDraw->Gate().Restore(*FDesktop, picture.string()); });
    if (!keep) tWppChange.stop();
}

}  // namespace wl
