#pragma once
// The month calendar of the left panel: weeks from Monday, the program's green, its own
// navigation row (arrows drawn in the palette, the month's name capitalised, a month pop-up that
// stays inside the window and reaches other years), a quiet dot under every day that holds an
// entry, and a ring around today while another day is selected.
//
// Main thread only. The entry marks are cached per shown page: RefreshMarks() asks HasEntry for
// the days on show and repaints only when the answer changed, so calling it every second is cheap.
#include <QCalendarWidget>
#include <QDate>
#include <functional>
#include <set>

class QAbstractButton;
class QMenu;
class QPainter;

namespace wl {

class TImageButton;

class TMonthCalendar : public QWidget {
    Q_OBJECT
  public:
    explicit TMonthCalendar(QWidget* parent = nullptr);

    // Whether the day holds an entry (something to read); empty: no marks.
    std::function<bool(const QDate&)> HasEntry;
    // Asks HasEntry again for the days on show (and notices a new today); repaints on a change.
    void RefreshMarks();
    bool Marked(const QDate& date) const { return FMarked.count(date) > 0; }

    // The month view itself (selection, signals) and the navigation row.
    QCalendarWidget* View;
    TImageButton *btPrevMonth, *btNextMonth;
    QAbstractButton* btMonth;  // "Декабрь 2026"; opens MonthMenu
    QMenu* MonthMenu;          // the shown year's months, then the years either side and "Год"
    // How far the "Год" submenu of MonthMenu reaches either side of the shown year.
    static constexpr int kYearReach = 10;

    // The pop-up of btMonth, placed inside the window (for tests as well as the click).
    void ShowMonthMenu();

    // The marks of one day's cell: the ring around today, the dot of a day with an entry (green
    // on the white of a selected day, else a quiet light green).
    static void PaintMarks(QPainter& painter, const QRect& cell, bool ring, bool selected, bool dot);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    class TView;
    void UpdateTitle();
    void FillMonthMenu();

    std::set<QDate> FMarked;
    QDate FToday;
};

}  // namespace wl
