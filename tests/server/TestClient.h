#pragma once
// A WebSocket client for the socket tests: its own io_context, a read kept pending all the time, and
// waits bounded by a time-out so that a missing message fails a test instead of hanging it.
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace wl::test {

class TTestClient {
  public:
    using Clock = std::chrono::steady_clock;

    explicit TTestClient(std::uint16_t port) : ws_(io_) {
        namespace net = boost::asio;
        auto& tcp = boost::beast::get_lowest_layer(ws_);
        tcp.connect(net::ip::tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        tcp.socket().set_option(net::ip::tcp::no_delay(true));
        ws_.handshake("127.0.0.1:" + std::to_string(port), "/");
        ws_.control_callback([this](boost::beast::websocket::frame_type kind, std::string_view payload) {
            if (kind == boost::beast::websocket::frame_type::pong) pongs_.emplace_back(payload);
        });
        ReadNext();
    }

    void Send(const std::string& text) {
        bool done = false;
        ws_.text(true);
        ws_.async_write(boost::asio::buffer(text), [&](boost::beast::error_code ec, std::size_t) {
            error_ = ec ? ec : error_;
            done = true;
        });
        RunUntil([&] { return done; }, std::chrono::seconds(5));
    }

    void Ping(const std::string& payload) {
        bool done = false;
        ws_.async_ping(boost::beast::websocket::ping_data(payload.c_str()),
                       [&](boost::beast::error_code) { done = true; });
        RunUntil([&] { return done; }, std::chrono::seconds(5));
    }

    // The next message, or nothing when none comes within `wait` or the connection is gone.
    std::optional<std::string> Receive(std::chrono::milliseconds wait = std::chrono::milliseconds(3000)) {
        RunUntil([&] { return !inbox_.empty() || closed_; }, wait);
        if (inbox_.empty()) return std::nullopt;
        std::string text = std::move(inbox_.front());
        inbox_.pop_front();
        return text;
    }

    // True when the server ended the connection within `wait`.
    bool WaitClosed(std::chrono::milliseconds wait) {
        RunUntil([&] { return closed_; }, wait);
        return closed_;
    }

    bool RunUntilPong(std::chrono::milliseconds wait) {
        RunUntil([&] { return !pongs_.empty(); }, wait);
        return !pongs_.empty();
    }

    const std::deque<std::string>& Pongs() const { return pongs_; }
    boost::beast::error_code ReadError() const { return readError_; }
    boost::beast::websocket::close_reason CloseReason() const { return ws_.reason(); }

  private:
    template <class Done>
    void RunUntil(Done done, std::chrono::milliseconds wait) {
        const auto deadline = Clock::now() + wait;
        while (!done() && Clock::now() < deadline) {
            io_.restart();
            io_.run_one_until(deadline);
        }
    }

    void ReadNext() {
        ws_.async_read(input_, [this](boost::beast::error_code ec, std::size_t) {
            if (ec) {
                readError_ = ec;
                closed_ = true;
                return;
            }
            inbox_.push_back(boost::beast::buffers_to_string(input_.data()));
            input_.consume(input_.size());
            ReadNext();
        });
    }

    boost::asio::io_context io_;
    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    boost::beast::flat_buffer input_;
    std::deque<std::string> inbox_;
    std::deque<std::string> pongs_;
    boost::beast::error_code error_, readError_;
    bool closed_ = false;
};

}  // namespace wl::test
