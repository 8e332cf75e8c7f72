#pragma once
// The left side of the main window: the search box, the notes preview under "Заметки" and the
// month calendar under "Календарь". The calendar's date is the day the day page shows; every
// change of the shown day passes through it.
#include <QDate>
#include <QWidget>
#include <functional>
#include <string>
#include <thread>

#include "data/SearchInStore.h"

class QCalendarWidget;
class QLabel;
class QLineEdit;
class QListWidget;
class QTextEdit;

namespace wl {

class JsonValue;
class TImageButton;
class TMonthCalendar;
class TfrMain;

class TCalendarPanel : public QWidget {
    Q_OBJECT
  public:
    // 330 x 525, the program's green. dayPage is the page that shows the chosen day.
    TCalendarPanel(TfrMain* dayPage, QWidget* parent = nullptr);
    // Waits for a warm-up of the search still going.
    ~TCalendarPanel() override;

    // Makes the day page the visible page (hiding the other pages) unless it already is.
    // Set by the main window, which owns the pages.
    std::function<void()> mayByShowDay;
    // Keeps the note store's CurrentDate equal to the calendar's date. Set by the main window.
    std::function<void(const QDate&)> SetCurrentDate;
    // The note store's document the search reads (nullptr before the store is loaded), and the
    // sync request GET_SEARCH (throws when it cannot be sent). Set by the main window.
    std::function<const JsonValue*()> StoreDocument;
    std::function<void(const std::string& text)> GetSearch;
    // Opens the notes page (a click on the notes preview). Set by the main window.
    std::function<void()> ShowNotes;

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

    // Search (Enter in the box or its search button): GET_SEARCH is sent when it can be, and the
    // results come from the local store whatever became of the send; the panel shows the results.
    // The service answers with the account's matching days, which land in the store: each day
    // that arrives is announced with StoreDaysArrived, and the list is searched again.
    void SearchInvokeSearch();
    // Fills the result list with the days whose text holds `text`, the newest first, and puts
    // their count in the title; "Ничего не найдено" when there is none (an empty text finds nothing).
    void SearchInStore(const QString& text);
    // Days came into the store: while results are shown, the last search runs again once the
    // current burst of days is in, keeping the highlighted day highlighted.
    void StoreDaysArrived();
    // Opens the day of a result line (its first ten characters are the day key): a click on it,
    // or Enter on the highlighted one. Moving the highlight opens nothing.
    void lbSearchClick(const QString& line);
    // Back to the notes preview; the search box is cleared.
    void btCloseSearchClick();
    bool ShowsResults() const;
    // Makes every day's plain text on a worker thread (from a copy of the days) so that the first
    // search is as quick as the later ones; started when the search box first takes the focus.
    void WarmUpSearch();

    QDate CalendarLastDate;

    QLineEdit* Search;            // search entry, hint "Поиск"
    QLabel* lbTitle;              // "Заметки"
    QTextEdit* mNote;             // read-only notes preview; never holds a caret
    QListWidget* lbSearch;        // search results, hidden until a search shows them
    TImageButton* btCloseSearch;  // beside the title while results are shown
    QWidget* pCalendar;
    TMonthCalendar* pMonth;     // the calendar with its navigation row and day marks
    QCalendarWidget* Calendar;  // its month grid: the selected date and the change signals
    QLineEdit* edFokus;         // focus sink outside the visible area

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void mNoteMouseDown();
    TfrMain* FDayPage;
    bool FSkipClick = false;
    bool FQuietSelection = false;  // ShowDate is setting the calendar
    TStoreSearch FSearch;
    QString FQuery;  // the text of the last search
    bool FRefreshQueued = false;
    std::thread FWarmUp;  // touches only its own copy; hands the texts over through the event loop
};

}  // namespace wl
