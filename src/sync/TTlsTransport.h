#pragma once
// WebSocket over TLS (OpenSSL) on a TCP connection: TLS 1.2 or later, the certificate checked
// against the system's CA store (SSL_CERT_FILE / SSL_CERT_DIR point elsewhere) and against the
// address connected to. A certificate that fails is a failed connection, named by its cause.
//
// The socket stays non-blocking under TLS: OpenSSL may need to read while writing and the other
// way round, so every wait is a poll here, bounded by the send time-out.
#include <memory>

#include "sync/ISocketTransport.h"
#include "sync/TPlainTransport.h"

struct ssl_st;
struct ssl_ctx_st;

namespace wl {

class TTlsTransport final : public ISocketTransport {
  public:
    TTlsTransport() = default;
    ~TTlsTransport() override { Close(); }
    TTlsTransport(const TTlsTransport&) = delete;
    TTlsTransport& operator=(const TTlsTransport&) = delete;

    void Open(const std::string& host, uint16_t port, int timeoutMs,
              const std::atomic<bool>& aborted) override;
    void Close() noexcept override;
    int Fd() const override { return FSsl ? FTcp.Fd() : -1; }
    bool Pending() const override;
    std::size_t Receive(char* buffer, std::size_t size) override;
    std::size_t Send(const char* bytes, std::size_t size) override;
    void SetSendTimeout(int ms) override { FSendTimeoutMs = ms; }
    void SetNoDelay(bool on) override { FTcp.SetNoDelay(on); }

    // How long the TLS handshake may take, as long as the WebSocket handshake's answer may.
    static constexpr int kHandshakeTimeoutMs = 5000;

  private:
    void Handshake(const std::string& host, const std::atomic<bool>& aborted);

    struct TSslFree {
        void operator()(ssl_st* ssl) const;
        void operator()(ssl_ctx_st* ctx) const;
    };
    TPlainTransport FTcp;
    std::unique_ptr<ssl_ctx_st, TSslFree> FContext;
    std::unique_ptr<ssl_st, TSslFree> FSsl;
    int FSendTimeoutMs = -1;  // none until the WebSocket handshake has succeeded
};

}  // namespace wl
