#pragma once
// The WebSocket stream of one connection, over plain TCP or over TLS. The session above it reads,
// writes and closes the same way on both; only the start differs (a TLS handshake first).
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <chrono>
#include <utility>
#include <variant>

namespace wl {

class TWsStream {
  public:
    using TPlain = boost::beast::websocket::stream<boost::beast::tcp_stream>;
    using TTls = boost::beast::websocket::stream<boost::beast::ssl_stream<boost::beast::tcp_stream>>;

    // Over an accepted socket, or a fresh one of an io_context (to connect); TLS when `tls` is
    // given (it must outlive the stream).
    TWsStream(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context* tls)
        : ws_(Make(std::move(socket), tls)) {}
    TWsStream(boost::asio::io_context& io, boost::asio::ssl::context* tls) : ws_(Make(io, tls)) {}

    // Runs f on the WebSocket stream, whichever it is.
    template <class F>
    decltype(auto) Visit(F&& f) {
        return std::visit(std::forward<F>(f), ws_);
    }

    boost::asio::ip::tcp::socket& Socket() {
        return Visit([](auto& ws) -> boost::asio::ip::tcp::socket& {
            return boost::beast::get_lowest_layer(ws).socket();
        });
    }

    // Drops the connection at once; cancels whatever is pending on it, the time-outs included.
    void Close() {
        Visit([](auto& ws) {
            auto& stream = boost::beast::get_lowest_layer(ws);
            boost::beast::error_code ignored;
            stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
            stream.close();
        });
    }

    // The TLS handshake as `side` (the service is the server), within `timeout`, then
    // handler(error); at once for plain TCP. The WebSocket layer's own time-outs take over after it.
    template <class Handler>
    void AsyncStart(boost::asio::ssl::stream_base::handshake_type side,
                    std::chrono::steady_clock::duration timeout, Handler handler) {
        auto* tls = std::get_if<TTls>(&ws_);
        if (tls == nullptr) return handler(boost::beast::error_code());
        boost::beast::get_lowest_layer(*tls).expires_after(timeout);
        tls->next_layer().async_handshake(
            side, [tls, handler = std::move(handler)](boost::beast::error_code ec) mutable {
                boost::beast::get_lowest_layer(*tls).expires_never();
                handler(ec);
            });
    }

  private:
    template <class Under>
    static std::variant<TPlain, TTls> Make(Under&& under, boost::asio::ssl::context* tls) {
        if (tls)
            return std::variant<TPlain, TTls>(std::in_place_type<TTls>, std::forward<Under>(under), *tls);
        return std::variant<TPlain, TTls>(std::in_place_type<TPlain>, std::forward<Under>(under));
    }

    std::variant<TPlain, TTls> ws_;
};

}  // namespace wl
