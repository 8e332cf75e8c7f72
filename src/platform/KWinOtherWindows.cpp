#include "platform/KWinOtherWindows.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/TextCase.h"

namespace wl {
namespace {

const QString kService = QStringLiteral("org.kde.KWin");
const QString kInterface = QStringLiteral("org.weekleaf.OtherWindows");
// A script that never answers (KWin refused to run it) stops blocking the restore after this.
constexpr int kAnswerTimeoutMs = 5000;

// What both scripts share: the windows in stacking order (bottom first) whatever KWin's version
// calls the list, a window's identity, and the answer.
const char* const kCommon = R"(
var answer = %1;
var all = workspace.stackingOrder || (workspace.windowList ? workspace.windowList() : workspace.clientList());
var done = [];
function idOf(w) { return String(w.internalId); }
function report() {
    callDBus(answer.service, answer.path, answer.iface, "Done", answer.script, JSON.stringify(done));
}
)";

QString JsonText(const QJsonValue& value) {
    const QJsonArray wrapped{value};  // QJsonDocument holds only arrays and objects
    const QString text = QString::fromUtf8(QJsonDocument(wrapped).toJson(QJsonDocument::Compact));
    return text.mid(1, text.size() - 2);
}

QString Common(const KWinOtherWindows::TAnswerTo& answer) {
    const QJsonObject to{
        {"service", answer.Service}, {"path", answer.Path}, {"iface", kInterface}, {"script", answer.Script}};
    return QString::fromUtf8(kCommon).arg(JsonText(to));
}

std::filesystem::path ScriptFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return std::filesystem::path(
        (runtime.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::TempLocation) : runtime)
            .toStdString());
}

bool KdeWayland() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return LowerText(desktop ? desktop : "").find("kde") != std::string::npos && wayland && *wayland;
}

}  // namespace

KWinOtherWindows::KWinOtherWindows(QDBusConnection bus) : FBus(std::move(bus)) {
    if (!FBus.isConnected() || !FBus.interface() || !FBus.interface()->isServiceRegistered(kService))
        throw std::runtime_error("KWin is not on the session bus");
    static unsigned objects = 0;
    FPath = QStringLiteral("/org/weekleaf/OtherWindows%1").arg(++objects);
    if (!FBus.registerObject(FPath, this, QDBusConnection::ExportScriptableSlots))
        throw std::runtime_error("the answer object cannot be put on the bus");
}

KWinOtherWindows::~KWinOtherWindows() {
    while (!FScripts.empty()) Unload(FScripts.begin()->first);
    FBus.unregisterObject(FPath);
}

QString KWinOtherWindows::CollapseScript(const TAnswerTo& answer, qint64 ourPid) {
    return Common(answer) + QStringLiteral(R"(
for (var i = 0; i < all.length; ++i) {
    var w = all[i];
    var caption = String(w.caption || "");
    if (!w.normalWindow || w.minimized || !w.minimizable || w.pid === %1 || caption === "") continue;
    w.minimized = true;
    done.push({id: idOf(w), caption: caption});
}
report();
)")
                                .arg(ourPid);
}

QString KWinOtherWindows::RestoreScript(const TAnswerTo& answer, const QStringList& windowIds) {
    return Common(answer) + QStringLiteral(R"(
var ids = %1;
for (var i = 0; i < all.length; ++i) {
    var w = all[i];
    if (ids.indexOf(idOf(w)) < 0 || !w.minimized) continue;
    w.minimized = false;
    done.push({id: idOf(w), caption: String(w.caption || "")});
}
report();
)")
                                .arg(JsonText(QJsonArray::fromStringList(windowIds)));
}

std::vector<std::string> KWinOtherWindows::CollapseAllWindow() {
    FRestoreWanted = false;
    const qint64 pid = QCoreApplication::applicationPid();
    if (RunScript("collapse", [pid](const TAnswerTo& a) { return CollapseScript(a, pid); }))
        FCollapsing = true;
    return {};
}

std::vector<std::string> KWinOtherWindows::RestoreCollapsed() {
    if (FCollapsing) {
        FRestoreWanted = true;
        return {};
    }
    const std::vector<TWindow> windows = std::move(FCollapsed);
    FCollapsed.clear();
    if (windows.empty()) return {};
    QStringList ids;
    std::vector<std::string> asked;
    for (const TWindow& w : windows) {
        ids << w.Id;
        asked.push_back(w.Caption);
    }
    RunScript("restore", [&ids](const TAnswerTo& a) { return RestoreScript(a, ids); });
    return asked;
}

void KWinOtherWindows::Done(const QString& script, const QString& windows) {
    const auto it = FScripts.find(script);
    if (it == FScripts.end()) return;  // not ours, or given up on
    const bool collapsing = it->second.Collapsing;
    Unload(script);
    if (!collapsing) return;
    FCollapsing = false;
    for (const QJsonValue& value : QJsonDocument::fromJson(windows.toUtf8()).array()) {
        const QString id = value["id"].toString();
        if (id.isEmpty()) continue;
        FCollapsed.push_back({id, value["caption"].toString().toStdString()});
    }
    if (FRestoreWanted) {
        FRestoreWanted = false;
        RestoreCollapsed();
    }
}

bool KWinOtherWindows::RunScript(const QString& kind, const std::function<QString(const TAnswerTo&)>& text) {
    const QString name =
        QStringLiteral("weekleaf-%1-%2-%3").arg(kind).arg(QCoreApplication::applicationPid()).arg(++FNext);
    const std::filesystem::path file = ScriptFolder() / (name.toStdString() + ".js");
    try {
        WriteFileAtomic(file, text({FBus.baseService(), FPath, name}).toStdString());
    } catch (const std::exception&) {
        return false;
    }
    QDBusMessage load = QDBusMessage::createMethodCall(kService, QStringLiteral("/Scripting"),
                                                       QStringLiteral("org.kde.kwin.Scripting"),
                                                       QStringLiteral("loadScript"));
    load << QString::fromStdString(file.string()) << name;
    FScripts[name] = {file, kind == "collapse"};
    // Asked without waiting: the user interface goes on while KWin loads the script.
    auto* loading = new QDBusPendingCallWatcher(FBus.asyncCall(load), this);
    connect(loading, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<int> id = *call;
        if (id.isError() || id.value() < 0) return GiveUp(name);
        FBus.send(
            QDBusMessage::createMethodCall(kService, QStringLiteral("/Scripting/Script%1").arg(id.value()),
                                           QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run")));
    });
    QTimer::singleShot(kAnswerTimeoutMs, this, [this, name] { GiveUp(name); });
    return true;
}

void KWinOtherWindows::GiveUp(const QString& script) {
    const auto it = FScripts.find(script);
    if (it == FScripts.end()) return;
    if (it->second.Collapsing) FCollapsing = FRestoreWanted = false;
    Unload(script);
}

void KWinOtherWindows::Unload(const QString& script) {
    const auto it = FScripts.find(script);
    if (it == FScripts.end()) return;
    QDBusMessage unload = QDBusMessage::createMethodCall(kService, QStringLiteral("/Scripting"),
                                                         QStringLiteral("org.kde.kwin.Scripting"),
                                                         QStringLiteral("unloadScript"));
    unload << script;
    FBus.send(unload);
    std::error_code ignored;
    std::filesystem::remove(it->second.File, ignored);
    FScripts.erase(it);
}

std::unique_ptr<IOtherWindows> MakeSessionOtherWindows(bool x11) {
    if (KdeWayland()) {
        try {
            return std::make_unique<KWinOtherWindows>();
        } catch (const std::exception&) {
        }
    }
    return x11 ? MakeOtherWindows() : nullptr;
}

}  // namespace wl
