#pragma once
// The left side of the main window: the search box, the notes preview under "Заметки" and the
// month calendar under "Календарь". The calendar's date is the day the day page shows; every
// change of the shown day passes through it.
#include <QDate>
#include <QWidget>
#include <functional>

class QCalendarWidget;
class QLabel;
class QLineEdit;
class QListWidget;
class QTextEdit;

namespace wl {

class TfrMain;

class TCalendarPanel : public QWidget {
    Q_OBJECT
  public:
    // 330 x 525, the program's green. dayPage is the page that shows the chosen day.
    TCalendarPanel(TfrMain* dayPage, QWidget* parent = nullptr);

    // Makes the day page the visible page (hiding the other pages) unless it already is.
    // Set by the main window, which owns the pages.
    std::function<void()> mayByShowDay;
    // Keeps the note store's CurrentDate equal to the calendar's date. Set by the main window.
    std::function<void(const QDate&)> SetCurrentDate;

    // The calendar's change handling: the chosen day becomes the shown day.
    void CalendarChange();
    // Sets the calendar to date without running CalendarChange (the day page's own way of moving
    // the calendar along when it shows another day).
    void ShowDate(const QDate& date);
    QDate CalendarDate() const;
    // The notes preview shows this plain text (the caller converts the notes HTML).
    void SetNotePreview(const QString& plainText);
    // Wires the day page's calendar links to this panel.
    void LinkDayPage();

    QDate CalendarLastDate;

    QLineEdit* Search;      // search entry, hint "Поиск"
    QLabel* lbTitle;        // "Заметки"
    QTextEdit* mNote;       // read-only notes preview; never holds a caret
    QListWidget* lbSearch;  // search results, hidden until a search shows them
    QWidget* pCalendar;
    QCalendarWidget* Calendar;
    QLineEdit* edFokus;  // focus sink outside the visible area

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void mNoteMouseDown();
    TfrMain* FDayPage;
    bool FSkipClick = false;
};

}  // namespace wl
