#pragma once
// The small mark in the main window's header that tells whether the text is safe: whether the
// sync service can be reached and whether edits wait to be sent. A solid dot means reachable, a
// ring unreachable; white means everything is sent, the weekend colour that edits are waiting.
// The tooltip says the same in a few short words. Main thread only.
#include <QWidget>
#include <cstddef>

namespace wl {

class TSyncMark : public QWidget {
  public:
    explicit TSyncMark(QWidget* parent = nullptr);

    // Sets the state (how many days and pages wait to be sent); repaints and rewrites the tooltip
    // only when it changed.
    void SetState(bool reachable, std::size_t waitingDays, std::size_t waitingPages);
    bool Reachable() const { return FReachable; }
    std::size_t WaitingDays() const { return FWaiting; }
    std::size_t WaitingPages() const { return FWaitingPages; }

    // The tooltip for a state: short lines ("Не отправлено: 1 день").
    static QString Describe(bool reachable, std::size_t waitingDays, std::size_t waitingPages);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    bool FReachable = false;
    std::size_t FWaiting = 0;
    std::size_t FWaitingPages = 0;
};

}  // namespace wl
