#pragma once
// WebSocket over plain TCP: a blocking socket after a connect with a time-out, sends bounded by
// the socket's send time-out, reads that never wait (the caller waits on Fd() first).
#include "sync/ISocketTransport.h"

namespace wl {

class TPlainTransport final : public ISocketTransport {
  public:
    TPlainTransport() = default;
    ~TPlainTransport() override { Close(); }
    TPlainTransport(const TPlainTransport&) = delete;
    TPlainTransport& operator=(const TPlainTransport&) = delete;

    // host is an IPv4 address, or a host name looked up (IPv4) within the same time-out.
    void Open(const std::string& host, uint16_t port, int timeoutMs,
              const std::atomic<bool>& aborted) override;
    void Close() noexcept override;
    int Fd() const override { return FSocket; }
    bool Pending() const override { return false; }
    std::size_t Receive(char* buffer, std::size_t size) override;
    std::size_t Send(const char* bytes, std::size_t size) override;
    void SetSendTimeout(int ms) override;
    void SetNoDelay(bool on) override;

  private:
    int FSocket = -1;
};

}  // namespace wl
