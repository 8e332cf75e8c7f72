#pragma once
// What the embedded browser needs from the process before the QApplication is created.
namespace wl {

// Shares OpenGL contexts between windows (the browser requires it) and, when the process runs as
// root, turns off the browser's sandbox, which otherwise refuses to start as root; one renderer
// process serves every editor (--renderer-process-limit=1 added to QTWEBENGINE_CHROMIUM_FLAGS).
// Values the environment already sets are kept. Call before constructing the QApplication.
void PrepareQtWebEngine();

}  // namespace wl
