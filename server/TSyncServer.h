#pragma once
// The listening side of the service: accepts WebSocket connections, hands their messages to the
// service and delivers what the service commits.
//
// Everything runs on the one thread that runs the io_context. One thread is enough and keeps the design
// lock-free: the store has a single writer anyway (SQLite), the fan-out table and every session are
// owned by that thread, and on a small machine the other core is left to the kernel's network work.
// Messages that arrive together form a batch: each is handled at once, and one posted flush after them
// commits the batch (one fsync) before any answer or push of it goes out.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "TServerOptions.h"
#include "TSyncService.h"

namespace wl {

class TSyncSession;

class TSyncServer {
  public:
    TSyncServer(boost::asio::io_context& io, TSyncService& service, TServerOptions options);
    ~TSyncServer();
    TSyncServer(const TSyncServer&) = delete;
    TSyncServer& operator=(const TSyncServer&) = delete;

    // Binds the listening address and starts accepting; returns the bound address (useful with port 0).
    // Throws boost::system::system_error when the address cannot be used.
    boost::asio::ip::tcp::endpoint Listen();

    // Stops accepting, commits and delivers the open batch, then closes every connection with "going
    // away"; connections that have not finished closing after `grace` are dropped. Afterwards the
    // io_context runs out of work. Messages that arrive after this point are not handled.
    void Shutdown(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

    std::size_t SessionCount() const { return sessions_.size(); }

    // Called by the sessions.
    void OnMessage(TConnectionId from, std::string_view text);
    void OnSessionEnded(TConnectionId id);

  private:
    void Accept();
    void OnAccept(boost::system::error_code ec, boost::asio::ip::tcp::socket socket);
    void Flush();

    boost::asio::io_context& io_;
    TSyncService& service_;
    const TServerOptions options_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer timer_;  // accept back-off, then the shutdown grace period
    std::unordered_map<TConnectionId, std::shared_ptr<TSyncSession>> sessions_;
    TConnectionId nextId_ = 1;
    bool flushPosted_ = false;
    bool stopping_ = false;
};

}  // namespace wl
