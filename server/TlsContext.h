#pragma once
// The service's TLS identity: its certificate chain and private key, read once at start.
#include <boost/asio/ssl/context.hpp>
#include <memory>
#include <string>

namespace wl {

// TLS 1.2 or later with the certificate chain and key of these PEM files. Throws
// std::runtime_error naming the file and what is wrong with it (missing, unreadable, not PEM, or a
// key that does not belong to the certificate).
std::unique_ptr<boost::asio::ssl::context> MakeTlsContext(const std::string& certFile,
                                                          const std::string& keyFile);

}  // namespace wl
