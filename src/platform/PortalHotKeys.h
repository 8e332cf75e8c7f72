#pragma once
// Hot keys through the desktop portal's GlobalShortcuts interface (KDE Plasma, and GNOME from 48
// on): the program opens a session, asks the portal to bind one shortcut per key with the key as
// its preferred trigger, and hears the portal's Activated signal whatever window has focus. The
// user may change the triggers in the desktop's settings; the portal remembers them by shortcut
// identifier ("weekleaf-0" ... "weekleaf-4").
//
// Everything the portal answers comes later, as a Request's Response signal: Register returns the
// identifiers it asked for, and a refusal is reported through Log when it arrives. Unregister
// closes the session, which takes its shortcuts away.
//
// Threads: the main thread only (Qt D-Bus delivers the signals through the event loop).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

#include "platform/HotKeys.h"

namespace wl {

// One entry of BindShortcuts' list: a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;  // "description", "preferred_trigger"
};
using PortalShortcuts = QList<PortalShortcut>;

class PortalHotKeys : public QObject, public IHotKeys {
    Q_OBJECT
  public:
    // Throws std::runtime_error when no portal on `bus` offers GlobalShortcuts.
    explicit PortalHotKeys(QDBusConnection bus = QDBusConnection::sessionBus());
    ~PortalHotKeys() override;

    std::vector<int> Register(const HotKeyChars& keys) override;
    void Unregister() override;

    // The portal's trigger for Ctrl + c ("CTRL+6", "CTRL+w"); empty for a character it cannot name.
    static QString Trigger(char32_t c);
    // "weekleaf-<id>", and back (-1 for an identifier not ours).
    static QString ShortcutId(int id);
    static int IdOfShortcut(const QString& shortcut);

    // Registers the D-Bus types this backend marshals (done by the constructor; for a fake portal).
    static void RegisterTypes();

  private slots:
    void SessionCreated(uint response, const QVariantMap& results);
    void ShortcutsBound(uint response, const QVariantMap& results);
    void Activated(const QDBusMessage& signal);  // (o session, s shortcut, t timestamp, a{sv} options)

  private:
    QString RequestPath(const QString& token) const;
    // Calls `method` and routes the Response of the request it starts to `slot`.
    void Ask(const QString& method, const QList<QVariant>& arguments, const QString& token, const char* slot);
    void Bind();

    QDBusConnection FBus;
    QString FSession;          // the session's object path; empty while none is open
    PortalShortcuts FPending;  // shortcuts to bind once the session exists
    unsigned FNextToken = 0;
};

}  // namespace wl

Q_DECLARE_METATYPE(wl::PortalShortcut)
Q_DECLARE_METATYPE(wl::PortalShortcuts)
