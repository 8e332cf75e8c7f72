#pragma once
// The day page: the editor of one calendar day's entry, with the toolbar, the week header and the
// clear / template / notes buttons. One instance lives in the main window's page area.
//
// The page does not save typing itself: the main window's change-posting tick does, from the
// process-wide state below. Everything here runs on the main thread. A tick uses the page so:
//
//   page->WebBrowser->CleanUpBackground(...);               // the editors' background clean-up
//   page->ReadDayHtml([&](const QDate& day, const QString& html) {
//       if (html.toStdString() != DayPostedText) {          // the user changed the day
//           DayPostedText = html.toStdString();
//           DayChanged = true;
//       } else if (mainWindowVisible) {                     // idle: a pushed text may come in
//           page->ReloadIfIdle(store.Get(DayKey(day)));
//       }
//       if (DayChanged) { DayChanged = false; /* store and post html under `day` */ }
//   });
//   page->GoOnceLoadCurrentDay();
//
// Key the text by the `day` handed over, not by the calendar: while a day loads, the two differ.
#include <QDate>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QMenu;

namespace wl {

class TImageButton;
class TWebBrowser;

// State of the day page shared with the change-posting tick. Owner: the main thread; nothing
// else reads or writes them.
//   DayChanged     a change of the day editor waits to be stored and posted
//   DayPostedText  the day's HTML as last loaded, posted or seen by the tick
//   DayUndoText    the shown day's stored text at load time; undo puts it back
extern bool DayChanged;
extern std::string DayPostedText;
extern std::string DayUndoText;

// The day's key in the note store and in sync messages: "dd.mm.yyyy".
std::string DayKey(const QDate& date);

// What the page needs from the rest of the program. Every member may be left empty (the page
// then skips that step), which keeps the page usable on its own and in tests.
struct TDayPageLinks {
    // Member text of the note store (a day key, "template" or "note"); empty when missing.
    // A std::runtime_error is treated as an ordinary failure of the load that asked.
    std::function<std::string(const std::string& key)> StoredText;
    // Sync requests. Errors of GetDay are ignored; errors of the others are shown to the user.
    std::function<void(const QDate&)> GetDay;
    std::function<void(const QDate&, const std::string& html)> SetDay;
    std::function<void()> GetTemplate;
    std::function<void(const std::string& html)> SetTemplate;
    // The main window's calendar: its date, and setting it without re-entering SetDate.
    std::function<QDate()> CalendarDate;
    std::function<void(const QDate&)> SetCalendarDate;
    // Stores and posts an edit of `date` that the tick had not taken yet, before the page shows
    // another day (what the tick itself does with a change). Typing is never dropped.
    std::function<void(const QDate& date, const std::string& html)> StoreDay;
    // The confirmation question; true only for OK. Defaults to the program's TfmConfirm.
    std::function<bool(const QString& title, const QString& msg)> Confirm;
};

class TfrMain : public QWidget {
    Q_OBJECT
  public:
    // Creates the page (500 x 568) with its surface navigating to "about:blank". At another height
    // the editor grows or shrinks; the bottom line and buttons stay at the bottom.
    explicit TfrMain(QWidget* parent = nullptr, TDayPageLinks links = {});
    ~TfrMain() override;

    TDayPageLinks& Links() { return L; }

    // Shows the given day: asks the service for it, sets the calendar, updates the week header and
    // loads the stored text (DayPostedText and DayUndoText follow it, DayChanged clears). An edit of
    // the day shown so far that the tick has not taken yet goes to Links().StoreDay first; when
    // the same day is shown again, such an edit stays in the editor.
    void SetDate(const QDate& date);
    // First load of the calendar's day; only the first call does anything. Called on every tick.
    void GoOnceLoadCurrentDay();
    bool IsSterted = false;
    // The week header alone: the dates of date's week, date's weekday highlighted. For a window
    // that has no store to load a day from.
    void UpdateWeekHeader(const QDate& date);

    // The day whose text the editor holds (invalid before the first load). Edits read from the
    // editor belong to this day, which can differ from the calendar for a moment while a day loads.
    QDate ShownDate() const { return FShownDate; }
    // The editor's HTML together with the day it belongs to; for the change-posting tick.
    void ReadDayHtml(std::function<void(const QDate& day, const QString& html)> cb);
    // For the tick when the user changed nothing: puts the store's current text of the shown day
    // (storedText) into the editor when it differs from the store text the editor was last loaded
    // with, and only while the editor still holds DayPostedText (a keystroke meanwhile wins).
    // On a reload DayPostedText becomes the editor's HTML and DayChanged clears. Comparing with the
    // last loaded store text, not with the editor's HTML, keeps a text that the browser spells
    // differently from being put back every second (which would throw the caret out each time).
    void ReloadIfIdle(const std::string& storedText, std::function<void(bool reloaded)> done = {});

    // Last repeatable action for redo: 1 copy, 2 cut, 3 paste, 4 undo, 0 none yet.
    int RedoTag() const;

    // Controls, by their names.
    TWebBrowser* WebBrowser;
    QMenu* pmEditor;  // the surface's context menu
    TImageButton *btSettings, *btCopy, *btCut, *btPast, *btUndo, *btRedo, *btNow, *btBar;
    TImageButton *btForward, *btNext;
    TImageButton *btClear, *btTemplate, *btNote;
    QWidget* dayLumin;                  // the highlight behind the selected day
    std::array<QLabel*, 7> DateLabels;  // pnDate .. vsDate, tags 1..7
    std::array<QLabel*, 7> DayLabels;   // "ПН" .. "ВС", tags 1..7

    // Handlers (also callable directly).
    void btCopyClick();
    void btCutClick();
    void btPastClick();
    void btUndoClick();
    void btRedoClick();
    void btNowClick();
    void btForwardMouseDown();
    void btNextMouseDown();
    void btClearClick();
    void btTemplateClick();
    void DayLabelClick(int tag);
    void FormatClick(const QString& caption);
    void ClearFormatClick();

  signals:
    // The buttons that open other parts of the window; the main window acts on them.
    void NoteClick();
    void SettingsClick();
    void BarClick();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildToolbar();
    void PlaceBottom();
    void BuildWeekHeader();
    void BuildBottom();
    void BuildMenu();
    void LoadDay(const QDate& date);
    void RestoreAfterLoss();
    void SetRedoTag(int tag);
    // "Повторить" after "Отменить ввод": right after the revert it puts back what the revert
    // replaced; once something was typed since, it reverts again.
    void RedoAfterUndo();
    // Records a revert of `day` whose page held `before` and then `after`.
    void RememberRevert(const QDate& day, const QString& before, const QString& after);
    bool Ask(const QString& title, const QString& msg);
    std::string Stored(const std::string& key) const;
    // Runs a user action; a failure is shown in a message box and ends only that action.
    void Guard(const std::function<void()>& action);

    TDayPageLinks L;
    QWidget* FLineBelowEditor;
    QDate FShownDate;
    std::string FLastStoreText;  // the store's text of the shown day as last loaded
    QDate FWeekMonday;
    // The last "Отменить ввод": the day, the text it replaced and the text it left.
    struct TRevert {
        QDate day;
        QString typed, reverted;
    };
    std::optional<TRevert> FRevert;
};

}  // namespace wl
