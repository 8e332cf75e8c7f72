#include "platform/SessionWatch.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

namespace wl {
namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    // Only async-signal-safe work here; a full pipe already holds a wake-up.
    [[maybe_unused]] auto n = ::write(gSignalPipe[0], &c, 1);
}

void InstallSignal(int sig) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, nullptr);
}

}  // namespace

TSessionWatch::TSessionWatch(Handlers handlers, QObject* parent)
    : QObject(parent), FHandlers(std::move(handlers)) {
    if (gSignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) == 0) {
        FNotifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, this);
        connect(FNotifier, &QSocketNotifier::activated, this, &TSessionWatch::SignalArrived);
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) InstallSignal(sig);
    }
    // The session manager asks before it ends the session; the program holds the end up until it
    // has restored the wallpaper and quit.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(
            app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SessionEnd(); },
            Qt::DirectConnection);
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        FWatchesSleep =
            bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                        "PrepareForSleep", this, SLOT(PrepareForSleep(bool)));
    }
}

TSessionWatch::~TSessionWatch() {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) signal(sig, SIG_DFL);
}

void TSessionWatch::PrepareForSleep(bool start) {
    const auto& fn = start ? FHandlers.onSuspend : FHandlers.onResume;
    if (fn) fn();
}

void TSessionWatch::SignalArrived() {
    char buf[16];
    [[maybe_unused]] auto n = ::read(gSignalPipe[1], buf, sizeof buf);
    SessionEnd();
}

void TSessionWatch::SessionEnd() {
    // A second request while the exit path pumps events must not start it again.
    if (FEnding) return;
    FEnding = true;
    if (FHandlers.onSessionEnd) FHandlers.onSessionEnd();
}

}  // namespace wl
