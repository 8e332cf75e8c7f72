#pragma once
// The end of the user's session and system sleep, as events on the main thread:
//   - the session manager asking the program to save its state (log-off, shut-down),
//   - SIGTERM, SIGHUP or SIGINT (systemd ends a session's processes with SIGTERM), delivered
//     through a self-pipe into the event loop, so the handler runs as ordinary main-thread code,
//   - logind's PrepareForSleep signal on the system bus (skipped quietly without a system bus).
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace wl {

class TSessionWatch : public QObject {
    Q_OBJECT
  public:
    struct Handlers {
        std::function<void()> onSessionEnd;  // log-off, shut-down or a termination signal
        std::function<void()> onSuspend;     // the system is about to sleep
        std::function<void()> onResume;      // the system woke up
    };
    // Installs the signal handlers and connects to the session manager and logind. One instance
    // per process, created after the QApplication.
    explicit TSessionWatch(Handlers handlers, QObject* parent = nullptr);
    ~TSessionWatch() override;

    // Whether logind's sleep signal is being listened to.
    bool WatchesSleep() const { return FWatchesSleep; }

  public slots:
    void PrepareForSleep(bool start);

  private:
    void SignalArrived();
    void SessionEnd();

    Handlers FHandlers;
    QSocketNotifier* FNotifier = nullptr;
    bool FWatchesSleep = false;
    bool FEnding = false;
};

}  // namespace wl
