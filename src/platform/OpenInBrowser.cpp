#include "platform/OpenInBrowser.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace wl {
namespace {

// An opener that fails does so at once; a later error status is the browser's own business.
constexpr qint64 kAnswerMs = 10000;

}  // namespace

void OpenInBrowser(const QUrl& url, std::function<void()> failed) {
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty()) {
        // Qt's own search (desktop-specific openers, $BROWSER, well-known browsers).
        if (!QDesktopServices::openUrl(url)) QTimer::singleShot(0, qApp, failed);
        return;
    }
    auto* process = new QProcess(qApp);
    process->setProgram(opener);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        failed();
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed, clock](int code, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || code != 0) && clock.elapsed() < kAnswerMs)
                             failed();
                         process->deleteLater();
                     });
    process->start();
}

}  // namespace wl
