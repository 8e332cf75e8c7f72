#pragma once
// The navigation bar: a small always-on-top window at the bottom centre of the screen that stands
// in for the main window while the user works with the week on the desktop. It steps the shown
// week (WeekOffsetDays) back and forth, returns to the current week, opens and closes the desktop
// editor overlay and goes back to the main window. Only its five buttons are visible.
//
// Where the session places no window where the program asks, the bar is never a window of its
// own: it sits in a full-screen window that shows the drawn week (TfmWeekScreen), the full-screen
// overlay while one is open, at the same place on the monitor.
//
// Ownership: created once with the main window and kept (closing only hides it); it owns the
// overlay of the current opening (Editor(), empty while none is open) and the week screen it sits
// in while no overlay is open. Main thread only.
#include <QDate>
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QShortcut;

namespace wl {

class TfmEditor;
class TfmWeekScreen;

struct TBarLinks {
    // A new overlay for the shown week, or nullptr when none can be made (the reason was shown).
    std::function<TfmEditor*()> MakeEditor;
    // A new full-screen window showing the drawn week for the bar to sit in; nullptr where the
    // session places the bar's own window where it asks.
    std::function<TfmWeekScreen*()> MakeWeekScreen;
    // Puts the other programs' windows away (IOtherWindows), and brings back those it put away.
    std::function<void()> CollapseAllWindow;
    std::function<void()> RestoreCollapsed;
    // GET_DAYS_RANGE for the newly shown week.
    std::function<void(const QDate& start, const QDate& end)> GetDaysRange;
    // The main window's data-check timer interval.
    std::function<void(int ms)> SetCheckInterval;
    // Home: show the main window. Esc: close it (it stays in the tray).
    std::function<void()> ShowMainWindow;
    std::function<void()> CloseMainWindow;
    // An overlay has ended and saved its last edits (the day page may show the stored day).
    std::function<void()> EditorClosed;
    // Today's date; the clock's when empty.
    std::function<QDate()> Today;
};

class TBarPanel;

class TfmBar : public QWidget {
    Q_OBJECT
  public:
    explicit TfmBar(TBarLinks links, QWidget* parent = nullptr);
    ~TfmBar() override;

    // Left = (screen width - 516) / 2 rounded half to even, Top = screen height - 90 - 50.
    static QPoint Place(QSize screen);

    TfmEditor* Editor() const { return FEditor; }
    // Ends the open overlay, if any: its last edits are stored and sent, then it goes away. When
    // the bar stays shown (a week step, the editing ended from the bar) it moves into a week
    // screen where the session needs one, before the overlay goes.
    void CloseEditor(bool barStays = false);
    // The drawing has ended a run: the week screen shows the picture as it is now.
    void WeekDrawn();
    // Showing the bar opens the week screen it sits in where the session needs one; hiding it
    // closes that.
    void setVisible(bool visible) override;

    void pPreviosClick();
    void pNextClick();
    void pCurrentClick();
    void pEditorClick();
    void pHomeClick();
    void FormKeyDown();  // Esc

    TBarPanel *pPrevios, *pCurrent, *pNext, *pEditor, *pHome;
    QLabel* EditorCaption() const;

  protected:
    void showEvent(QShowEvent* event) override;
    // The editing on the desktop has ended: the windows put away come back.
    void hideEvent(QHideEvent* event) override;

  private:
    void StepWeek(int days);
    // Into a full-screen window, or back out as a window of its own (nullptr); shown or hidden as
    // it was.
    void SetHost(TfmWeekScreen* host);
    // Into the week screen (made when missing); false where the session needs none.
    bool EnterWeekScreen();
    void CloseWeekScreen();
    void SetEditorCaption(bool open);
    QDate Today() const;

    TBarLinks L;
    QPointer<TfmEditor> FEditor;
    QPointer<TfmWeekScreen> FWeek;
    // The bar's own Esc; inside the overlay the overlay's Esc acts.
    QShortcut* FEsc = nullptr;
    bool FMoving = false;  // SetHost at work
};

// One 88 x 88 button of the bar: an icon and a caption below it; it looks pressed (one pixel right
// and down) while held and acts on the click.
class TBarPanel : public QWidget {
    Q_OBJECT
  public:
    TBarPanel(const QString& icon, const QString& caption, QWidget* parent);
    QLabel* Caption;
    std::function<void()> onClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QPoint FHome;
    bool FDown = false;
};

}  // namespace wl
