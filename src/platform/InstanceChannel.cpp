#include "platform/InstanceChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace wl {
namespace {

// A request longer than this is not one of ours: the connection is dropped.
constexpr qsizetype kMaxLine = 256;

std::string SessionName() {
    const char* names[] = {std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY")};
    for (const char* name : names) {
        if (!name || !*name) continue;
        std::string out;
        for (const char* p = name; *p; ++p) out += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return out;
    }
    return "nodisplay";
}

std::filesystem::path ChannelFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return runtime;
    // Without a runtime folder: one of our own, readable by this user only.
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("weekleaf-" + std::to_string(::getuid()));
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Waits for the socket to be ready for `events` until the deadline; false on time-out or error.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0) return (p.revents & (events | POLLHUP)) != 0;
        if (r < 0 && errno != EINTR) return false;
    }
}

}  // namespace

std::string InstanceChannelPath() {
    return (ChannelFolder() / ("weekleaf-" + SessionName() + ".socket")).string();
}

std::optional<std::string> AskRunningInstance(const std::string& request, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string path = InstanceChannelPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    Fd s{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (s.fd < 0) return std::nullopt;
    // A file nobody listens on refuses at once: no instance.
    if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;
    const std::string line = request + "\n";
    for (size_t sent = 0; sent < line.size();) {
        if (!WaitFor(s.fd, POLLOUT, deadline)) return std::nullopt;
        const ssize_t n = ::send(s.fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return std::nullopt;
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    char buffer[128];
    while (answer.find('\n') == std::string::npos) {
        if (!WaitFor(s.fd, POLLIN, deadline)) return std::nullopt;
        const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        answer.append(buffer, static_cast<size_t>(n));
        if (answer.size() > kMaxLine) return std::nullopt;
    }
    return answer.substr(0, answer.find('\n'));
}

TInstanceChannel::TInstanceChannel() = default;

TInstanceChannel::~TInstanceChannel() {
    Close();
}

bool TInstanceChannel::Listen(Handler onRequest, std::string* error) {
    Close();
    FOnRequest = std::move(onRequest);
    FServer = std::make_unique<QLocalServer>();
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = QString::fromStdString(InstanceChannelPath());
    // A file left by an instance that was killed (or one that is ending) would refuse the name.
    QLocalServer::removeServer(path);
    if (!FServer->listen(path)) {
        if (error) *error = FServer->errorString().toStdString();
        FServer.reset();
        return false;
    }
    QObject::connect(FServer.get(), &QLocalServer::newConnection, FServer.get(), [this] {
        while (QLocalSocket* client = FServer ? FServer->nextPendingConnection() : nullptr) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (!client->canReadLine()) {
                    if (client->bytesAvailable() > kMaxLine) client->abort();
                    return;
                }
                const QByteArray line = client->readLine(kMaxLine + 2);
                if (line.size() > kMaxLine + 1 || !line.endsWith('\n')) {
                    client->abort();
                    return;
                }
                const std::string request = line.trimmed().toStdString();
                const std::string answer = FOnRequest ? FOnRequest(request) : std::string();
                client->write(QByteArray::fromStdString(answer + "\n"));
                // The handler may be ending the program: the answer leaves before the loop stops.
                client->waitForBytesWritten(1000);
                client->disconnectFromServer();
            });
        }
    });
    return true;
}

void TInstanceChannel::Close() {
    if (!FServer) return;
    FServer->close();
    // Later connections and readers see no server; pending ones finish with their own sockets.
    FServer.release()->deleteLater();
}

bool TInstanceChannel::Listening() const {
    return FServer && FServer->isListening();
}

}  // namespace wl
