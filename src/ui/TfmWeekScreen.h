#pragma once
// One full-screen window on a monitor that paints the drawn week (the picture the drawing wrote)
// as its own background. Where the session places no window where the program asks, the desktop
// editor and the navigation bar live in such a window: it covers every other window, so the week
// shows without anything having to be minimised. Main thread only.
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QWidget>

class QScreen;

namespace wl {

class TfmWeekScreen : public QWidget {
    Q_OBJECT
  public:
    // On `monitor` (nullptr: the primary one), showing the picture at `drawnWeek`.
    TfmWeekScreen(QScreen* monitor, QString drawnWeek);

    // Re-reads the picture, then shows the window full screen, raised and active.
    void ShowFullScreen();
    // Re-reads the picture when the drawing has rewritten it since it was last read.
    void Reload();

  signals:
    // The window has been shown (a window it takes over from may go now).
    void Shown();
    // The window system (or the user through it) has closed the window.
    void Closed();

  protected:
    // An ordinary borderless window with no picture, which the subclass places itself, or makes
    // a week screen with Cover.
    TfmWeekScreen();
    void Cover(QScreen* monitor, QString drawnWeek);
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QString FPath;
    QDateTime FRead;  // the picture's modification time when it was read
    QImage FWeek;
};

}  // namespace wl
