#pragma once
// The health check a load balancer polls: plain HTTP on its own address, "GET /health" answered with
// 200 "ok" while the probe says the instance can serve (it accepts connections and reaches its
// database) and with 503 "unavailable" otherwise; any other request gets 404, a malformed one 400.
//
// Lives on the server's I/O thread, like the probe it calls. At most kMaxOpen checks are served at
// once (others are closed at accept) and each has kTimeout to send its request and take the answer,
// so a stuck balancer cannot hold resources.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace wl {

class THealthCheck {
  public:
    static constexpr std::size_t kMaxOpen = 16;
    static constexpr std::chrono::seconds kTimeout{2};

    THealthCheck(boost::asio::io_context& io, std::function<bool()> healthy);
    ~THealthCheck();
    THealthCheck(const THealthCheck&) = delete;
    THealthCheck& operator=(const THealthCheck&) = delete;

    // Binds HOST:PORT (port 0 picks a free one) and starts serving; returns the bound address.
    // Throws boost::system::system_error when the address cannot be used.
    boost::asio::ip::tcp::endpoint Listen(const std::string& host, std::uint16_t port);
    void Stop();

  private:
    class TExchange;
    void Accept();

    boost::asio::io_context& io_;
    std::function<bool()> healthy_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_;
    std::shared_ptr<std::size_t> open_;  // checks being served; shared with them, they may outlive this
};

}  // namespace wl
