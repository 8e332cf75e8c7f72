#include "ui/TfrMain.h"

#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <stdexcept>

#include "ui/TImageButton.h"
#include "ui/TWebBrowser.h"
#include "ui/TfmConfirm.h"
#include "ui/UiLook.h"

namespace wl {

bool DayChanged = false;
std::string DayPostedText;
std::string DayUndoText;

std::string DayKey(const QDate& date) {
    return date.toString("dd.MM.yyyy").toStdString();
}

namespace {

constexpr int kWidth = 500, kHeight = 568;
constexpr int kToolbarH = 49, kHeaderH = 65, kBottomH = 65;
constexpr int kHeaderTop = kToolbarH;
constexpr int kSurfaceTop = kHeaderTop + kHeaderH + 1;
// Week header: date label columns, and the highlight that starts 17 px left of the date label.
constexpr int kColumn0 = 24, kColumnPitch = 58, kDateW = 36;
constexpr int kLuminW = kDateW + 2 * 17, kLuminTop = 5, kLuminH = 55;

const char* const kDayNames[7] = {"ПН", "ВТ", "СР", "ЧТ", "ПТ", "СБ", "ВС"};
const char* const kDateNames[7] = {"pnDate", "vtDate", "srDate", "chtDate", "ptDate", "sbDate", "vsDate"};

QString Qs(const std::string& s) {
    return QString::fromStdString(s);
}

QWidget* Line(QWidget* parent, const QRect& r, const QColor& c) {
    auto* w = new QWidget(parent);
    w->setGeometry(r);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
    return w;
}

// The highlight behind the selected day: drawn, not a picture, so it stays sharp at any scale.
class TDayHighlight : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }
};

// Labels of the week header report clicks by their tag.
class TTagLabel : public QLabel {
  public:
    TTagLabel(int tag, std::function<void(int)> onClick, QWidget* parent)
        : QLabel(parent), FTag(tag), FOnClick(std::move(onClick)) {
        setProperty("Tag", tag);
        setCursor(Qt::PointingHandCursor);
        setAlignment(Qt::AlignCenter);
    }

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) FOnClick(FTag);
    }

  private:
    int FTag;
    std::function<void(int)> FOnClick;
};

void SetTextColor(QLabel* label, const QColor& c) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, c);
    label->setPalette(pal);
}

// The calendar's date, or fallback when there is no calendar yet.
QDate CalendarOr(const TDayPageLinks& l, const QDate& fallback) {
    const QDate d = l.CalendarDate ? l.CalendarDate() : QDate();
    return d.isValid() ? d : fallback;
}

}  // namespace

TfrMain::TfrMain(QWidget* parent, TDayPageLinks links) : QWidget(parent), L(std::move(links)) {
    setObjectName("frMain");
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    BuildToolbar();
    BuildWeekHeader();
    Line(this, {0, kSurfaceTop - 1, kWidth, 1}, kGreen)->setObjectName("lnAboveEditor");
    WebBrowser = new TWebBrowser(this);
    WebBrowser->setObjectName("WebBrowser");
    FLineBelowEditor = Line(this, {}, kGreen);
    FLineBelowEditor->setObjectName("lnBelowEditor");
    BuildBottom();
    PlaceBottom();
    BuildMenu();
    connect(WebBrowser, &TWebBrowser::DocumentLost, this, &TfrMain::RestoreAfterLoss);
    IsSterted = false;
}

TfrMain::~TfrMain() = default;

void TfrMain::BuildToolbar() {
    QWidget* bar = Line(this, {0, 0, kWidth, kToolbarH}, kGreen);
    bar->setObjectName("pToolbar");
    struct Item {
        TImageButton** field;
        const char* name;
        const char* icon;
        const char* hint;
        void (TfrMain::*click)();
    };
    const Item items[] = {
        {&btSettings, "btSettings", "settings", "Настройки", nullptr},
        {&btCopy, "btCopy", "copy", "Копировать", &TfrMain::btCopyClick},
        {&btCut, "btCut", "cut", "Вырезать", &TfrMain::btCutClick},
        {&btPast, "btPast", "paste", "Вставить", &TfrMain::btPastClick},
        {&btUndo, "btUndo", "undo", "Отменить ввод", &TfrMain::btUndoClick},
        {&btRedo, "btRedo", "redo", "Повторить", &TfrMain::btRedoClick},
        {&btNow, "btNow", "now", "Актуальная дата", &TfrMain::btNowClick},
        {&btBar, "btBar", "bar", "Weekleaf Bar", nullptr},
    };
    int x = 8;
    for (size_t i = 0; i < std::size(items); ++i) {
        const Item& it = items[i];
        auto* b = new TImageButton(QString(":/wl/icons/%1.svg").arg(it.icon), it.hint, bar);
        b->setObjectName(it.name);
        b->setGeometry(x, 4, 41, 41);
        if (it.click)
            connect(b, &QAbstractButton::clicked, this,
                    [this, f = it.click] { Guard([&] { (this->*f)(); }); });
        *it.field = b;
        x += 41;
        // Separators after the settings button, the clipboard group and the undo group.
        if (i == 0 || i == 3 || i == 5) {
            Line(bar, {x + 5, 10, 1, 29}, kGreenSeparator);
            x += 11;
        }
    }
    btRedo->setProperty("Tag", 0);
    connect(btSettings, &QAbstractButton::clicked, this, &TfrMain::SettingsClick);
    connect(btBar, &QAbstractButton::clicked, this, &TfrMain::BarClick);
}

void TfrMain::BuildWeekHeader() {
    dayLumin = new TDayHighlight(this);
    dayLumin->setObjectName("dayLumin");
    dayLumin->setGeometry(kColumn0 - 17, kHeaderTop + kLuminTop, kLuminW, kLuminH);
    auto click = [this](int tag) { Guard([&] { DayLabelClick(tag); }); };
    for (int i = 0; i < 7; ++i) {
        const int x = kColumn0 + i * kColumnPitch;
        auto* date = new TTagLabel(i + 1, click, this);
        date->setObjectName(kDateNames[i]);
        date->setGeometry(x, kHeaderTop + 12, kDateW, 18);
        date->setFont(UiFont("Tahoma", 12));
        DateLabels[i] = date;
        auto* day = new TTagLabel(i + 1, click, this);
        day->setObjectName(QString("lbDay%1").arg(i + 1));
        day->setText(kDayNames[i]);
        day->setGeometry(x - 4, kHeaderTop + 32, kDateW + 8, 22);
        day->setFont(UiFont("Tahoma", 16, true));
        DayLabels[i] = day;
    }
    btForward = new TImageButton(":/wl/icons/forward.svg", "Предыдущий день", this);
    btForward->setObjectName("btForward");
    btForward->setGeometry(432, kHeaderTop + 16, 30, 34);
    btForward->SetHover(kHoverOnLight);
    btNext = new TImageButton(":/wl/icons/next.svg", "Следующий день", this);
    btNext->setObjectName("btNext");
    btNext->setGeometry(464, kHeaderTop + 16, 30, 34);
    btNext->SetHover(kHoverOnLight);
    // The arrows act on the press, not on the click.
    connect(btForward, &QAbstractButton::pressed, this, [this] { Guard([&] { btForwardMouseDown(); }); });
    connect(btNext, &QAbstractButton::pressed, this, [this] { Guard([&] { btNextMouseDown(); }); });
}

void TfrMain::BuildBottom() {
    struct Item {
        TImageButton** field;
        const char* name;
        const char* icon;
        const char* caption;
        int tag;
    };
    const Item items[] = {
        {&btClear, "btClear", "clear", "Очистить", 11},
        {&btTemplate, "btTemplate", "template", "Шаблон", 22},
        {&btNote, "btNote", "note", "Заметки", 33},
    };
    for (int i = 0; i < 3; ++i) {
        auto* b = new TImageButton(QString(":/wl/icons/%1.svg").arg(items[i].icon), items[i].caption, this);
        b->setObjectName(items[i].name);
        b->setProperty("Tag", items[i].tag);
        b->setText(items[i].caption);
        b->SetFill(kGreen);
        b->setFont(UiFont("Segoe UI", 14, true));
        b->resize(152, 45);
        *items[i].field = b;
    }
    connect(btClear, &QAbstractButton::clicked, this, [this] { Guard([&] { btClearClick(); }); });
    connect(btTemplate, &QAbstractButton::clicked, this, [this] { Guard([&] { btTemplateClick(); }); });
    connect(btNote, &QAbstractButton::clicked, this, &TfrMain::NoteClick);
}

void TfrMain::PlaceBottom() {
    // The editor takes whatever height the page has; the line and the buttons keep to the bottom.
    const int bottomTop = height() - kBottomH;
    WebBrowser->setGeometry(0, kSurfaceTop, kWidth, bottomTop - 1 - kSurfaceTop);
    FLineBelowEditor->setGeometry(0, bottomTop - 1, kWidth, 1);
    int x = 12;
    for (TImageButton* b : {btClear, btTemplate, btNote}) {
        b->move(x, bottomTop + 10);
        x += 162;
    }
}

void TfrMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceBottom();
}

void TfrMain::BuildMenu() {
    pmEditor = new QMenu(this);
    pmEditor->setObjectName("pmEditor");
    auto format = [this](QMenu* menu, const char* caption) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        connect(a, &QAction::triggered, this, [this, c = a->text()] { Guard([&] { FormatClick(c); }); });
        return a;
    };
    for (const char* c : {"Жирный", "Курсив", "Зачеркнутый"}) format(pmEditor, c);
    pmEditor->addSeparator();
    for (const char* c : {"Черный", "Красный", "Зеленый", "Синий"}) format(pmEditor, c);
    pmEditor->addSeparator();
    connect(pmEditor->addAction("Вырезать"), &QAction::triggered, this,
            [this] { Guard([&] { btCutClick(); }); });
    connect(pmEditor->addAction("Вставить"), &QAction::triggered, this,
            [this] { Guard([&] { btPastClick(); }); });
    pmEditor->addSeparator();
    QMenu* sizes = pmEditor->addMenu("Размер шрифта");
    for (int tag = 1; tag <= 7; ++tag) {
        format(sizes, QString("Размер %1").arg(tag).toUtf8().constData())->setData(tag);
    }
    format(pmEditor, "Крупный шрифт")->setVisible(false);
    format(pmEditor, "Обычный шрифт")->setVisible(false);
    pmEditor->addSeparator();
    connect(pmEditor->addAction(kClearFormat), &QAction::triggered, this,
            [this] { Guard([&] { ClearFormatClick(); }); });
    WebBrowser->SetContextMenu(pmEditor, TMenuPlacement::DayEditor);
}

void TfrMain::Guard(const std::function<void()>& action) {
    RunShowingErrors(this, action);
}

bool TfrMain::Ask(const QString& title, const QString& msg) {
    return L.Confirm ? L.Confirm(title, msg) : wl::Confirm(title, msg);
}

std::string TfrMain::Stored(const std::string& key) const {
    return L.StoredText ? L.StoredText(key) : std::string();
}

int TfrMain::RedoTag() const {
    return btRedo->property("Tag").toInt();
}
void TfrMain::SetRedoTag(int tag) {
    btRedo->setProperty("Tag", tag);
}

// ---- showing a day -------------------------------------------------------------------------------

void TfrMain::SetDate(const QDate& date) {
    try {
        if (L.GetDay) L.GetDay(date);
    } catch (...) {
        // The day is shown from the store; the service's copy arrives with a later request.
    }
    if (L.SetCalendarDate) L.SetCalendarDate(date);
    UpdateWeekHeader(date);
    LoadDay(date);
}

void TfrMain::UpdateWeekHeader(const QDate& date) {
    const int weekday = date.dayOfWeek();  // Monday 1 .. Sunday 7
    FWeekMonday = date.addDays(1 - weekday);
    QLabel* selected = DateLabels[weekday - 1];
    dayLumin->move(selected->x() - 17, dayLumin->y());
    for (int tag = 1; tag <= 7; ++tag) {
        DateLabels[tag - 1]->setText(FWeekMonday.addDays(tag - 1).toString("dd.MM"));
    }
    for (QLabel* label : findChildren<QLabel*>()) {
        const int tag = label->property("Tag").toInt();
        if (tag == weekday) {
            SetTextColor(label, Qt::white);
        } else if (tag >= 1 && tag <= 7) {
            SetTextColor(label, Qt::black);
        }
    }
}

void TfrMain::LoadDay(const QDate& date) {
    std::string text;
    try {
        text = Stored(DayKey(date));
    } catch (const std::runtime_error&) {
        return;  // an ordinary failure of the store leaves the day as it was
    }
    const bool sameDay = FShownDate == date;
    // One script reads what the editor holds and puts the new day in, so that no read, write or
    // keystroke can fall between the two. When the same day is shown again and the editor holds an
    // edit not yet taken, the edit stays. It answers [text before, text now].
    const QString script =
        QString(
            "(function (posted, next, keep) { var b = document.body; var old = b.innerHTML;"
            " if (!(keep && old !== posted)) b.innerHTML = next; return [old, b.innerHTML]; })(%1, %2, %3)")
            .arg(JsStringLiteral(Qs(DayPostedText)), JsStringLiteral(Qs(text)), sameDay ? "true" : "false");
    WebBrowser->RunScript(script, [this, date, text](const QVariant& v) {
        const QVariantList answer = v.toList();
        if (answer.size() != 2) return;
        const std::string old = answer[0].toString().toStdString();
        const std::string now = answer[1].toString().toStdString();
        // Loads answer in call order, so FShownDate is the day whose text the script replaced. The
        // tick may have taken an edit meanwhile; it then updated DayPostedText.
        if (FShownDate.isValid() && old != DayPostedText && L.StoreDay) {
            Guard([&] { L.StoreDay(FShownDate, old); });
        }
        // The browser's own form of the loaded text, so that a text stored in another spelling
        // (upper-case tags from older clients, say) does not count as an edit and get posted back.
        DayPostedText = now;
        DayUndoText = now == old && FShownDate == date ? now : text;
        FLastStoreText = text;
        DayChanged = false;
        FShownDate = date;
    });
}

void TfrMain::RestoreAfterLoss() {
    // The fresh document comes up empty. Put the shown day back from the store before anything
    // else reads it, so that the emptiness is never taken for an edit and stored.
    if (!FShownDate.isValid()) return;
    std::string text;
    try {
        text = Stored(DayKey(FShownDate));
    } catch (const std::runtime_error&) {
        text = DayPostedText;
    }
    const QString script =
        "(function (next) { document.body.innerHTML = next; return document.body.innerHTML; })(" +
        JsStringLiteral(Qs(text)) + ")";
    WebBrowser->RunScript(script, [this, text](const QVariant& v) {
        DayPostedText = v.toString().toStdString();
        DayUndoText = text;
        FLastStoreText = text;
        DayChanged = false;
    });
    if (IsSterted) WebBrowser->AddStyleSheet(kDayEditorStyle);
}

void TfrMain::ReloadIfIdle(const std::string& storedText, std::function<void(bool reloaded)> done) {
    if (storedText == FLastStoreText) {
        if (done) done(false);
        return;
    }
    // Replace only while the editor still holds what was last loaded or posted: a keystroke that
    // arrives meanwhile wins over the pushed text.
    const QString script =
        QString(
            "(function (posted, next) { var b = document.body;"
            " if (b.innerHTML !== posted) return [false];"
            " if (b.innerHTML !== next) b.innerHTML = next; return [true, b.innerHTML]; })(%1, %2)")
            .arg(JsStringLiteral(Qs(DayPostedText)), JsStringLiteral(Qs(storedText)));
    WebBrowser->RunScript(script, [this, storedText, done = std::move(done)](const QVariant& v) {
        const QVariantList answer = v.toList();
        const bool reloaded = answer.size() == 2 && answer[0].toBool();
        if (reloaded) {
            DayPostedText = answer[1].toString().toStdString();
            FLastStoreText = storedText;
            DayChanged = false;
        }
        if (done) done(reloaded);
    });
}

void TfrMain::GoOnceLoadCurrentDay() {
    if (IsSterted) return;
    IsSterted = true;
    // The header shows the day at once; its text follows as soon as the document is ready.
    if (!FWeekMonday.isValid()) UpdateWeekHeader(CalendarOr(L, QDate::currentDate()));
    WebBrowser->WhenReady([this] {
        const QDate date =
            L.CalendarDate ? L.CalendarDate() : (FShownDate.isValid() ? FShownDate : QDate::currentDate());
        LoadDay(date);
        WebBrowser->AddStyleSheet(kDayEditorStyle);
    });
}

void TfrMain::ReadDayHtml(std::function<void(const QDate& day, const QString& html)> cb) {
    WebBrowser->GetBodyHtml([this, cb = std::move(cb)](const QString& html) {
        if (cb) cb(FShownDate, html);
    });
}

// ---- navigation ----------------------------------------------------------------------------------

void TfrMain::btForwardMouseDown() {
    SetDate(CalendarOr(L, FShownDate.isValid() ? FShownDate : QDate::currentDate()).addDays(-1));
}
void TfrMain::btNextMouseDown() {
    SetDate(CalendarOr(L, FShownDate.isValid() ? FShownDate : QDate::currentDate()).addDays(1));
}
void TfrMain::btNowClick() {
    SetDate(QDate::currentDate());
}

void TfrMain::DayLabelClick(int tag) {
    if (tag < 1 || tag > 7 || !FWeekMonday.isValid()) return;
    // The day of the week on show, so a week spanning New Year picks the right year.
    SetDate(FWeekMonday.addDays(tag - 1));
}

// ---- clipboard, undo and redo --------------------------------------------------------------------

void TfrMain::btCopyClick() {
    WebBrowser->ExecDocumentCommand("Copy");
    SetRedoTag(1);
}

void TfrMain::btCutClick() {
    WebBrowser->ExecDocumentCommand("Cut");
    SetRedoTag(2);
}

void TfrMain::btPastClick() {
    WebBrowser->ExecDocumentCommand("Paste");
    SetRedoTag(3);
}

void TfrMain::btUndoClick() {
    // The whole day goes back to its text as loaded; what it held is kept, so that one click can
    // no longer lose a day's typing ("Повторить" puts it back). Read and replaced in one script,
    // so nothing typed in between is missed.
    const QDate day = FShownDate;
    const QString script =
        "(function (undo) { var before = document.body.innerHTML; document.body.innerHTML = undo; "
        "return [before, document.body.innerHTML]; })(" +
        JsStringLiteral(Qs(DayUndoText)) + ")";
    WebBrowser->RunScript(script, [this, day](const QVariant& v) {
        const QVariantList texts = v.toList();
        if (texts.size() == 2) RememberRevert(day, texts[0].toString(), texts[1].toString());
    });
    SetRedoTag(4);
}

void TfrMain::RememberRevert(const QDate& day, const QString& before, const QString& after) {
    // A second revert in a row replaced only the first one's result: the typing stays the one kept.
    const bool again = FRevert && FRevert->day == day && before == FRevert->reverted;
    FRevert = TRevert{day, again ? FRevert->typed : before, after};
}

void TfrMain::RedoAfterUndo() {
    if (!FRevert || FRevert->day != FShownDate) return btUndoClick();
    const QDate day = FShownDate;
    const QString script =
        "(function (reverted, typed, undo) { var before = document.body.innerHTML; "
        "document.body.innerHTML = before === reverted ? typed : undo; "
        "return [before === reverted, before, document.body.innerHTML]; })(" +
        JsStringLiteral(FRevert->reverted) + ", " + JsStringLiteral(FRevert->typed) + ", " +
        JsStringLiteral(Qs(DayUndoText)) + ")";
    WebBrowser->RunScript(script, [this, day](const QVariant& v) {
        const QVariantList answer = v.toList();
        if (answer.size() != 3) return;
        if (answer[0].toBool()) {
            FRevert.reset();
            return;
        }
        RememberRevert(day, answer[1].toString(), answer[2].toString());
    });
}

void TfrMain::btRedoClick() {
    switch (RedoTag()) {
        case 1:
            return btCopyClick();
        case 2:
            return btCutClick();
        case 3:
            return btPastClick();
        case 4:
            return RedoAfterUndo();
        default:
            return;
    }
}

// ---- formatting ----------------------------------------------------------------------------------

void TfrMain::FormatClick(const QString& caption) {
    WebBrowser->FormatSelection(FormatCommandByCaption(caption));
    DayChanged = true;
}

void TfrMain::ClearFormatClick() {
    if (WebBrowser->ClearFormat()) DayChanged = true;
}

// ---- clear and template --------------------------------------------------------------------------

void TfrMain::btClearClick() {
    if (!Ask("Удалить данные?", "Все заметки для выбранной даты будут уничтожены")) return;
    WebBrowser->SetBodyHtml(QString());
    if (L.SetDay)
        L.SetDay(FShownDate.isValid() ? FShownDate : CalendarOr(L, QDate::currentDate()), std::string());
}

void TfrMain::btTemplateClick() {
    WebBrowser->GetBodyHtml([this](const QString& html) {
        Guard([&] {
            if (!TemplateMayReplace(html, [this](const QString& t, const QString& m) { return Ask(t, m); }))
                return;
            if (L.GetTemplate) L.GetTemplate();
            const std::string tmpl = Stored("template");
            WebBrowser->SetBodyHtml(TemplateToHtml(Qs(tmpl)));
            if (L.SetTemplate) L.SetTemplate(tmpl);
        });
    });
}

}  // namespace wl
