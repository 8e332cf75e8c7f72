// Putting the other windows away through KWin's scripting, against a stand-in KWin on a private
// session bus that runs the very script it is given (QJSEngine) over a list of windows: the script
// is loaded, run and unloaded, minimises exactly the other programs' normal windows, and the
// windows it reports come back when the overlay ends, the user's own minimised windows staying so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QJSEngine>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "PrivateSessionBus.h"
#include "platform/KWinOtherWindows.h"

namespace wl {
namespace {

const QString kService = QStringLiteral("org.kde.KWin");

using test::Spin;

// What a script's callDBus does in KWin: a method call with the given arguments.
class DBusCaller : public QObject {
    Q_OBJECT
  public:
    explicit DBusCaller(QDBusConnection bus) : FBus(bus) {}
    Q_INVOKABLE void call(const QString& service, const QString& path, const QString& iface,
                          const QString& method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(service, path, iface, method);
        m.setArguments(args);
        FBus.send(m);
    }

  private:
    QDBusConnection FBus;
};

class FakeKWin;

class FakeScript : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
  public:
    FakeScript(FakeKWin& kwin, QString file) : File(std::move(file)), FKWin(kwin) {}
    QString File;
  public slots:
    void run();
    void stop() {}

  private:
    FakeKWin& FKWin;
};

// KWin's scripting as far as the program uses it, with the session's windows as script objects.
class FakeKWin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
  public:
    explicit FakeKWin(QDBusConnection bus) : FBus(bus), FCaller(bus) {
        js.globalObject().setProperty("kwinDBus", js.newQObject(&FCaller));
        js.evaluate(R"(
            function callDBus(service, path, iface, method) {
                kwinDBus.call(service, path, iface, method, Array.prototype.slice.call(arguments, 4));
            })");
    }
    // The windows, bottom first: {caption, pid, normalWindow, minimized, minimizable, internalId}.
    void SetWindows(const char* list) {
        js.evaluate(QStringLiteral(
                        "var windows = %1; var workspace = { clientList: function() { return windows; } };")
                        .arg(QString::fromUtf8(list)));
    }
    bool Minimized(const QString& caption) {
        return js
            .evaluate("windows.filter(function(w) { return w.caption === '" + caption + "'; })[0].minimized")
            .toBool();
    }
    void SetMinimized(const QString& caption, bool on) {
        js.evaluate("windows.filter(function(w) { return w.caption === '" + caption +
                    "'; })[0].minimized = " + (on ? "true" : "false"));
    }

    QJSEngine js;
    std::map<QString, std::unique_ptr<FakeScript>> loaded;  // by name
    QStringList unloaded;
    int runs = 0;
    QString scriptError;

  public slots:
    int loadScript(const QString& path, const QString& name) {
        if (loaded.count(name)) return -1;
        const int id = nextId++;
        auto script = std::make_unique<FakeScript>(*this, path);
        FBus.registerObject(QStringLiteral("/Scripting/Script%1").arg(id), script.get(),
                            QDBusConnection::ExportAllSlots);
        loaded[name] = std::move(script);
        return id;
    }
    bool unloadScript(const QString& name) {
        unloaded << name;
        return loaded.erase(name) > 0;
    }

  private:
    friend class FakeScript;
    QDBusConnection FBus;
    DBusCaller FCaller;
    int nextId = 0;
};

// KWin runs the script after run() has answered.
void FakeScript::run() {
    QTimer::singleShot(10, &FKWin, [this] {
        QFile file(File);
        if (!file.open(QIODevice::ReadOnly)) {
            FKWin.scriptError = "no file " + File;
            return;
        }
        const QJSValue result = FKWin.js.evaluate(QString::fromUtf8(file.readAll()), File);
        if (result.isError()) FKWin.scriptError = result.toString();
        ++FKWin.runs;
    });
}

class KWinOtherWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-kwin"));
        ASSERT_TRUE(bus->isConnected()) << "no private session bus";
        kwin = std::make_unique<FakeKWin>(*bus);
        ASSERT_TRUE(bus->registerService(kService));
        ASSERT_TRUE(bus->registerObject("/Scripting", kwin.get(), QDBusConnection::ExportAllSlots));
    }
    void TearDown() override {
        bus->unregisterObject("/Scripting");
        bus->unregisterService(kService);
        kwin.reset();
        QDBusConnection::disconnectFromBus("fake-kwin");
    }
    bool AllAnswered() { return kwin->loaded.empty() && kwin->runs > 0; }

    std::unique_ptr<QDBusConnection> bus;
    std::unique_ptr<FakeKWin> kwin;
};

// The program itself (our pid), a panel, a dialog-less window without a title, a window the user had
// minimised before, and two ordinary windows of other programs.
std::string Windows() {
    const std::string ours = std::to_string(::getpid());
    return R"([
        {caption: "Panel", pid: 11, normalWindow: false, minimized: false, minimizable: false, internalId: "{1}"},
        {caption: "Editor", pid: 12, normalWindow: true, minimized: false, minimizable: true, internalId: "{2}"},
        {caption: "Weekleaf", pid: )" +
           ours + R"(, normalWindow: true, minimized: false, minimizable: true, internalId: "{3}"},
        {caption: "Mail", pid: 13, normalWindow: true, minimized: true, minimizable: true, internalId: "{4}"},
        {caption: "", pid: 14, normalWindow: true, minimized: false, minimizable: true, internalId: "{5}"},
        {caption: "Terminal", pid: 15, normalWindow: true, minimized: false, minimizable: true, internalId: "{6}"}
    ])";
}

TEST_F(KWinOtherWindowsTest, OtherProgramsWindowsGoAndComeBackWhenTheOverlayEnds) {
    kwin->SetWindows(Windows().c_str());
    KWinOtherWindows windows;
    windows.CollapseAllWindow();
    ASSERT_TRUE(Spin([&] { return AllAnswered(); })) << kwin->scriptError.toStdString();
    EXPECT_TRUE(kwin->scriptError.isEmpty()) << kwin->scriptError.toStdString();
    ASSERT_EQ(kwin->unloaded.size(), 1) << "the collapsing script stays loaded in KWin";
    EXPECT_TRUE(kwin->Minimized("Editor"));
    EXPECT_TRUE(kwin->Minimized("Terminal"));
    for (const char* stays : {"Panel", "Weekleaf", ""}) EXPECT_FALSE(kwin->Minimized(stays)) << stays;

    kwin->SetMinimized("Terminal", false);  // the user brought one back meanwhile ...
    kwin->SetMinimized("Terminal", true);   // ... and put it away again: it is still ours to restore
    EXPECT_EQ(windows.RestoreCollapsed(), (std::vector<std::string>{"Editor", "Terminal"}));
    ASSERT_TRUE(Spin([&] { return kwin->runs == 2 && AllAnswered(); })) << kwin->scriptError.toStdString();
    EXPECT_EQ(kwin->unloaded.size(), 2);
    EXPECT_FALSE(kwin->Minimized("Editor"));
    EXPECT_FALSE(kwin->Minimized("Terminal"));
    EXPECT_TRUE(kwin->Minimized("Mail")) << "a window the user had minimised before came back";
    EXPECT_TRUE(windows.RestoreCollapsed().empty()) << "restored twice";
    for (const auto& entry : std::filesystem::directory_iterator(std::getenv("XDG_RUNTIME_DIR"))) {
        if (entry.path().filename().string().rfind("weekleaf-", 0) == 0)
            ADD_FAILURE() << "script left behind: " << entry.path();
    }
}

// The overlay can end before KWin has answered: the windows still come back once it does.
TEST_F(KWinOtherWindowsTest, ARestoreBeforeTheAnswerIsDoneWhenItArrives) {
    kwin->SetWindows(Windows().c_str());
    KWinOtherWindows windows;
    windows.CollapseAllWindow();
    windows.RestoreCollapsed();
    ASSERT_TRUE(Spin([&] { return kwin->runs == 2 && AllAnswered(); })) << kwin->scriptError.toStdString();
    EXPECT_FALSE(kwin->Minimized("Editor"));
    EXPECT_FALSE(kwin->Minimized("Terminal"));
}

// KWin's scripting only in a Plasma Wayland session with KWin on the bus; X11's windows where the
// program runs on an X display; nothing otherwise.
TEST_F(KWinOtherWindowsTest, TheSessionDecidesWhoPutsTheWindowsAway) {
    struct Case {
        const char* desktop;
        const char* wayland;
        bool x11;
        const char* expected;  // "kwin", "other" or "none"
    };
    const Case cases[] = {
        {"KDE", "wayland-0", true, "kwin"},
        {"KDE", "wayland-0", false, "kwin"},
        {"KDE", "", true, "other"},
        {"GNOME", "wayland-0", true, "other"},
        {"GNOME", "wayland-0", false, "none"},
    };
    for (const Case& c : cases) {
        ::setenv("XDG_CURRENT_DESKTOP", c.desktop, 1);
        ::setenv("WAYLAND_DISPLAY", c.wayland, 1);
        const auto windows = MakeSessionOtherWindows(c.x11);
        const char* got = !windows                                         ? "none"
                          : dynamic_cast<KWinOtherWindows*>(windows.get()) ? "kwin"
                                                                           : "other";
        EXPECT_STREQ(got, c.expected) << c.desktop << " WAYLAND_DISPLAY=" << c.wayland << " x11=" << c.x11;
    }
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::unsetenv("WAYLAND_DISPLAY");
}

TEST(KWinOtherWindowsAbsent, WithoutKWinOnTheBusTheBackendIsRefused) {
    ::setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_EQ(MakeSessionOtherWindows(false), nullptr);
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::unsetenv("WAYLAND_DISPLAY");
    EXPECT_THROW(KWinOtherWindows windows, std::runtime_error);
}

}  // namespace
}  // namespace wl

// A session bus of this test's own, so no desktop's KWin (or its absence) decides the outcome;
// scripts go to a folder of the test's own.
int main(int argc, char** argv) {
    ::unsetenv("DISPLAY");  // X11's windows stay out of it
    const std::filesystem::path runtime =
        std::filesystem::temp_directory_path() / ("wl-kwin-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("TMPDIR", runtime.c_str(), 1);
    const int result = wl::test::RunOnPrivateSessionBus(argc, argv);
    std::filesystem::remove_all(runtime);
    return result;
}

#include "KWinOtherWindowsTest.moc"
