#pragma once
// One client connection: the WebSocket handshake, the read loop and an outgoing queue with a cap.
// Lives on the server's I/O thread; kept alive by its pending operations and by the server's table.
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "TServerOptions.h"
#include "TSyncService.h"

namespace wl {

class TSyncServer;

class TSyncSession : public std::enable_shared_from_this<TSyncSession> {
  public:
    TSyncSession(boost::asio::ip::tcp::socket socket, TSyncServer& server, TConnectionId id,
                 const TServerOptions& options);

    void Start();
    // Queues one text message; a connection whose unsent bytes pass the cap is dropped.
    void Send(std::shared_ptr<const std::string> text);
    // Sends what is queued, then a close frame with "going away".
    void CloseGracefully();
    // Drops the connection at once.
    void Abort();
    // Reads again after the server paused this connection's reading.
    void Resume();

    TConnectionId Id() const { return id_; }

  private:
    void OnAccept(boost::beast::error_code ec);
    void ReadNext();
    void OnRead(boost::beast::error_code ec);
    void WriteNext();
    void OnWrite(boost::beast::error_code ec);
    void StartClose();
    void OnClose(boost::beast::error_code ec);
    void End();

    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    boost::beast::flat_buffer input_;
    TSyncServer& server_;
    const TConnectionId id_;
    const TServerOptions& options_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queuedBytes_ = 0;
    bool open_ = false;  // handshake done
    bool writing_ = false;
    bool closing_ = false;  // no more sends; close frame after the queue
    bool closeStarted_ = false;
    bool ended_ = false;
};

}  // namespace wl
