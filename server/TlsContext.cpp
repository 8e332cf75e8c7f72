#include "TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace wl {
namespace {

namespace ssl = boost::asio::ssl;

// A file we cannot open says why in the system's words, before OpenSSL's less helpful ones.
void CheckReadable(const std::string& what, const std::string& file) {
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(what + " \"" + file + "\": " + std::strerror(errno ? errno : ENOENT));
}

[[noreturn]] void Refuse(const std::string& what, const std::string& file,
                         const boost::system::error_code& ec) {
    throw std::runtime_error(what + " \"" + file + "\" cannot be used: " + ec.message());
}

}  // namespace

std::unique_ptr<ssl::context> MakeTlsContext(const std::string& certFile, const std::string& keyFile) {
    CheckReadable("TLS certificate", certFile);
    CheckReadable("TLS key", keyFile);
    auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
    SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_2_VERSION);
    context->set_options(ssl::context::default_workarounds | ssl::context::single_dh_use);
    boost::system::error_code ec;
    // The key first: a certificate loaded after it drops a key that does not match, and the check
    // below then names the mismatch instead of a bare OpenSSL error.
    context->use_private_key_file(keyFile, ssl::context::pem, ec);
    if (ec) Refuse("TLS key", keyFile, ec);
    context->use_certificate_chain_file(certFile, ec);
    if (ec) Refuse("TLS certificate", certFile, ec);
    if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
        ERR_clear_error();
        throw std::runtime_error("TLS key \"" + keyFile + "\" does not belong to the certificate \"" +
                                 certFile + "\"");
    }
    return context;
}

}  // namespace wl
