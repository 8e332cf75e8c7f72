// Test entry point for the widget tests: the application object (with the browser's needs set up
// first) lives for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/QtWebEngineSetup.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    wl::PrepareQtWebEngine();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
