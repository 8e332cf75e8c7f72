#include "sync/TTlsTransport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "sync/SocketWait.h"
#include "sync/WSFrame.h"

namespace wl {
namespace {

// The oldest queued OpenSSL error, or the given fallback; empties the thread's error queue.
std::string OpenSslError(const std::string& fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// One sync log line per cause, so that whoever reads the log knows what to mend.
std::string VerifyFailure(long result, const std::string& host) {
    switch (result) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "TLS: the certificate is not for \"" + host + "\"";
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "TLS: the certificate has expired";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "TLS: the certificate is not valid yet";
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return "TLS: the certificate is self-signed and not trusted";
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return "TLS: the certificate's issuer is not trusted";
        default:
            return std::string("TLS: the certificate was refused: ") + X509_verify_cert_error_string(result);
    }
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE on a connection the service has
// dropped, and that would end the program. The signal is held back on this thread while OpenSSL
// works, and one it raised is taken off before the mask is restored.
class TNoSigPipe {
  public:
    TNoSigPipe() {
        sigemptyset(&FPipe);
        sigaddset(&FPipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &FPipe, &FOld);
    }
    ~TNoSigPipe() {
        const int saved = errno;
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&FPipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &FOld, nullptr);
        errno = saved;
    }
    TNoSigPipe(const TNoSigPipe&) = delete;
    TNoSigPipe& operator=(const TNoSigPipe&) = delete;

  private:
    sigset_t FPipe, FOld;
};

bool IsIPv4Literal(const std::string& host) {
    in_addr addr{};
    return inet_pton(AF_INET, host.c_str(), &addr) == 1;
}

}  // namespace

void TTlsTransport::TSslFree::operator()(ssl_st* ssl) const {
    SSL_free(ssl);
}
void TTlsTransport::TSslFree::operator()(ssl_ctx_st* ctx) const {
    SSL_CTX_free(ctx);
}

void TTlsTransport::Open(const std::string& host, uint16_t port, int timeoutMs,
                         const std::atomic<bool>& aborted) {
    Close();
    FTcp.Open(host, port, timeoutMs, aborted);
    try {
        Handshake(host, aborted);
    } catch (...) {
        Close();
        throw;
    }
}

void TTlsTransport::Handshake(const std::string& host, const std::atomic<bool>& aborted) {
    // OpenSSL's own clean-up at exit would run while the reader and retry threads, which end
    // after the exit handlers, may still hold connections; each thread's state goes when the
    // thread ends instead, and the rest with the process.
    static const bool initialised = OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    if (!initialised) throw EWebSocketHandleError("TLS: " + OpenSslError("OpenSSL cannot start"));
    ERR_clear_error();
    // A fresh context per connection: the CA store is read as it is now, reconnects are rare.
    FContext.reset(SSL_CTX_new(TLS_client_method()));
    if (!FContext) throw EWebSocketHandleError("TLS: " + OpenSslError("cannot create a context"));
    SSL_CTX_set_min_proto_version(FContext.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(FContext.get(), SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(FContext.get()) != 1)
        throw EWebSocketHandleError("TLS: " + OpenSslError("cannot read the CA store"));
    SSL_CTX_set_mode(FContext.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

    FSsl.reset(SSL_new(FContext.get()));
    if (!FSsl) throw EWebSocketHandleError("TLS: " + OpenSslError("cannot create a connection"));
    SSL* ssl = FSsl.get();
    // The certificate must name what we connected to: an address in its IP entries, a name in
    // its DNS entries (the name is also sent, for services that hold several certificates).
    const bool address = IsIPv4Literal(host);
    const int named = address
                          ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str())
                          : SSL_set1_host(ssl, host.c_str()) && SSL_set_tlsext_host_name(ssl, host.c_str());
    if (named != 1) throw EWebSocketHandleError("TLS: " + OpenSslError("cannot check \"" + host + "\""));
    const int fd = FTcp.Fd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    SSL_set_fd(ssl, fd);

    const int64_t deadline = SteadyMs() + kHandshakeTimeoutMs;
    for (;;) {
        const int rc = [&] {
            TNoSigPipe noSigPipe;
            return SSL_connect(ssl);
        }();
        if (rc == 1) return;
        const int error = SSL_get_error(ssl, rc);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            const long verified = SSL_get_verify_result(ssl);
            if (verified != X509_V_OK) throw EWebSocketHandleError(VerifyFailure(verified, host));
            throw EWebSocketHandleError("TLS handshake failed: " +
                                        OpenSslError("the service closed the connection"));
        }
        const int64_t left = deadline - SteadyMs();
        const short events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        if (left <= 0 || !WaitSocket(fd, events, int(left), &aborted))
            throw EWebSocketHandleError("TLS handshake timed out");
    }
}

void TTlsTransport::Close() noexcept {
    if (FSsl) {
        // A close_notify when it can go out at once; the WebSocket close came before it.
        TNoSigPipe noSigPipe;
        SSL_shutdown(FSsl.get());
        ERR_clear_error();
    }
    FSsl.reset();
    FContext.reset();
    FTcp.Close();
}

bool TTlsTransport::Pending() const {
    return FSsl && SSL_pending(FSsl.get()) > 0;
}

std::size_t TTlsTransport::Receive(char* buffer, std::size_t size) {
    if (!FSsl) throw EWebSocketHandleError("Not connected.");
    TNoSigPipe noSigPipe;
    std::size_t n = 0;
    errno = 0;
    ERR_clear_error();
    if (SSL_read_ex(FSsl.get(), buffer, size, &n) == 1) return n;
    switch (SSL_get_error(FSsl.get(), 0)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            return 0;  // a partial record, or TLS's own messages: nothing for us yet
        case SSL_ERROR_ZERO_RETURN:
            throw EWebSocketHandleError("Connection Closed Gracefully.");
        case SSL_ERROR_SYSCALL:
            if (ERR_peek_error() == 0 && errno == 0)
                throw EWebSocketHandleError("Connection Closed Gracefully.");
            [[fallthrough]];
        default:
            throw EWebSocketHandleError("Read failed: " + OpenSslError(std::strerror(errno)));
    }
}

std::size_t TTlsTransport::Send(const char* bytes, std::size_t size) {
    if (!FSsl) throw EWebSocketHandleError("Not connected.");
    const int64_t deadline = FSendTimeoutMs < 0 ? INT64_MAX : SteadyMs() + FSendTimeoutMs;
    TNoSigPipe noSigPipe;
    for (;;) {
        std::size_t n = 0;
        ERR_clear_error();
        if (SSL_write_ex(FSsl.get(), bytes, size, &n) == 1) return n;
        const int error = SSL_get_error(FSsl.get(), 0);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            throw EWebSocketHandleError("Write failed: " + OpenSslError(std::strerror(errno)));
        const int64_t left = deadline - SteadyMs();
        if (left <= 0 || !WaitSocket(FTcp.Fd(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT,
                                     FSendTimeoutMs < 0 ? -1 : int(left)))
            throw EWebSocketHandleError("Write timed out.");
    }
}

}  // namespace wl
