#include "platform/QtWebEngineSetup.h"

#include <unistd.h>

#include <QCoreApplication>

namespace wl {

void PrepareQtWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // Every editor shows a small local document: one browser process serves them all, which
    // opens the desktop overlay's eight blocks about twice as fast and takes less memory than a
    // process each. The editors reload their texts from the store if it dies.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--renderer-process-limit")) {
        if (!flags.isEmpty()) flags += ' ';
        flags += "--renderer-process-limit=1";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

}  // namespace wl
