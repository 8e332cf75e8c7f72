#pragma once
// Opening a web address in the user's browser, with a report when that is not possible.
#include <QUrl>
#include <functional>

namespace wl {

// Asks the desktop to open `url` in the user's browser and returns at once. `failed` runs later on
// the main thread when no browser could be asked: no opener at all, or xdg-open found no browser
// (it exits with an error status, which Qt's own opener does not look at). An opener that keeps
// running (a browser started in the foreground) counts as success.
void OpenInBrowser(const QUrl& url, std::function<void()> failed);

}  // namespace wl
