#include "platform/QtWebEngineSetup.h"

#include <unistd.h>

#include <QCoreApplication>

namespace wl {

void PrepareQtWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
}

}  // namespace wl
