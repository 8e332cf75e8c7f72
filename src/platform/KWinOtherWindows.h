#pragma once
// The other windows of a KDE Plasma session on Wayland, put away through KWin's scripting over
// D-Bus: no client may minimise another program's native Wayland window, but a KWin script may.
// Each step loads a small script (org.kde.kwin.Scripting.loadScript), runs it and unloads it once
// it has answered. The collapsing script minimises the normal windows of other processes and
// answers over D-Bus (callDBus) with the ones it minimised; the restoring script brings back
// exactly those that are still minimised.
//
// KWin runs a script after run() has returned, so the answer comes later through the event loop:
// CollapseAllWindow returns nothing, and a RestoreCollapsed that comes before the answer is done as
// soon as it arrives.
//
// Threads: the main thread only (Qt D-Bus delivers the answer through the event loop).
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/OtherWindows.h"

namespace wl {

class KWinOtherWindows : public QObject, public IOtherWindows {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.weekleaf.OtherWindows")
  public:
    // Throws std::runtime_error when KWin is not on `bus`.
    explicit KWinOtherWindows(QDBusConnection bus = QDBusConnection::sessionBus());
    ~KWinOtherWindows() override;

    std::vector<std::string> CollapseAllWindow() override;
    std::vector<std::string> RestoreCollapsed() override;

    // The scripts' texts: `answer` names where they call back (service, path, script name).
    struct TAnswerTo {
        QString Service, Path, Script;
    };
    static QString CollapseScript(const TAnswerTo& answer, qint64 ourPid);
    static QString RestoreScript(const TAnswerTo& answer, const QStringList& windowIds);

  public slots:
    // The scripts' answer: the windows they acted on as a JSON list of {"id", "caption"}.
    Q_SCRIPTABLE void Done(const QString& script, const QString& windows);

  private:
    struct TWindow {
        QString Id;
        std::string Caption;
    };
    struct TScript {
        std::filesystem::path File;
        bool Collapsing;
    };
    // Asks KWin to load and run a script; false when its file cannot be written.
    bool RunScript(const QString& kind, const std::function<QString(const TAnswerTo&)>& text);
    // A script KWin refused or that never answered: forgotten, and the restore no longer waits.
    void GiveUp(const QString& script);
    void Unload(const QString& script);

    QDBusConnection FBus;
    QString FPath;                        // this object's path on the bus, where the scripts answer
    std::map<QString, TScript> FScripts;  // loaded, not yet answered, by name
    std::vector<TWindow> FCollapsed;
    bool FCollapsing = false;     // a collapsing script has not answered yet
    bool FRestoreWanted = false;  // restore as soon as it does
    unsigned FNext = 0;
};

// Where the session is KDE Plasma on Wayland and KWin is on the session bus, KWin's scripting (it
// reaches native Wayland and X11 windows alike); otherwise X11's windows when `x11` (the program
// runs on an X display); else nothing (nullptr).
std::unique_ptr<IOtherWindows> MakeSessionOtherWindows(bool x11);

}  // namespace wl
