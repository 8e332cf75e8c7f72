#include "platform/PortalHotKeys.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QRegularExpression>
#include <stdexcept>

namespace wl {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kPrefix = QStringLiteral("weekleaf-");

// What each key does, as the desktop's settings list it.
const char* const kDescriptions[] = {"Weekleaf: главное окно", "Weekleaf: заметки", "Weekleaf: шаблон",
                                     "Weekleaf: блоки на рабочем столе", "Weekleaf: редактор недели"};

// A session handle arrives as a string (the documented type) or, from some portals, as a path.
QString PathText(const QVariant& value) {
    if (value.canConvert<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
    return value.toString();
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void PortalHotKeys::RegisterTypes() {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
}

PortalHotKeys::PortalHotKeys(QDBusConnection bus) : FBus(std::move(bus)) {
    Provides(THotKeyWay::Portal);
    RegisterTypes();
    if (!FBus.isConnected()) throw std::runtime_error("no session bus");
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    // A portal started on demand takes a moment to answer; the event loop goes on meanwhile.
    const QDBusMessage reply = FBus.call(get, QDBus::BlockWithGui, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw std::runtime_error("no desktop portal with global shortcuts: " +
                                 reply.errorMessage().toStdString());
    FBus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                 SLOT(Activated(QDBusMessage)));
}

PortalHotKeys::~PortalHotKeys() {
    Unregister();
}

QString PortalHotKeys::Trigger(char32_t c) {
    const char key = LatinKey(c);
    return key ? QStringLiteral("CTRL+") + QChar(key) : QString();
}

QString PortalHotKeys::ShortcutId(int id) {
    return kPrefix + QString::number(id);
}

int PortalHotKeys::IdOfShortcut(const QString& shortcut) {
    static const QRegularExpression ours(QStringLiteral("^weekleaf-([0-4])$"));
    const QRegularExpressionMatch match = ours.match(shortcut);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

std::vector<int> PortalHotKeys::Register(const HotKeyChars& keys) {
    std::vector<int> asked;
    for (int id = 0; id < static_cast<int>(keys.size()); ++id) {
        if (keys[id] == 0) continue;
        const QString trigger = Trigger(keys[id]);
        if (trigger.isEmpty()) {
            Report("HotKey.Register: key " + std::to_string(id) + " has no portal trigger, skipped");
            continue;
        }
        FPending.push_back({ShortcutId(id),
                            {{QStringLiteral("description"), QString::fromUtf8(kDescriptions[id])},
                             {QStringLiteral("preferred_trigger"), trigger}}});
        asked.push_back(id);
    }
    if (FPending.isEmpty()) return asked;
    if (!FSession.isEmpty()) {
        Bind();
        return asked;
    }
    const QString token = QStringLiteral("weekleaf%1").arg(++FNextToken);
    Ask(QStringLiteral("CreateSession"),
        {QVariantMap{{QStringLiteral("handle_token"), token},
                     {QStringLiteral("session_handle_token"), token}}},
        token, SLOT(SessionCreated(uint, QVariantMap)));
    return asked;
}

void PortalHotKeys::Unregister() {
    FPending.clear();
    if (FSession.isEmpty()) return;
    FBus.call(
        QDBusMessage::createMethodCall(kService, FSession, QStringLiteral("org.freedesktop.portal.Session"),
                                       QStringLiteral("Close")),
        QDBus::NoBlock);
    FSession.clear();
}

QString PortalHotKeys::RequestPath(const QString& token) const {
    QString sender = FBus.baseService();
    sender.remove(0, sender.startsWith(':') ? 1 : 0).replace('.', '_');
    return kPath + QStringLiteral("/request/") + sender + '/' + token;
}

void PortalHotKeys::Ask(const QString& method, const QList<QVariant>& arguments, const QString& token,
                        const char* slot) {
    // The answer comes as a signal of the request object, so listen before asking.
    FBus.connect(kService, RequestPath(token), kRequest, QStringLiteral("Response"), this, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    FBus.asyncCall(call);
}

void PortalHotKeys::Bind() {
    const QString token = QStringLiteral("weekleaf%1").arg(++FNextToken);
    Ask(QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(FSession)), QVariant::fromValue(FPending), QString(),
         QVariantMap{{QStringLiteral("handle_token"), token}}},
        token, SLOT(ShortcutsBound(uint, QVariantMap)));
    FPending.clear();
}

void PortalHotKeys::SessionCreated(uint response, const QVariantMap& results) {
    const QString session = PathText(results.value(QStringLiteral("session_handle")));
    if (response != 0 || session.isEmpty()) {
        Failed(true);
        Report("HotKey.Register: the desktop portal opened no shortcut session (answer " +
               std::to_string(response) + ")");
        FPending.clear();
        return;
    }
    FSession = session;
    Bind();
}

void PortalHotKeys::ShortcutsBound(uint response, const QVariantMap&) {
    Failed(response != 0);
    if (response != 0)
        Report("HotKey.Register: the desktop portal bound no shortcuts (answer " + std::to_string(response) +
               ")");
}

void PortalHotKeys::Activated(const QDBusMessage& signal) {
    const QList<QVariant> arguments = signal.arguments();
    if (arguments.size() < 2 || PathText(arguments[0]) != FSession) return;
    const QString shortcut = arguments[1].toString();
    const int id = IdOfShortcut(shortcut);
    if (id >= 0 && OnHotKey) OnHotKey(id);
}

}  // namespace wl
