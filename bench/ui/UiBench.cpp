// Figures of the day page on its editing surface: time until the surface is ready, the cost of
// showing a day, of one read of the editor's HTML (the change-posting tick reads it every second)
// and of one formatting command, and the memory of this process with its browser processes.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "platform/QtWebEngineSetup.h"
#include "ui/TWebBrowser.h"
#include "ui/TfrMain.h"

namespace {

// Proportional set size in KiB of a process and all its descendants.
long PssKiB(pid_t root) {
    std::map<pid_t, pid_t> parent;
    for (const QString& name : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const pid_t pid = name.toInt(&ok);
        if (!ok) continue;
        QFile stat("/proc/" + name + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() > 1) parent[pid] = fields[1].toInt();
    }
    std::set<pid_t> family{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (auto [pid, ppid] : parent) {
            if (family.count(ppid) && family.insert(pid).second) grew = true;
        }
    }
    long total = 0;
    for (pid_t pid : family) {
        QFile rollup(QString("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:")) total += line.mid(4).trimmed().split(' ')[0].toLong();
        }
    }
    return total;
}

void Wait(wl::TWebBrowser& view) {
    view.WaitIdle(60000);
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer clock;
    clock.start();
    wl::PrepareQtWebEngine();
    QApplication app(argc, argv);

    std::map<std::string, std::string> store;
    QString entry;
    for (int i = 0; i < 40; ++i) entry += QString("<p>Пункт %1: <b>важное</b> дело на день</p>").arg(i);
    for (int d = 1; d <= 28; ++d) store[wl::DayKey(QDate(2024, 2, d))] = entry.toStdString();

    QDate calendar(2024, 2, 1);
    wl::TDayPageLinks links;
    links.StoredText = [&](const std::string& key) { return store.count(key) ? store[key] : std::string(); };
    links.CalendarDate = [&] { return calendar; };
    links.SetCalendarDate = [&](const QDate& d) { calendar = d; };
    wl::TfrMain page(nullptr, links);
    page.show();
    page.GoOnceLoadCurrentDay();
    Wait(*page.WebBrowser);
    const double readyMs = clock.nsecsElapsed() / 1e6;

    const int days = 27;
    clock.restart();
    for (int i = 0; i < days; ++i) {
        page.btNextMouseDown();
        Wait(*page.WebBrowser);
    }
    const double switchMs = clock.nsecsElapsed() / 1e6 / days;

    const int reads = 300;
    clock.restart();
    for (int i = 0; i < reads; ++i) page.WebBrowser->WaitBodyHtml(60000);
    const double readMs = clock.nsecsElapsed() / 1e6 / reads;

    const int commands = 100;
    const wl::FormatCommand& bold = wl::FormatCommandByCaption("Жирный");
    page.WebBrowser->RunScript(
        "(function () { var r = document.createRange(); r.selectNodeContents(document.body.firstChild);"
        " var s = getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()");
    Wait(*page.WebBrowser);
    clock.restart();
    for (int i = 0; i < commands; ++i) {
        page.WebBrowser->FormatSelection(bold);
        Wait(*page.WebBrowser);
    }
    const double formatMs = clock.nsecsElapsed() / 1e6 / commands;

    std::printf("day page ready (process start to first day loaded): %.0f ms\n", readyMs);
    std::printf("show another day (2.5 KB entry):                    %.2f ms\n", switchMs);
    std::printf("read the editor's HTML once:                        %.2f ms\n", readMs);
    std::printf("one formatting command on the selection:            %.2f ms\n", formatMs);
    std::printf("memory, this process and its browser processes:     %.0f MB PSS\n",
                PssKiB(getpid()) / 1024.0);
    return 0;
}
