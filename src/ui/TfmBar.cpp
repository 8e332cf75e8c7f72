#include "ui/TfmBar.h"

#include <QHideEvent>

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <cmath>

#include "ui/TfmEditor.h"
#include "ui/TfmWeekScreen.h"
#include "ui/UiLook.h"
#include "wallpaper/Blender.h"

namespace wl {
namespace {

constexpr int kWidth = 516, kHeight = 90, kPanel = 88, kBottomGap = 50;
constexpr int kCheckBar = 1000, kCheckNormal = 3000;
const QColor kNavy{0x00, 0x00, 0x80};
const char* const kEdit = "Редактировать";
const char* const kFinish = "Завершить";
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

}  // namespace

// ---- panel -------------------------------------------------------------------------------------

TBarPanel::TBarPanel(const QString& icon, const QString& caption, QWidget* parent) : QWidget(parent) {
    setFixedSize(kPanel, kPanel);
    setCursor(Qt::PointingHandCursor);
    setProperty("icon", icon);
    Caption = new QLabel(caption, this);
    Caption->setObjectName("Caption");
    Caption->setGeometry(2, 50, kPanel - 4, 36);
    Caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Caption->setWordWrap(true);
    Caption->setFont(UiFont("Segoe UI", 11, true));
    Caption->setStyleSheet("QLabel { color: white; }");
    // Presses on the caption reach the panel.
    Caption->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBarPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kGreen);
    p.drawPixmap(28, 10, QIcon(property("icon").toString()).pixmap(QSize(32, 32), devicePixelRatioF()));
}

void TBarPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    FDown = true;
    FHome = pos();
    move(FHome + QPoint(1, 1));
}

void TBarPanel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !FDown) return;
    FDown = false;
    move(FHome);
    if (rect().contains(e->position().toPoint()) && onClick) onClick();
}

// ---- bar ---------------------------------------------------------------------------------------

TfmBar::TfmBar(TBarLinks links, QWidget* parent) : QWidget(parent, kWindowFlags), L(std::move(links)) {
    setObjectName("fmBar");
    setWindowTitle("Weekleaf Bar");
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kNavy);
    setPalette(pal);
    struct Item {
        TBarPanel** field;
        const char* name;
        const char* icon;
        const char* caption;
        int left;
        void (TfmBar::*click)();
    };
    const Item items[] = {
        {&pPrevios, "pPrevios", "barPrev", "Предыдущая неделя", 0, &TfmBar::pPreviosClick},
        {&pCurrent, "pCurrent", "barCurrent", "Текущая неделя", 104, &TfmBar::pCurrentClick},
        {&pNext, "pNext", "barNext", "Следующая неделя", 208, &TfmBar::pNextClick},
        {&pEditor, "pEditor", "barEditor", kEdit, 312, &TfmBar::pEditorClick},
        {&pHome, "pHome", "barHome", "Закрыть", 417, &TfmBar::pHomeClick},
    };
    // The navy background never shows: the window is only its five panels.
    QRegion shape;
    for (const Item& it : items) {
        auto* panel = new TBarPanel(QString(":/wl/icons/%1.svg").arg(it.icon), it.caption, this);
        panel->setObjectName(it.name);
        panel->move(it.left, 0);
        panel->onClick = [this, f = it.click] { (this->*f)(); };
        *it.field = panel;
        shape += QRect(it.left, 0, kPanel, kPanel);
    }
    setMask(shape);
    FEsc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    FEsc->setContext(Qt::WindowShortcut);
    connect(FEsc, &QShortcut::activated, this, &TfmBar::FormKeyDown);
}

TfmBar::~TfmBar() {
    // Not deleted by its own host.
    if (parentWidget() && (parentWidget() == FEditor || parentWidget() == FWeek)) setParent(nullptr);
    delete FEditor.data();
    delete FWeek.data();
}

QLabel* TfmBar::EditorCaption() const {
    return pEditor->Caption;
}

QPoint TfmBar::Place(QSize screen) {
    // Halves go to the even neighbour (the default rounding mode).
    const long left = std::lrint((screen.width() - kWidth) / 2.0);
    return {int(left), screen.height() - kHeight - kBottomGap};
}

QDate TfmBar::Today() const {
    return L.Today ? L.Today() : QDate::currentDate();
}

void TfmBar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!isWindow()) return;  // inside the full-screen overlay, which placed it
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->geometry().topLeft() + Place(s->geometry().size()));
    if (!FMoving && L.CollapseAllWindow) L.CollapseAllWindow();
}

void TfmBar::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Not when the window system hides the bar on its own (a minimised bar is still in use).
    if (!event->spontaneous() && !FMoving && L.RestoreCollapsed) L.RestoreCollapsed();
}

void TfmBar::SetEditorCaption(bool open) {
    pEditor->Caption->setText(open ? kFinish : kEdit);
}

void TfmBar::setVisible(bool visible) {
    if (FMoving) return QWidget::setVisible(visible);
    if (!visible) {
        QWidget::setVisible(false);
        CloseWeekScreen();
        return;
    }
    const bool inWeekScreen = isWindow() && EnterWeekScreen();
    QWidget::setVisible(true);
    if (inWeekScreen) FWeek->ShowFullScreen();
}

bool TfmBar::EnterWeekScreen() {
    if (!FWeek) {
        FWeek = L.MakeWeekScreen ? L.MakeWeekScreen() : nullptr;
        if (!FWeek) return false;
        // Closed from outside (the compositor's close key), it takes the bar with it, as closing
        // the bar's own window would.
        connect(FWeek, &TfmWeekScreen::Closed, this, [this] { hide(); });
    }
    SetHost(FWeek);
    return true;
}

void TfmBar::CloseWeekScreen() {
    if (!FWeek) return;
    if (parentWidget() == FWeek) SetHost(nullptr);
    FWeek->hide();
    FWeek->deleteLater();
    FWeek = nullptr;
}

void TfmBar::WeekDrawn() {
    if (FWeek) FWeek->Reload();
}

void TfmBar::SetHost(TfmWeekScreen* host) {
    const bool shown = !isHidden();
    // A move is no showing or hiding of the bar: the windows put away stay put away.
    FMoving = true;
    if (host) {
        setParent(host);
        move(Place(host->size()));
    } else {
        setParent(nullptr, kWindowFlags);
    }
    FEsc->setEnabled(!host || host == FWeek);
    setVisible(shown);
    FMoving = false;
}

void TfmBar::CloseEditor(bool barStays) {
    TfmEditor* editor = FEditor;
    if (!editor) return;
    FEditor = nullptr;
    // A bar that stays moves into a week screen before the overlay goes, so the windows behind
    // never show in between.
    if (parentWidget() == editor) {
        if (!barStays || isHidden() || !EnterWeekScreen())
            SetHost(nullptr);
        else
            FWeek->ShowFullScreen();
    }
    editor->Finish([this, editor] {
        if (L.EditorClosed) L.EditorClosed();
        editor->deleteLater();
    });
}

void TfmBar::StepWeek(int days) {
    CloseEditor(true);
    WeekOffsetDays.store(WeekOffsetDays.load() + days);
    const int offset = WeekOffsetDays.load();
    const QDate today = Today();
    const int w = today.dayOfWeek();
    if (L.GetDaysRange) L.GetDaysRange(today.addDays(offset - w + 1), today.addDays(7 - w + offset));
    SetEditorCaption(false);
}

void TfmBar::pPreviosClick() {
    StepWeek(-7);
}

void TfmBar::pNextClick() {
    StepWeek(7);
}

void TfmBar::pCurrentClick() {
    if (WeekOffsetDays.load() == 0) return;
    CloseEditor(true);
    WeekOffsetDays.store(0);
    SetEditorCaption(false);
}

void TfmBar::pEditorClick() {
    if (FEditor) {
        // The user is done editing: the windows put away for it come back (a week step, which also
        // ends the overlay, keeps the desktop clear).
        CloseEditor(true);
        SetEditorCaption(false);
        if (L.RestoreCollapsed) L.RestoreCollapsed();
        return;
    }
    TfmEditor* editor = L.MakeEditor ? L.MakeEditor() : nullptr;
    if (!editor) return;
    FEditor = editor;
    if (editor->FullScreen()) {
        SetHost(editor);
        // The week screen stays until the overlay covers it.
        connect(editor, &TfmWeekScreen::Shown, this, &TfmBar::CloseWeekScreen, Qt::SingleShotConnection);
    }
    connect(editor, &TfmEditor::EscPressed, this, [this] {
        // Esc in the overlay: its last edits go out, the bar closes, the current week comes back.
        CloseEditor();
        SetEditorCaption(false);
        hide();
        WeekOffsetDays.store(0);
        if (L.SetCheckInterval) L.SetCheckInterval(kCheckNormal);
    });
    if (L.CollapseAllWindow) L.CollapseAllWindow();
    editor->ShowWhenLoaded();
    SetEditorCaption(true);
}

void TfmBar::pHomeClick() {
    CloseEditor();
    SetEditorCaption(false);
    if (L.SetCheckInterval) L.SetCheckInterval(kCheckNormal);
    WeekOffsetDays.store(0);
    hide();
    if (L.ShowMainWindow) L.ShowMainWindow();
}

void TfmBar::FormKeyDown() {
    CloseEditor();
    SetEditorCaption(false);
    if (L.SetCheckInterval) L.SetCheckInterval(kCheckNormal);
    WeekOffsetDays.store(0);
    hide();
    if (L.CloseMainWindow) L.CloseMainWindow();
}

}  // namespace wl
