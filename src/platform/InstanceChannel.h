#pragma once
// The channel between instances of the program for one user and one session: a local stream
// socket in XDG_RUNTIME_DIR (a private folder under the temporary folder when that is unset),
// named after the session's display, so it works the same on X11 and on Wayland. A request is one
// line of text and the answer one line; the running instance listens, a newer start asks.
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLocalServer;

namespace wl {

// The socket's path for the current environment (WAYLAND_DISPLAY, else DISPLAY, names the session).
std::string InstanceChannelPath();

// The running instance's one-line answer to `request`, or nothing when no instance answers within
// timeoutMs (none runs, or the socket file is a killed instance's leftover). Plain sockets, so it
// works before the application object exists.
std::optional<std::string> AskRunningInstance(const std::string& request, int timeoutMs = 5000);

// The running instance's end: every request line goes to the handler on the main thread, and the
// handler's result is the answer. Needs a running Qt event loop.
class TInstanceChannel {
  public:
    using Handler = std::function<std::string(const std::string& request)>;
    TInstanceChannel();
    ~TInstanceChannel();
    TInstanceChannel(const TInstanceChannel&) = delete;
    TInstanceChannel& operator=(const TInstanceChannel&) = delete;

    // Listens at InstanceChannelPath(), taking the name over from a file left behind; false (and
    // the reason in `error`) when the socket cannot be made.
    bool Listen(Handler onRequest, std::string* error = nullptr);
    // Stops listening and removes the socket file, so a newer instance can take the name while
    // this one is still ending.
    void Close();
    bool Listening() const;

  private:
    std::unique_ptr<QLocalServer> FServer;
    Handler FOnRequest;
};

}  // namespace wl
