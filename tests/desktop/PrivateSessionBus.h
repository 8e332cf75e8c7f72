#pragma once
// A session bus of the test's own: a private dbus-daemon named in DBUS_SESSION_BUS_ADDRESS while
// the object lives, so no desktop's services (or their absence) decide a test's outcome.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace wl::test {

class PrivateSessionBus {
  public:
    PrivateSessionBus() {
        FILE* daemon = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        if (!daemon) return;
        char address[512] = {0}, pid[32] = {0};
        const bool read = std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon);
        ::pclose(daemon);
        if (!read) return;
        address[std::strcspn(address, "\n")] = 0;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
        FPid = std::atoi(pid);
    }
    ~PrivateSessionBus() {
        if (FPid > 0) ::kill(FPid, SIGTERM);
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool Running() const { return FPid > 0; }

  private:
    pid_t FPid = 0;
};

// Runs the event loop, through which the bus's calls and answers arrive, until `done` holds; false
// when `ms` passed first.
inline bool Spin(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A test program's main: the tests run with a private session bus and the event loop's application.
inline int RunOnPrivateSessionBus(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrivateSessionBus bus;
    if (!bus.Running()) {
        std::fprintf(stderr, "no dbus-daemon: nothing to test against\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace wl::test
