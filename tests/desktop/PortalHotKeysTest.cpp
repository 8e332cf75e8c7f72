// Hot keys through the desktop portal's GlobalShortcuts interface, against a stand-in portal on a
// private session bus: the session and the shortcuts asked for, a pressed shortcut reaching
// OnHotKey, a refusal reported (and shown as keys the program could not register), other sessions' and
// unknown shortcuts ignored, and unregistering closing the session.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "PrivateSessionBus.h"
#include "platform/PortalHotKeys.h"

namespace wl {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

using test::Spin;

// A session object: Close is all the program calls on it.
class FakeSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")
  public:
    bool closed = false;
  public slots:
    void Close() { closed = true; }
};

// What a desktop's portal does, as far as this program uses it; `bindAnswer` is the Response code
// BindShortcuts gives (0 success, 1 cancelled by the user, 2 other failure).
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)
  public:
    explicit FakePortal(QDBusConnection bus) : FBus(bus) {}
    uint version() const { return 1; }

    uint bindAnswer = 0;
    QString session;
    PortalShortcuts bound;
    int binds = 0;
    FakeSession sessionObject;

    void Press(const QString& shortcut, const QString& inSession) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, "org.freedesktop.portal.GlobalShortcuts", "Activated");
        signal << QVariant::fromValue(QDBusObjectPath(inSession)) << shortcut << qulonglong(1)
               << QVariantMap();
        FBus.send(signal);
    }

  public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options) {
        const QString request = Path("request", options.value("handle_token").toString());
        session = Path("session", options.value("session_handle_token").toString());
        FBus.registerObject(session, &sessionObject, QDBusConnection::ExportAllSlots);
        Answer(request, 0, {{"session_handle", session}});
        return QDBusObjectPath(request);
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& inSession, const wl::PortalShortcuts& shortcuts,
                                  const QString&, const QVariantMap& options) {
        const QString request = Path("request", options.value("handle_token").toString());
        if (inSession.path() == session) bound = shortcuts;
        ++binds;
        Answer(request, bindAnswer, {});
        return QDBusObjectPath(request);
    }

  private:
    QString Path(const char* kind, const QString& token) {
        QString sender = message().service();
        sender.remove(0, 1).replace('.', '_');
        return kPath + '/' + kind + '/' + sender + '/' + token;
    }
    // The Response comes after the call's reply, as from a real portal.
    void Answer(const QString& request, uint response, const QVariantMap& results) {
        QTimer::singleShot(10, this, [this, request, response, results] {
            QDBusMessage signal =
                QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
            signal << response << results;
            FBus.send(signal);
        });
    }
    QDBusConnection FBus;
};

class PortalHotKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-portal"));
        ASSERT_TRUE(bus->isConnected()) << "no private session bus";
        PortalHotKeys::RegisterTypes();
        portal = std::make_unique<FakePortal>(*bus);
        ASSERT_TRUE(bus->registerService(kService));
        ASSERT_TRUE(bus->registerObject(
            kPath, portal.get(), QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    }
    void TearDown() override {
        bus->unregisterObject(kPath);
        bus->unregisterService(kService);
        portal.reset();
        QDBusConnection::disconnectFromBus("fake-portal");
    }
    std::unique_ptr<QDBusConnection> bus;
    std::unique_ptr<FakePortal> portal;
};

TEST(PortalHotKeysNames, TriggersAndIdentifiers) {
    EXPECT_EQ(PortalHotKeys::Trigger(U'6'), "CTRL+6");
    EXPECT_EQ(PortalHotKeys::Trigger(U'W'), "CTRL+w");
    EXPECT_EQ(PortalHotKeys::Trigger(U'ж'), "");
    EXPECT_EQ(PortalHotKeys::IdOfShortcut(PortalHotKeys::ShortcutId(4)), 4);
    for (const char* other : {"weekleaf-5", "weekleaf-", "other-1", "weekleaf-1x", ""})
        EXPECT_EQ(PortalHotKeys::IdOfShortcut(other), -1) << other;
}

TEST_F(PortalHotKeysTest, TheKeysAreBoundAndAPressedShortcutReachesTheProgram) {
    PortalHotKeys keys;
    std::vector<int> pressed;
    keys.OnHotKey = [&](int id) { pressed.push_back(id); };
    EXPECT_EQ(keys.Register({U'0', U'9', U'ж', 0, U'6'}), (std::vector<int>{0, 1, 4}));
    ASSERT_TRUE(Spin([&] { return portal->bound.size() == 3; })) << "nothing was bound";
    EXPECT_EQ(keys.Way(), THotKeyWay::Portal);
    EXPECT_EQ(portal->bound[2].id, "weekleaf-4");
    EXPECT_EQ(portal->bound[2].properties.value("preferred_trigger").toString(), "CTRL+6");
    EXPECT_FALSE(portal->bound[2].properties.value("description").toString().isEmpty());

    portal->Press("weekleaf-4", portal->session);
    portal->Press("weekleaf-1", "/org/freedesktop/portal/desktop/session/other/x");  // another program's
    portal->Press("somebody-else", portal->session);
    portal->Press("weekleaf-0", portal->session);
    ASSERT_TRUE(Spin([&] { return pressed.size() >= 2; }));
    EXPECT_EQ(pressed, (std::vector<int>{4, 0}));

    // New keys from the options go to a new session.
    EXPECT_EQ(keys.ReRegister({0, 0, 0, 0, U'7'}), (std::vector<int>{4}));
    EXPECT_TRUE(Spin([&] { return portal->sessionObject.closed; }));
    ASSERT_TRUE(Spin([&] { return portal->bound.size() == 1; }));
    EXPECT_EQ(portal->bound[0].properties.value("preferred_trigger").toString(), "CTRL+7");
}

TEST_F(PortalHotKeysTest, ARefusalIsReportedAndEndingClosesTheSession) {
    portal->bindAnswer = 1;  // the user cancelled the desktop's dialog
    std::vector<std::string> log;
    {
        PortalHotKeys keys;
        keys.Log = [&](const std::string& line) { log.push_back(line); };
        keys.Register({U'0', 0, 0, 0, 0});
        ASSERT_TRUE(Spin([&] { return !log.empty(); }));
        EXPECT_NE(log[0].find("bound no shortcuts"), std::string::npos) << log[0];
        EXPECT_EQ(keys.Way(), THotKeyWay::Unavailable) << "the options page would claim the keys work";
    }
    EXPECT_TRUE(Spin([&] { return portal->sessionObject.closed; }));
}

TEST(PortalHotKeysAbsent, NoPortalOnTheBusIsAnError) {
    EXPECT_THROW(PortalHotKeys keys, std::runtime_error);
}

}  // namespace
}  // namespace wl

// A session bus of this test's own, so no desktop's portal (or its absence) decides the outcome.
int main(int argc, char** argv) {
    return wl::test::RunOnPrivateSessionBus(argc, argv);
}

#include "PortalHotKeysTest.moc"
