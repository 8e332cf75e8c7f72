#include "THealthCheck.h"

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

namespace wl {

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

// One check: read the request, answer, close.
class THealthCheck::TExchange : public std::enable_shared_from_this<TExchange> {
  public:
    TExchange(tcp::socket socket, bool healthy, std::shared_ptr<std::size_t> open)
        : stream_(std::move(socket)), healthy_(healthy), open_(std::move(open)) {
        ++*open_;
        parser_.header_limit(4096);
    }
    ~TExchange() { --*open_; }

    void Start() {
        stream_.expires_after(kTimeout);
        http::async_read(
            stream_, buffer_, parser_,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->Answer(ec); });
    }

  private:
    void Answer(beast::error_code ec) {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout) return;
        const auto& request = parser_.get();
        http::status status = http::status::bad_request;
        std::string body = "bad request";
        if (!ec && request.method() == http::verb::get && request.target() == "/health") {
            status = healthy_ ? http::status::ok : http::status::service_unavailable;
            body = healthy_ ? "ok" : "unavailable";
        } else if (!ec) {
            status = http::status::not_found;
            body = "not found";
        }
        response_.result(status);
        response_.version(11);
        response_.set(http::field::content_type, "text/plain");
        response_.set(http::field::connection, "close");
        response_.body() = body + "\n";
        response_.prepare_payload();
        http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code, std::size_t) {
            beast::error_code ignored;
            self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        });
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    http::request_parser<http::empty_body> parser_;
    http::response<http::string_body> response_;
    const bool healthy_;
    std::shared_ptr<std::size_t> open_;
};

THealthCheck::THealthCheck(boost::asio::io_context& io, std::function<bool()> healthy)
    : io_(io),
      healthy_(std::move(healthy)),
      acceptor_(io),
      retry_(io),
      open_(std::make_shared<std::size_t>(0)) {}

THealthCheck::~THealthCheck() {
    Stop();
}

tcp::endpoint THealthCheck::Listen(const std::string& host, std::uint16_t port) {
    tcp::resolver resolver(io_);
    const auto endpoint =
        resolver.resolve(host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service)
            .begin()
            ->endpoint();
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen();
    Accept();
    return acceptor_.local_endpoint();
}

void THealthCheck::Stop() {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
}

// The probe is asked at accept: the answer tells how things stood when the balancer asked.
void THealthCheck::Accept() {
    acceptor_.async_accept(io_, [this](boost::system::error_code ec, tcp::socket socket) {
        if (ec == boost::asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (!ec && *open_ < kMaxOpen)
            std::make_shared<TExchange>(std::move(socket), healthy_(), open_)->Start();
        if (!ec) return Accept();
        // Out of descriptors or similar: wait a little instead of spinning on the error.
        retry_.expires_after(std::chrono::milliseconds(100));
        retry_.async_wait([this](boost::system::error_code waitError) {
            if (!waitError && acceptor_.is_open()) Accept();
        });
    });
}

}  // namespace wl
