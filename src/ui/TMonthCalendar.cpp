#include "ui/TMonthCalendar.h"

#include <QEvent>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QTextCharFormat>
#include <QToolButton>
#include <algorithm>

#include "ui/TImageButton.h"
#include "ui/UiLook.h"

namespace wl {

namespace {

constexpr int kNavH = 26;

const char* kViewStyle = R"(
QCalendarWidget QWidget { background-color: #19AE84; color: white; }
QCalendarWidget QAbstractItemView:enabled { background-color: #19AE84; color: white;
  selection-background-color: white; selection-color: #19AE84; outline: 0; }
QCalendarWidget QAbstractItemView:disabled { color: #19AA84; }
)";

QString TitleStyle() {
    return QString(
               "QToolButton { color: white; background: transparent; border: none; border-radius: 6px;"
               " font-weight: bold; padding: 0 8px; }"
               "QToolButton:hover { background: %1; }"
               "QToolButton::menu-indicator { image: none; }")
        .arg(kHoverOnGreen.name(QColor::HexArgb));
}

// The month's own name, capitalised as a title ("декабрь" -> "Декабрь").
QString MonthTitle(const QLocale& locale, int month) {
    QString name = locale.standaloneMonthName(month, QLocale::LongFormat);
    if (!name.isEmpty()) name[0] = name[0].toUpper();
    return name;
}

// The current choice of a pick list: bold, not ticked.
void Embolden(QAction* action) {
    QFont bold = action->font();
    bold.setBold(true);
    action->setFont(bold);
}

}  // namespace

// The month grid: the stock cell, then the marks of this program on top.
class TMonthCalendar::TView : public QCalendarWidget {
  public:
    TView(TMonthCalendar* owner, QWidget* parent) : QCalendarWidget(parent), FOwner(owner) {}

  protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override {
        QCalendarWidget::paintCell(painter, rect, date);
        const bool inMonth = date.month() == monthShown() && date.year() == yearShown();
        const bool selected = date == selectedDate();
        PaintMarks(*painter, rect, date == FOwner->FToday && !selected, selected,
                   inMonth && FOwner->Marked(date));
    }

  private:
    TMonthCalendar* FOwner;
    friend class TMonthCalendar;
};

void TMonthCalendar::PaintMarks(QPainter& painter, const QRect& cell, bool ring, bool selected, bool dot) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The ring hugs the cell's edge and the dot sits above its bottom stroke with clear space
    // between them, so that today's entry dot never runs into today's ring.
    if (ring) {
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(cell).adjusted(3.5, 1.5, -3.5, -1.0), 6, 6);
    }
    if (dot) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(selected ? kGreen : kEntryDot);
        painter.drawEllipse(QPointF(cell.center().x() + 0.5, cell.bottom() - 5.5), 2.0, 2.0);
    }
    painter.restore();
}

TMonthCalendar::TMonthCalendar(QWidget* parent) : QWidget(parent), FToday(QDate::currentDate()) {
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    View = new TView(this, this);
    View->setObjectName("Calendar");
    View->setLocale(russian);
    View->setFirstDayOfWeek(Qt::Monday);
    View->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    View->setNavigationBarVisible(false);
    View->setGridVisible(false);
    View->setStyleSheet(kViewStyle);
    QTextCharFormat white;
    white.setForeground(Qt::white);
    View->setWeekdayTextFormat(Qt::Saturday, white);
    View->setWeekdayTextFormat(Qt::Sunday, white);
    QTextCharFormat header;
    header.setForeground(Qt::white);
    header.setBackground(kGreen);
    View->setHeaderTextFormat(header);

    btPrevMonth = new TImageButton(":/wl/icons/monthPrev.svg", "Предыдущий месяц", this);
    btPrevMonth->setObjectName("btPrevMonth");
    btNextMonth = new TImageButton(":/wl/icons/monthNext.svg", "Следующий месяц", this);
    btNextMonth->setObjectName("btNextMonth");
    for (TImageButton* b : {btPrevMonth, btNextMonth}) b->setIconSize({18, 18});
    auto* title = new QToolButton(this);
    title->setObjectName("btMonth");
    title->setCursor(Qt::PointingHandCursor);
    title->setStyleSheet(TitleStyle());
    title->setFont(UiFont("Segoe UI Semibold", 13, true));
    title->setFocusPolicy(Qt::NoFocus);
    btMonth = title;
    MonthMenu = new QMenu(this);
    MonthMenu->setObjectName("MonthMenu");

    connect(btPrevMonth, &QAbstractButton::clicked, View, &QCalendarWidget::showPreviousMonth);
    connect(btNextMonth, &QAbstractButton::clicked, View, &QCalendarWidget::showNextMonth);
    connect(btMonth, &QAbstractButton::clicked, this, &TMonthCalendar::ShowMonthMenu);
    connect(View, &QCalendarWidget::currentPageChanged, this, [this] {
        UpdateTitle();
        RefreshMarks();
    });
    UpdateTitle();
}

void TMonthCalendar::UpdateTitle() {
    btMonth->setText(MonthTitle(View->locale(), View->monthShown()) + " " +
                     QString::number(View->yearShown()));
    resizeEvent(nullptr);  // the title's width follows its text
}

void TMonthCalendar::FillMonthMenu() {
    MonthMenu->clear();
    const int year = View->yearShown();
    const int shown = View->monthShown();
    // A plain list to pick from: the shown month stands out in bold, nothing is ticked.
    for (int month = 1; month <= 12; ++month) {
        QAction* a = MonthMenu->addAction(MonthTitle(View->locale(), month),
                                          [this, year, month] { View->setCurrentPage(year, month); });
        if (month == shown) {
            Embolden(a);
            MonthMenu->setActiveAction(a);
        }
    }
    MonthMenu->addSeparator();
    MonthMenu->addAction(QString("← %1").arg(year - 1),
                         [this, year, shown] { View->setCurrentPage(year - 1, shown); });
    MonthMenu->addAction(QString("%1 →").arg(year + 1),
                         [this, year, shown] { View->setCurrentPage(year + 1, shown); });
    // Any year within kYearReach of the shown one in one step, the same month.
    QMenu* years = MonthMenu->addMenu("Год");
    years->setObjectName("YearMenu");
    for (int y = year - kYearReach; y <= year + kYearReach; ++y) {
        QAction* a =
            years->addAction(QString::number(y), [this, y, shown] { View->setCurrentPage(y, shown); });
        if (y == year) Embolden(a);
    }
}

void TMonthCalendar::ShowMonthMenu() {
    FillMonthMenu();
    // Under the title when there is room, otherwise lifted so that it ends inside the window.
    const QSize size = MonthMenu->sizeHint();
    const QRect area = window()->geometry();
    QPoint at = btMonth->mapToGlobal(QPoint(btMonth->width() / 2 - size.width() / 2, btMonth->height()));
    at.setY(std::min(at.y(), area.bottom() + 1 - size.height()));
    at.setY(std::max(at.y(), area.top()));
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    MonthMenu->popup(at);
}

void TMonthCalendar::RefreshMarks() {
    const QDate today = QDate::currentDate();
    std::set<QDate> marked;
    if (HasEntry) {
        const QDate first(View->yearShown(), View->monthShown(), 1);
        for (QDate d = first; d.month() == first.month(); d = d.addDays(1)) {
            if (HasEntry(d)) marked.insert(d);
        }
    }
    if (marked == FMarked && today == FToday) return;
    FMarked = std::move(marked);
    FToday = today;
    static_cast<TView*>(View)->updateCells();
}

void TMonthCalendar::resizeEvent(QResizeEvent*) {
    btPrevMonth->setGeometry(0, 0, kNavH + 4, kNavH);
    btNextMonth->setGeometry(width() - kNavH - 4, 0, kNavH + 4, kNavH);
    const int titleW = std::min(width() - 2 * (kNavH + 8), btMonth->sizeHint().width() + 16);
    btMonth->setGeometry((width() - titleW) / 2, 0, titleW, kNavH);
    View->setGeometry(0, kNavH + 2, width(), height() - kNavH - 2);
}

}  // namespace wl
