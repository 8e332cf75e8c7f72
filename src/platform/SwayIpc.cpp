#include "platform/SwayIpc.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "platform/Utf8.h"

namespace wl {

namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeaderSize = kMagic.size() + 2 * sizeof(uint32_t);
constexpr uint32_t kLargestAnswer = 16u << 20;

std::runtime_error IpcError(const std::string& what) {
    return std::runtime_error("sway IPC: " + what);
}

class Socket {
  public:
    explicit Socket(const std::string& path) {
        sockaddr_un address{};
        if (path.empty()) throw IpcError("no socket (SWAYSOCK is not set)");
        if (path.size() >= sizeof(address.sun_path)) throw IpcError("socket path too long: " + path);
        FFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (FFd < 0) throw IpcError(std::string("socket: ") + std::strerror(errno));
        timeval limit{2, 0};
        ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(FFd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), path.size());
        if (::connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const std::string reason = std::strerror(errno);
            ::close(FFd);
            throw IpcError("cannot connect to " + path + ": " + reason);
        }
    }
    ~Socket() { ::close(FFd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(FFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw IpcError(std::string("send: ") + std::strerror(errno));
            done += static_cast<std::size_t>(n);
        }
    }

    std::string Read(std::size_t size) {
        std::string bytes(size, '\0');
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::recv(FFd, bytes.data() + done, size - done, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) throw IpcError("the compositor closed the connection");
            if (n < 0) throw IpcError(std::string("no answer: ") + std::strerror(errno));
            done += static_cast<std::size_t>(n);
        }
        return bytes;
    }

  private:
    int FFd = -1;
};

std::string Header(uint32_t length, uint32_t type) {
    std::string header(kMagic);
    header.append(reinterpret_cast<const char*>(&length), sizeof length);
    header.append(reinterpret_cast<const char*>(&type), sizeof type);
    return header;
}

// Four hex digits at `at`, or -1.
long Hex4(const std::string& json, std::size_t at) {
    if (at + 4 > json.size()) return -1;
    long value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = json[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The text of the JSON string whose opening quote is at `quote`, unescaped; a malformed escape
// ends the text there.
std::string StringAt(const std::string& json, std::size_t quote) {
    std::string text;
    for (std::size_t i = quote + 1; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] != '\\') {
            text += json[i];
            continue;
        }
        if (++i >= json.size()) break;
        switch (json[i]) {
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case 'r':
                text += '\r';
                break;
            case 'b':
                text += '\b';
                break;
            case 'f':
                text += '\f';
                break;
            case 'u': {
                long c = Hex4(json, i + 1);
                if (c < 0) return text;
                i += 4;
                const bool pair = c >= 0xd800 && c < 0xdc00 && json.compare(i + 1, 2, "\\u") == 0;
                const long low = pair ? Hex4(json, i + 3) : -1;
                if (low >= 0xdc00 && low < 0xe000) {
                    c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                    i += 6;
                }
                AppendUtf8(text, (c >= 0xd800 && c < 0xe000) ? U'\ufffd' : static_cast<char32_t>(c));
                break;
            }
            default:
                text += json[i];  // \" \\ \/
        }
    }
    return text;
}

std::size_t SkipBlanks(const std::string& json, std::size_t at) {
    while (at < json.size() && (json[at] == ' ' || json[at] == '\n' || json[at] == '\t' || json[at] == '\r'))
        ++at;
    return at;
}

// Position of the value of member `key` at or after `from`, or npos.
std::size_t ValueOf(const std::string& json, const std::string& key, std::size_t from,
                    std::size_t end = std::string::npos) {
    const std::string quoted = "\"" + key + "\"";
    const std::size_t at = json.find(quoted, from);
    if (at == std::string::npos || at >= end) return std::string::npos;
    const std::size_t colon = SkipBlanks(json, at + quoted.size());
    if (colon >= json.size() || json[colon] != ':') return std::string::npos;
    return SkipBlanks(json, colon + 1);
}

int NumberAt(const std::string& json, std::size_t at) {
    if (at == std::string::npos) return 0;
    return std::atoi(json.c_str() + at);
}

// A positive decimal number (whatever the process's locale), else `fallback`.
double DecimalAt(const std::string& json, std::size_t at, double fallback) {
    if (at == std::string::npos) return fallback;
    double value = 0;
    const auto [end, error] = std::from_chars(json.data() + at, json.data() + json.size(), value);
    return error == std::errc() && value > 0 ? value : fallback;
}

}  // namespace

std::string SwaySocketFromEnvironment() {
    const char* path = std::getenv("SWAYSOCK");
    return path ? path : "";
}

std::string SwayRequest(const std::string& socketPath, SwayMessage type, const std::string& payload) {
    Socket socket(socketPath);
    socket.Write(Header(static_cast<uint32_t>(payload.size()), static_cast<uint32_t>(type)) + payload);
    const std::string header = socket.Read(kHeaderSize);
    if (header.compare(0, kMagic.size(), kMagic) != 0) throw IpcError("the answer is not an IPC message");
    uint32_t length = 0;
    std::memcpy(&length, header.data() + kMagic.size(), sizeof length);
    if (length > kLargestAnswer) throw IpcError("an answer of " + std::to_string(length) + " bytes");
    return socket.Read(length);
}

void SwayRunCommand(const std::string& socketPath, const std::string& command) {
    const std::string answer = SwayRequest(socketPath, SwayMessage::RunCommand, command);
    const std::size_t success = ValueOf(answer, "success", 0);
    if (success == std::string::npos)
        throw IpcError("no outcome for \"" + command + "\": " + answer.substr(0, 200));
    if (answer.compare(success, 4, "true") == 0 && answer.find("false", success) == std::string::npos) return;
    const std::size_t error = ValueOf(answer, "error", 0);
    const std::string reason =
        error != std::string::npos && answer[error] == '"' ? StringAt(answer, error) : answer.substr(0, 200);
    throw IpcError("\"" + command + "\" failed: " + reason);
}

std::string SwayQuoted(const std::string& text) {
    for (const char c : text) {
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            throw std::invalid_argument("a quote, backslash or control character in \"" + text + "\"");
    }
    return "\"" + text + "\"";
}

std::string SwayConfigText(const std::string& configAnswer) {
    const std::size_t value = ValueOf(configAnswer, "config", 0);
    if (value == std::string::npos || configAnswer[value] != '"') return "";
    return StringAt(configAnswer, value);
}

SwayOutput PrimaryOutput(const std::string& outputsAnswer) {
    // Each output object names itself once ("name"), and nothing nested in it has a name: an
    // output's members lie between its "name" and the next one.
    SwayOutput first, focused;
    for (std::size_t at = ValueOf(outputsAnswer, "name", 0); at != std::string::npos;) {
        const std::size_t next = ValueOf(outputsAnswer, "name", at);
        const std::size_t mode = ValueOf(outputsAnswer, "current_mode", at, next);
        if (outputsAnswer[at] == '"' && mode != std::string::npos) {
            const std::size_t end = outputsAnswer.find('}', mode);
            SwayOutput output{StringAt(outputsAnswer, at),
                              NumberAt(outputsAnswer, ValueOf(outputsAnswer, "width", mode, end)),
                              NumberAt(outputsAnswer, ValueOf(outputsAnswer, "height", mode, end)),
                              DecimalAt(outputsAnswer, ValueOf(outputsAnswer, "scale", at, next), 1.0)};
            const std::size_t isFocused = ValueOf(outputsAnswer, "focused", at, next);
            const bool active = output.width > 0 && output.height > 0;
            if (active && first.name.empty()) first = output;
            if (active && isFocused != std::string::npos && outputsAnswer.compare(isFocused, 4, "true") == 0)
                focused = output;
        }
        at = next;
    }
    return focused.name.empty() ? first : focused;
}

}  // namespace wl
