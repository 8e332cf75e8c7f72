#pragma once
// One client connection: the WebSocket handshake, the read loop, the messages read but not yet taken
// by the store thread (its inbox) and the outgoing queue.
//
// What a connection can cost is bounded whatever its client sends: reading stops while the inbox is
// full or while the answers waiting in the queue fill half of --max-queue (back-pressure: the client's
// further requests wait in its own socket until it reads), and the server hands the store thread only
// as much of the inbox as the queue has room for answers. A client that neither reads nor lets us read
// is closed by the idle time-out. Pushes of other connections' changes cannot wait for this client:
// once they pile the queue up past --max-queue the connection is dropped.
// Lives on the server's I/O thread; kept alive by its pending operations and by the server's table.
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "TServerOptions.h"
#include "TSyncService.h"
#include "TWsStream.h"

namespace wl {

class TSyncServer;

class TSyncSession : public std::enable_shared_from_this<TSyncSession> {
  public:
    // Reading stops once the inbox holds this much (one message may take it past).
    static constexpr std::size_t kInboxBytes = 1u << 20;

    // Speaks TLS when `tls` is given.
    TSyncSession(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context* tls, TSyncServer& server,
                 TConnectionId id, const TServerOptions& options);

    void Start();
    // Queues one text message. A push that takes the unsent bytes past --max-queue drops the
    // connection; answers are never dropped, their volume is held back before they are built.
    void Send(std::shared_ptr<const std::string> text, bool push);
    // Sends what is queued, then a close frame with "going away".
    void CloseGracefully();
    // Drops the connection at once.
    void Abort();
    // Reads again after the server paused every connection's reading.
    void Resume();

    bool HasInput() const { return !inbox_.empty(); }
    // Answer bytes the queue can still take before reading and handing on stop; 0 when full.
    std::size_t AnswerRoom() const;
    // Hands the whole inbox to the server for the store thread.
    std::vector<std::string> TakeInput();
    // The store thread left these (the oldest of the inbox) for later: they go back to the front.
    void ReturnInput(std::vector<std::string> messages);
    // The server's list of connections with input for the store thread.
    bool Listed() const { return listed_; }
    void SetListed(bool listed) { listed_ = listed; }

    TConnectionId Id() const { return id_; }

  private:
    void OnTlsHandshake(boost::beast::error_code ec);
    void OnAccept(boost::beast::error_code ec);
    void ReadMore();
    void OnRead(boost::beast::error_code ec);
    void WriteNext();
    void OnWrite(boost::beast::error_code ec);
    void StartClose();
    void OnClose(boost::beast::error_code ec);
    void End();

    TWsStream ws_;
    boost::beast::flat_buffer input_;
    TSyncServer& server_;
    const TConnectionId id_;
    const TServerOptions& options_;
    std::deque<std::string> inbox_;
    std::size_t inboxBytes_ = 0;
    std::size_t readBytes_ = 0;  // every message read, for the server's memory release
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queuedBytes_ = 0;
    bool open_ = false;  // handshake done
    bool reading_ = false;
    bool paused_ = false;  // waits in the server's paused list
    bool listed_ = false;
    bool writing_ = false;
    bool closing_ = false;  // no more sends; close frame after the queue
    bool closeStarted_ = false;
    bool ended_ = false;
};

}  // namespace wl
