#pragma once
// A plain TCP socket for speaking the protocol byte by byte: the desktop client's handshake, masked
// frames, and the floods a sound client never sends. Every wait is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wl::test {

// One masked frame, as a client must send it (opcode 1: text, 10: pong).
inline std::string MaskedFrame(std::string_view payload, int opcode = 1) {
    std::string frame(1, static_cast<char>(0x80 | opcode));
    if (payload.size() <= 125) {
        frame += static_cast<char>(0x80 | payload.size());
    } else if (payload.size() <= 0xffff) {
        frame += static_cast<char>(0x80 | 126);
        for (int shift = 8; shift >= 0; shift -= 8)
            frame += static_cast<char>((payload.size() >> shift) & 0xff);
    } else {
        frame += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((static_cast<std::uint64_t>(payload.size()) >> shift) & 0xff);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    const std::size_t start = frame.size();
    frame.append(payload);
    for (std::size_t i = 0; i < payload.size(); ++i)
        frame[start + i] = static_cast<char>(payload[i] ^ mask[i % 4]);
    return frame;
}

inline std::string MaskedTextFrame(std::string_view payload) {
    return MaskedFrame(payload);
}

class TRawSocket {
  public:
    using Clock = std::chrono::steady_clock;

    // `receiveBuffer` > 0 shrinks the socket's receive buffer (a client that reads little).
    explicit TRawSocket(std::uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        timeval timeout{5, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~TRawSocket() { Close(); }
    TRawSocket(const TRawSocket&) = delete;
    TRawSocket& operator=(const TRawSocket&) = delete;

    bool Connected() const { return connected_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    void Write(const std::string& bytes) { WriteUntil(bytes, Clock::now() + std::chrono::seconds(5)); }

    // Writes as much of `bytes` as the peer takes before `deadline`; returns how much that was.
    std::size_t WriteUntil(std::string_view bytes, Clock::time_point deadline) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n =
                ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        }
        return sent;
    }

    // Up to `size` bytes; "" at end of stream, on error or after the time-out.
    std::string Read(std::size_t size) {
        std::string bytes(size, '\0');
        const ssize_t n = ::recv(fd_, bytes.data(), size, 0);
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }
    std::string ReadExactly(std::size_t size) {
        std::string bytes;
        while (bytes.size() < size) {
            const std::string part = Read(std::min<std::size_t>(size - bytes.size(), 1 << 20));
            if (part.empty()) break;
            bytes += part;
        }
        return bytes;
    }
    std::string ReadHttpHead() {
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
            const std::string part = Read(1);
            if (part.empty()) break;
            head += part;
        }
        return head;
    }

    // Reads one whole server frame and returns its opcode; nothing at the end of the stream, on an
    // error or after the time-out. The payload is read into `payload` when given, else dropped.
    std::optional<int> SkipFrame(std::string* payload = nullptr) {
        const std::string header = ReadExactly(2);
        if (header.size() < 2) return std::nullopt;
        std::uint64_t length = static_cast<unsigned char>(header[1]) & 0x7f;
        if (length >= 126) {
            const std::string extended = ReadExactly(length == 126 ? 2 : 8);
            if (extended.size() != (length == 126 ? 2u : 8u)) return std::nullopt;
            length = 0;
            for (const char c : extended) length = (length << 8) | static_cast<unsigned char>(c);
        }
        char scratch[65536];
        while (length > 0) {
            const ssize_t n = ::recv(fd_, scratch, std::min<std::uint64_t>(length, sizeof scratch), 0);
            if (n <= 0) return std::nullopt;
            if (payload) payload->append(scratch, static_cast<std::size_t>(n));
            length -= static_cast<std::uint64_t>(n);
        }
        return static_cast<unsigned char>(header[0]) & 0x0f;
    }

    // The desktop client's handshake, byte for byte; true when answered with 101.
    bool Handshake(std::uint16_t port, std::string* head = nullptr, std::string* key = nullptr) {
        const std::string k = "ISFAJDAjY2RlZmdoaWprbA==";  // Base64 of 16 printable characters
        Write("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
              "\r\nConnection: Upgrade\r\nUpgrade:websocket\r\nSec-WebSocket-Key: " + k +
              "\r\nSec-WebSocket-Version: 13\r\nCache-Control: no-cache\r\nPragma: no-cache\r\nOrigin: "
              "http://127.0.0.1:" +
              std::to_string(port) + "\r\n\r\n");
        const std::string response = ReadHttpHead();
        if (head) *head = response;
        if (key) *key = k;
        return response.starts_with("HTTP/1.1 101");
    }

    void WriteMaskedText(const std::string& payload) { Write(MaskedTextFrame(payload)); }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

}  // namespace wl::test
