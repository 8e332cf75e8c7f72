// The program's entry: answer --help and --version, hand a show option to the running instance,
// replace a running instance, wait after logon when started with "/reg", create the windows,
// listen on the instance channel and run the event loop.
#include <QApplication>
#include <QThread>
#include <cstdio>
#include <string>
#include <vector>

#include "app/AppCommandLine.h"
#include "app/InstanceRequests.h"
#include "app/RebuildLink.h"
#include "app/ShellDuties.h"
#include "app/TfmMain.h"
#include "app/WLSocketLink.h"
#include "data/TSettings.h"
#include "diag/ErrLog.h"
#include "platform/CommandLineText.h"
#include "platform/HotKeys.h"
#include "platform/InstanceChannel.h"
#include "platform/QtPlatformChoice.h"
#include "platform/QtTranslations.h"
#include "platform/QtWebEngineSetup.h"
#include "platform/SessionWatch.h"
#include "platform/SingleInstance.h"
#include "sync/TSyncLog.h"
#include "ui/TfmConfirm.h"
#include "ui/TfmGoLog.h"
#include "ui/TfmSocket.h"

int main(int argc, char** argv) {
    // Before anything touches the display or a running instance: "weekleaf --help" must not end
    // the planner the user is running.
    const wl::TAppCommandLine commandLine =
        wl::ParseAppCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    using TAction = wl::TAppCommandLine::TAction;
    if (commandLine.Action == TAction::Refuse) {
        std::fputs(commandLine.Text.c_str(), stderr);
        return wl::kUsageExitCode;
    }
    if (commandLine.Action != TAction::Run) {
        std::fputs(commandLine.Text.c_str(), stdout);
        return 0;
    }
    // 1. A show option is the running instance's to do; without one running, this start runs it.
    //    Otherwise the older instance ends (this one goes on at once) and says whether the user
    //    had its window on the screen: then this one shows it whatever the command line said.
    const wl::TRemoteOperation* operation = commandLine.Operation;
    if (operation && wl::AskRunningInstanceToShow(*operation)) return 0;
    using TWindow = wl::TAppCommandLine::TWindow;
    const TWindow window = wl::ReplaceRunningInstance() ? TWindow::Shown : commandLine.Window;
    // 2. Started at logon: let the session settle.
    if (commandLine.WaitAfterLogon) QThread::msleep(10000);
    // 3. The application and its windows.
    wl::PrepareQtWebEngine();
    wl::ChooseQtPlatformForThisSession();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Weekleaf");
    QApplication::setQuitOnLastWindowClosed(false);
    wl::InstallQtTranslations(app);  // Qt's own buttons and dialogs speak Russian too

    // Outlives the main window, which removes the keys when it is destroyed.
    // Where the desktop runs a command for a key, the command reaches this program over the
    // instance channel.
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const wl::HotKeyCommand remoteCommand = [self](int id) { return wl::RemoteHotKeyCommand(self, id); };
    auto hotKeys = wl::MakeHotKeys([](const std::string& line) { wl::ErrLog(line); }, remoteCommand);
    // The sync log window and its gate, hidden until "Просмотр лога"; they outlive the main window,
    // whose sync client writes the lines.
    wl::TfmSocket fmSocket;
    wl::TfmGoLog fmGoLog(&fmSocket);
    wl::TfmMain fmMain;
    fmMain.StartWindow = window;
    fmMain.hooks.ShowLogGate = [&](wl::TfmMain&) { fmGoLog.exec(); };
    hotKeys->OnHotKey = [&](int id) { fmMain.hot_key(id); };
    fmMain.hooks.RegisterHotKeys = [&](wl::TfmMain& w) {
        const wl::TSettings& s = *w.Settings();
        hotKeys->Register(
            {s.HotKeyMain(), s.HotKeyNote(), s.HotKeyTemplate(), s.HotKeyBlock(), s.HotKeyEditor()});
    };
    fmMain.hooks.UnregisterHotKeys = [&](wl::TfmMain&) { hotKeys->Unregister(); };
    fmMain.hooks.HotKeyWay = [&] { return hotKeys->Way(); };
    fmMain.hooks.RemoteCommand = remoteCommand;
    fmMain.hooks.MakeSyncClient = wl::MakeWLSocketLink;
    wl::LinkRebuildDB(fmMain);
    wl::LinkShellDuties(fmMain);
    fmMain.FormCreate();
    if (wl::TSyncLogMemo* memo = fmMain.Sync() ? fmMain.Sync()->LogMemo() : nullptr) {
        memo->SetOnLine([&](const std::string& line) { fmSocket.AddLine(line); });
        fmSocket.SetLines(memo->Lines());
    }
    wl::fmConfirm();  // the one confirmation dialog, reused for every question

    wl::TSessionWatch session(
        {[&] { fmMain.SessionEnd(); }, [&] { fmMain.Suspend(); }, [&] { fmMain.Resume(); }});
    fmMain.winId();
    wl::MarkInstanceWindow(fmMain, [&] { fmMain.QuitForNewInstance(); });
    wl::TInstanceChannel channel;
    wl::ServeInstanceRequests(channel, fmMain);
    if (!fmMain.HideAtStart()) fmMain.show();
    if (operation) fmMain.hot_key(operation->HotKeyId);
    return app.exec();
}
