#include "ui/TCalendarPanel.h"

#include <cxxabi.h>

#include <QAction>
#include <QCalendarWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTextEdit>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <typeinfo>

#include "diag/ErrLog.h"
#include "platform/DateText.h"
#include "ui/TImageButton.h"
#include "ui/TMonthCalendar.h"
#include "ui/TfrMain.h"
#include "ui/UiLook.h"

namespace wl {

namespace {

constexpr int kWidth = 330, kHeight = 525, kInnerX = 20, kInnerW = 290;

QString ClassName(const std::exception& e) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), std::free);
    return QString::fromUtf8(status == 0 && name ? name.get() : typeid(e).name());
}

QWidget* Line(QWidget* parent, int y) {
    auto* w = new QWidget(parent);
    w->setGeometry(kInnerX, y, kInnerW, 1);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, kGreenLine);
    w->setPalette(pal);
    return w;
}

}  // namespace

TCalendarPanel::TCalendarPanel(TfrMain* dayPage, QWidget* parent) : QWidget(parent), FDayPage(dayPage) {
    setObjectName("pLeft");
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kGreen);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);

    Search = new QLineEdit(this);
    Search->setObjectName("Search");
    Search->setPlaceholderText("Поиск");
    Search->setGeometry(kInnerX, 5, kInnerW, 26);

    lbTitle = new QLabel("Заметки", this);
    lbTitle->setObjectName("lbTitle");
    lbTitle->setFont(UiFont("Segoe UI Semibold", 15, true));
    lbTitle->setGeometry(kInnerX, 36, 250, 28);
    Line(this, 68);

    mNote = new QTextEdit(this);
    mNote->setObjectName("mNote");
    mNote->setGeometry(kInnerX, 74, kInnerW, 165);
    mNote->setReadOnly(true);
    mNote->setFrameShape(QFrame::NoFrame);
    mNote->setTextInteractionFlags(Qt::NoTextInteraction);
    mNote->setFocusPolicy(Qt::NoFocus);
    mNote->setStyleSheet("QTextEdit { background: #19AE84; color: white; }");
    mNote->viewport()->installEventFilter(this);

    lbSearch = new QListWidget(this);
    lbSearch->setObjectName("lbSearch");
    lbSearch->setGeometry(mNote->geometry());
    lbSearch->setFrameShape(QFrame::NoFrame);
    lbSearch->setUniformItemSizes(true);
    lbSearch->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbSearch->setTextElideMode(Qt::ElideRight);
    lbSearch->setStyleSheet(
        "QListWidget { background: #19AE84; color: white; }"
        " QListWidget::item:selected { background: white; color: #19AE84; }");
    lbSearch->hide();
    // A click or Enter opens the highlighted day; the arrows only move the highlight.
    connect(lbSearch, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { lbSearchClick(item->text()); });
    lbSearch->installEventFilter(this);

    btCloseSearch = new TImageButton(":/wl/icons/closeSearch.svg", "Закрыть поиск", this);
    btCloseSearch->setObjectName("btCloseSearch");
    btCloseSearch->setGeometry(kInnerX + kInnerW - 26, 38, 26, 26);
    btCloseSearch->hide();
    connect(btCloseSearch, &QAbstractButton::clicked, this, &TCalendarPanel::btCloseSearchClick);

    QAction* searchButton = Search->addAction(QIcon(":/wl/icons/search.svg"), QLineEdit::TrailingPosition);
    searchButton->setObjectName("SearchButton");
    connect(searchButton, &QAction::triggered, this, &TCalendarPanel::SearchInvokeSearch);
    connect(Search, &QLineEdit::returnPressed, this, &TCalendarPanel::SearchInvokeSearch);
    Search->installEventFilter(this);

    edFokus = new QLineEdit(this);
    edFokus->setObjectName("edFokus");
    edFokus->setGeometry(2000, 0, 20, 20);  // outside the visible area on purpose

    Line(this, kHeight - 268 - 2);
    pCalendar = new QWidget(this);
    pCalendar->setObjectName("pCalendar");
    pCalendar->setGeometry(0, kHeight - 268, kWidth, 268);
    auto* caption = new QLabel("Календарь", pCalendar);
    caption->setFont(UiFont("Segoe UI Semibold", 15, true));
    caption->setGeometry(kInnerX, 2, 250, 26);

    pMonth = new TMonthCalendar(pCalendar);
    pMonth->setObjectName("pMonth");
    pMonth->setGeometry(kInnerX, 30, kInnerW, 236);
    Calendar = pMonth->View;

    CalendarLastDate = Calendar->selectedDate();
    connect(Calendar, &QCalendarWidget::selectionChanged, this, [this] {
        if (FQuietSelection) return;  // ShowDate moves the calendar without loading the day
        // A click on a new date also reports the click; that one must not load the day again.
        FSkipClick = true;
        QTimer::singleShot(0, this, [this] { FSkipClick = false; });
        CalendarChange();
    });
    // A click on the date already chosen reloads that day.
    connect(Calendar, &QCalendarWidget::clicked, this, [this](QDate) {
        if (FSkipClick) return;
        CalendarChange();
    });
}

void TCalendarPanel::LinkDayPage() {
    if (!FDayPage) return;
    FDayPage->Links().CalendarDate = [this] { return CalendarDate(); };
    FDayPage->Links().SetCalendarDate = [this](const QDate& d) { ShowDate(d); };
}

QDate TCalendarPanel::CalendarDate() const {
    return Calendar->selectedDate();
}

void TCalendarPanel::ShowDate(const QDate& date) {
    if (!date.isValid()) return;
    // Not a QSignalBlocker: the calendar's own navigation row follows its page changes, and a
    // blocked calendar left it naming the month shown before.
    FQuietSelection = true;
    Calendar->setSelectedDate(date);
    FQuietSelection = false;
    CalendarLastDate = date;
    if (SetCurrentDate) SetCurrentDate(date);
}

void TCalendarPanel::CalendarChange() {
    const QDate date = Calendar->selectedDate();
    if (!date.isValid()) {  // the calendar reports no date: back to the last one it accepted
        ShowDate(CalendarLastDate);
        return;
    }
    CalendarLastDate = date;
    if (SetCurrentDate) SetCurrentDate(date);
    try {
        if (mayByShowDay) mayByShowDay();
        if (FDayPage) FDayPage->SetDate(date);
    } catch (const std::runtime_error& e) {
        QMessageBox::critical(this, "Weekleaf", ClassName(e) + "\n" + QString::fromUtf8(e.what()));
    }
}

void TCalendarPanel::SetNotePreview(const QString& plainText) {
    mNote->setPlainText(plainText);
}

TCalendarPanel::~TCalendarPanel() {
    if (FWarmUp.joinable()) FWarmUp.join();
}

void TCalendarPanel::WarmUpSearch() {
    if (FWarmUp.joinable()) return;  // once per panel
    const JsonValue* store = StoreDocument ? StoreDocument() : nullptr;
    if (!store) return;
    FWarmUp = std::thread([this, days = TStoreSearch::Days(*store)]() mutable {
        TStoreSearch::MakeTexts(days);
        // Queued to this panel: dropped by Qt when the panel is gone by then.
        QMetaObject::invokeMethod(
            this, [this, texts = std::move(days)]() mutable { FSearch.Adopt(std::move(texts)); },
            Qt::QueuedConnection);
    });
}

void TCalendarPanel::SearchInvokeSearch() {
    const QString text = Search->text();
    // The results never depend on the service: a send that fails is only logged.
    try {
        if (GetSearch) GetSearch(text.toStdString());
    } catch (const std::exception& e) {
        ErrLog(std::string("SearchInvokeSearch: ") + e.what());
    }
    SearchInStore(text);
    btCloseSearch->show();
}

void TCalendarPanel::SearchInStore(const QString& text) {
    FQuery = text;
    lbSearch->show();
    mNote->hide();
    lbSearch->clear();
    lbTitle->setText("Результат поиска");
    const JsonValue* store = StoreDocument ? StoreDocument() : nullptr;
    const std::vector<std::string> lines =
        store ? FSearch.SearchInStore(*store, text.toStdString()) : std::vector<std::string>{};
    if (lines.empty()) {
        // A line that is no result: it cannot be highlighted or opened.
        auto* nothing = new QListWidgetItem("Ничего не найдено", lbSearch);
        nothing->setFlags(Qt::NoItemFlags);
        return;
    }
    lbTitle->setText(QString("Результат поиска (%1)").arg(lines.size()));
    QStringList rows;
    rows.reserve(qsizetype(lines.size()));
    for (const std::string& line : lines)
        rows.push_back(QString::fromUtf8(line.data(), qsizetype(line.size())));
    lbSearch->addItems(rows);
}

void TCalendarPanel::StoreDaysArrived() {
    if (!ShowsResults() || FRefreshQueued) return;
    // A burst of days (one answer holds many) refreshes the list once, after the last of them.
    FRefreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        FRefreshQueued = false;
        if (!ShowsResults()) return;
        const QListWidgetItem* current = lbSearch->currentItem();
        const QString key = current ? current->text().left(10) : QString();
        SearchInStore(FQuery);
        for (int row = 0; !key.isEmpty() && row < lbSearch->count(); ++row) {
            if (lbSearch->item(row)->text().startsWith(key + ": ")) lbSearch->setCurrentRow(row);
        }
    });
}

void TCalendarPanel::lbSearchClick(const QString& line) {
    const std::optional<Date> day = StrToDate(line.left(10).toStdString());
    if (!day) return;
    const Civil c = ToCivil(*day);
    const QDate date(c.year, c.month, c.day);
    ShowDate(date);
    try {
        if (FDayPage) FDayPage->SetDate(date);
        if (mayByShowDay) mayByShowDay();
    } catch (const std::runtime_error& e) {
        QMessageBox::critical(this, "Weekleaf", ClassName(e) + "\n" + QString::fromUtf8(e.what()));
    }
}

void TCalendarPanel::btCloseSearchClick() {
    btCloseSearch->hide();
    lbTitle->setText("Заметки");
    mNote->show();
    lbSearch->hide();
    Search->clear();
}

bool TCalendarPanel::ShowsResults() const {
    return !lbSearch->isHidden();
}

void TCalendarPanel::mNoteMouseDown() {
    // The preview never holds a caret; a click on it means "let me edit the notes".
    edFokus->setFocus();
    if (ShowNotes) ShowNotes();
}

bool TCalendarPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Search && event->type() == QEvent::FocusIn) WarmUpSearch();
    if (watched == lbSearch && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (const QListWidgetItem* item = lbSearch->currentItem()) lbSearchClick(item->text());
            return true;
        }
    }
    if (watched == mNote->viewport() && event->type() == QEvent::MouseButtonPress) {
        mNoteMouseDown();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace wl
