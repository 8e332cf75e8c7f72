#pragma once
// A loopback port of a service that does not answer, as on a network that drops packets:
//  - Connect: a listener with a backlog of one whose accept queue is already full, so the kernel
//    drops every further SYN and a connect hangs until the caller gives up;
//  - Handshake: a listener that never accepts but has room, so the TCP connect succeeds and the
//    HTTP request of the opening handshake is never answered.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace wl::test {

class HangingListener {
  public:
    enum class Hang { Connect, Handshake };

    explicit HangingListener(Hang hang) {
        FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        ::bind(FListener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(FListener, hang == Hang::Connect ? 0 : 16);
        socklen_t len = sizeof a;
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
        if (hang == Hang::Handshake) return;
        Hangs = false;
        // Fill the accept queue until a connect no longer completes.
        for (int i = 0; i < 8; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in to = Loopback(Port);
            ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
            pollfd p{fd, POLLOUT, 0};
            const bool done = ::poll(&p, 1, 300) > 0;
            FFillers.push_back(fd);
            if (!done) {
                Hangs = true;
                return;
            }
        }
    }
    ~HangingListener() {
        for (int fd : FFillers) ::close(fd);
        ::close(FListener);
    }
    HangingListener(const HangingListener&) = delete;
    HangingListener& operator=(const HangingListener&) = delete;

    uint16_t Port = 0;
    bool Hangs = true;  // false when the kernel would not leave a connect hanging

  private:
    static sockaddr_in Loopback(uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
    int FListener = -1;
    std::vector<int> FFillers;
};

}  // namespace wl::test
