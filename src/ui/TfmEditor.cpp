#include "ui/TfmEditor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <QStyleHints>
#include <memory>

#include "ui/TWebBrowser.h"
#include "ui/TfmBlockEditor.h"
#include "ui/UiLook.h"
#include "wallpaper/TextLook.h"

namespace wl {
namespace {

constexpr int kLeft = 240, kTop = 100, kRight = 120, kBottom = 150;
const QColor kNavy{0x00, 0x00, 0x80};
constexpr double kAlpha = 250.0 / 255.0;
constexpr int kFinishLimitMs = 3000;
constexpr int kShowLimitMs = 4000;

std::string Ss(const QString& s) {
    return s.toUtf8().toStdString();
}
QString Qs(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

bool TfmEditor::Fits(QSize screen) {
    const BlockRects r = CalcBlockRects(screen.height() - kTop - kBottom, screen.width() - kLeft - kRight);
    return r[0].Right > r[0].Left && r[0].Bottom > r[0].Top;
}

QRect TfmEditor::Geometry(QSize screen) {
    return {kLeft, kTop, screen.width() - kLeft - kRight, screen.height() - kTop - kBottom};
}

QRect TfmEditor::Frame(QSize screen, bool fullScreen) {
    return fullScreen ? QRect(QPoint(), screen) : Geometry(screen);
}

TfmEditor::TfmEditor(QSize screen, TEditorLinks links)
    : TfmWeekScreen(), L(std::move(links)), FScreen(screen) {
    setObjectName("fmEditor");
    setWindowTitle("Weekleaf Editor");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kNavy);
    setPalette(pal);
    // Full screen, the window is opaque: the drawn week is its own background.
    if (!L.FullScreen) setWindowOpacity(kAlpha);
    // Over the primary monitor's block area, where the week is drawn, wherever the monitor sits on
    // the desktop; full screen, the whole monitor the week is drawn on.
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (L.FullScreen)
        Cover(L.Monitor, L.DrawnWeek);
    else
        setGeometry(Geometry(screen).translated(primary ? primary->geometry().topLeft() : QPoint()));
    CreateEditore();
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, &TfmEditor::FormKeyDown);
    Timer.setInterval(1000);
    connect(&Timer, &QTimer::timeout, this, &TfmEditor::TimerTimer);
    Timer.start();
    // The texts go in as soon as the surfaces are ready, not a second later.
    LoadData();
}

TfmEditor::~TfmEditor() = default;

void TfmEditor::CreateEditore() {
    // In the primary monitor's own coordinates.
    const QRect area = Geometry(FScreen);
    const QPoint frame = Frame(FScreen, L.FullScreen).topLeft();
    const BlockRects rects = CalcBlockRects(area.height(), area.width());
    const Date today = Today();
    const int32_t offset = WeekOffsetDays.load();
    QRegion shape;
    // A blinking caret repaints its block twice a second for as long as the overlay stays open,
    // which may be all day: the blocks get a steady caret (the surfaces take the setting when
    // they are created).
    QStyleHints* hints = QGuiApplication::styleHints();
    const int flash = hints->cursorFlashTime();
    hints->setCursorFlashTime(0);
    for (int i = 0; i < 8; ++i) {
        TBlockEditorLinks links;
        links.StoredText = L.StoredText;
        links.Confirm = L.Confirm;
        links.FormatKeys = L.FormatKeys;
        auto* block = new TfmBlockEditor(this, std::move(links));
        block->setObjectName(QString("BlockEditor%1").arg(i));
        const BlockRect& r = rects[i];
        const QRect place(r.Left - frame.x(), r.Top - frame.y(), r.Right - r.Left, r.Bottom - r.Top);
        block->setGeometry(place);
        shape += place;
        const std::string date = BlockDate(i, today, offset);
        block->lbTitle->setText(Qs(BlockTitle(i)));
        block->lbDate->setText(Qs(date));
        block->Date = QDate::fromString(Qs(date), "dd.MM.yyyy");
        block->SetLabelFont(L.FontName, PointsToPx(L.FontSize));
        if (i == 0) block->CenterTitleOnly();
        if (i >= 6) block->SetHeaderColor(kWeekend);
        FBlocks[i].key = i == 0 ? "note" : date;
        connect(block->WebBrowser, &TWebBrowser::DocumentLost, this, [this, i] {
            // The fresh document is empty: nothing of this block is saved until its text is back.
            FBlocks[i].loaded = false;
            FBlocks[i].busy = false;
            LoadBlock(i);
        });
        block->show();
        BlockEditors[i] = block;
    }
    hints->setCursorFlashTime(flash);
    // Only the blocks are part of the window; the desktop shows everywhere else.
    if (!L.FullScreen) setMask(shape);
}

void TfmEditor::ShowWhenLoaded() {
    auto showNow = [this] {
        if (FFinishing || isVisible()) return;
        // Full screen, the week as it is on the wallpaper now (the drawing may have followed a week
        // step).
        if (L.FullScreen) return ShowFullScreen();
        show();
        raise();
        activateWindow();
    };
    if (FStarted) return showNow();
    connect(this, &TfmEditor::DataLoaded, this, showNow);
    QTimer::singleShot(kShowLimitMs, this, showNow);
}

int TfmEditor::LoadedBlocks() const {
    int n = 0;
    for (const Block& b : FBlocks) n += b.loaded;
    return n;
}

void TfmEditor::LoadData() {
    if (FLoadAsked) return;
    FLoadAsked = true;
    for (int i = 0; i < 8; ++i) LoadBlock(i);
}

void TfmEditor::LoadBlock(int i) {
    std::string text;
    try {
        text = L.StoredText ? L.StoredText(FBlocks[i].key) : std::string();
    } catch (const std::exception&) {
        return;  // tried again when the surface is lost or the overlay reopened
    }
    TWebBrowser* web = BlockEditors[i]->WebBrowser;
    web->AddStyleSheet(kEditorStyle);
    web->AddStyleSheet(TfmBlockEditor::SurfaceStyle());
    web->RunScript("(function (next) { document.body.innerHTML = next; return document.body.innerHTML; })(" +
                       JsStringLiteral(Qs(text)) + ")",
                   [this, i, text](const QVariant& v) {
                       Block& b = FBlocks[i];
                       b.posted = v.toString();
                       b.stored = text;
                       b.loaded = true;
                       if (FStarted || LoadedBlocks() < 8) return;
                       FStarted = true;
                       emit DataLoaded();
                   });
}

void TfmEditor::TimerTimer() {
    LoadData();
    if (!FStarted) return;  // nothing is saved before every block has its stored text
    auto pending = std::make_shared<int>(0);
    for (int i = 0; i < 8; ++i) {
        if (!FBlocks[i].loaded || FBlocks[i].busy) continue;
        ++*pending;
    }
    if (*pending == 0) return;
    for (int i = 0; i < 8; ++i) {
        if (!FBlocks[i].loaded || FBlocks[i].busy) continue;
        TickBlock(i, [this, pending] {
            if (--*pending == 0) emit TickDone();
        });
    }
}

void TfmEditor::TickBlock(int i, std::function<void()> answered) {
    Block& b = FBlocks[i];
    std::string now;
    try {
        now = L.StoredText ? L.StoredText(b.key) : std::string();
    } catch (const std::exception&) {
        now = b.stored;
    }
    // A text another device pushed is taken only while the block holds no edit of its own.
    const bool pushed = now != b.stored;
    b.busy = true;
    TWebBrowser* web = BlockEditors[i]->WebBrowser;
    web->LookForChange(
        b.posted, Qs(now), pushed,
        [this, i, now, web, answered = std::move(answered)](const QString& state, const QString& html) {
            Block& b = FBlocks[i];
            b.busy = false;
            if (state == "loaded") {
                b.posted = html;
                b.stored = now;
            } else if (state == "changed" && html != b.posted) {
                QString cleaned = html;
                if (CleanEditorBackground(cleaned)) web->ReplaceIfUnchanged(html, cleaned);
                b.posted = cleaned;
                b.stored = Ss(cleaned);
                if (L.StoreBlock) L.StoreBlock(b.key, b.stored);
                Send(i, b.stored);
            }
            answered();
        });
}

void TfmEditor::Send(int i, const std::string& html) {
    try {
        if (i == 0) {
            if (L.SendNote) L.SendNote(html);
        } else if (L.SendDay) {
            L.SendDay(BlockEditors[i]->Date, html);
        }
    } catch (const std::exception&) {
        // The text is stored; the owner keeps what could not be sent.
    }
}

void TfmEditor::FormKeyDown() {
    emit EscPressed();
}

void TfmEditor::Finish(std::function<void()> done) {
    if (FFinishing) return;
    FFinishing = true;
    Timer.stop();
    hide();
    if (!FStarted) {
        if (done) done();
        return;
    }
    // The last look at every block: wait for the answers (bounded, a dead surface never answers).
    bool answered = false;
    auto conn = connect(this, &TfmEditor::TickDone, this, [&answered] { answered = true; });
    for (Block& b : FBlocks) b.busy = false;  // earlier looks answer first; this one sees the latest
    TimerTimer();
    QElapsedTimer clock;
    clock.start();
    while (!answered && clock.elapsed() < kFinishLimitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    disconnect(conn);
    if (done) done();
}

}  // namespace wl
