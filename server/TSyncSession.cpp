#include "TSyncSession.h"

#include <iterator>

#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/http/field.hpp>
#include <boost/beast/websocket/error.hpp>

#include "ServerLog.h"
#include "TSyncServer.h"

namespace wl {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = boost::asio::ip::tcp;

namespace {
// A connection keeps at most this much read buffer while idle; a large message's buffer is let go.
constexpr std::size_t kIdleBufferBytes = 8192;
}  // namespace

TSyncSession::TSyncSession(tcp::socket socket, boost::asio::ssl::context* tls, TSyncServer& server,
                           TConnectionId id, const TServerOptions& options)
    : ws_(std::move(socket), tls), server_(server), id_(id), options_(options) {}

void TSyncSession::Start() {
    beast::error_code ignored;
    ws_.Socket().set_option(tcp::no_delay(true), ignored);
    // The TLS handshake gets the same time as the WebSocket upgrade after it.
    ws_.AsyncStart(boost::asio::ssl::stream_base::server, options_.HandshakeTimeout,
                   beast::bind_front_handler(&TSyncSession::OnTlsHandshake, shared_from_this()));
}

// A client that speaks plain text to a TLS service, or no TLS that we accept, ends here.
void TSyncSession::OnTlsHandshake(beast::error_code ec) {
    if (ec) {
        ServerLog("connection " + std::to_string(id_) + ": TLS handshake failed: " + ec.message());
        return End();
    }
    if (closing_) return End();
    ws_.Visit([this](auto& ws) {
        websocket::stream_base::timeout timeout;
        timeout.handshake_timeout = options_.HandshakeTimeout;
        timeout.idle_timeout = options_.IdleTimeout;
        timeout.keep_alive_pings = true;
        ws.set_option(timeout);
        ws.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
            response.set(beast::http::field::server, "weekleaf-sync");
        }));
        ws.read_message_max(options_.MaxMessageBytes);
        ws.auto_fragment(false);
        ws.async_accept(beast::bind_front_handler(&TSyncSession::OnAccept, shared_from_this()));
    });
}

void TSyncSession::OnAccept(beast::error_code ec) {
    if (ec) {
        ServerLog(TLogLevel::Debug, "connection " + std::to_string(id_) + ": no handshake: " + ec.message());
        return End();
    }
    ServerLog(TLogLevel::Debug, "connection " + std::to_string(id_) + " open");
    open_ = true;
    if (closing_) return StartClose();
    ReadMore();
    if (!queue_.empty() && !writing_) WriteNext();
}

std::size_t TSyncSession::AnswerRoom() const {
    const std::size_t limit = options_.MaxQueueBytes / 2;
    return queuedBytes_ >= limit ? 0 : limit - queuedBytes_;
}

// Reads the next message unless something holds reading back; whatever holds it back reads again when
// it lets go (the store thread taking the inbox, the client reading the queue, the server resuming).
void TSyncSession::ReadMore() {
    if (reading_ || !open_ || closeStarted_ || ended_) return;
    if (inboxBytes_ >= kInboxBytes || AnswerRoom() == 0) return;
    if (server_.ShouldPause()) {
        if (!paused_) server_.Pause(shared_from_this());
        paused_ = true;
        return;
    }
    reading_ = true;
    ws_.Visit([this](auto& ws) {
        ws.async_read(input_,
                      [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
    });
}

void TSyncSession::OnRead(beast::error_code ec) {
    reading_ = false;
    if (ec) {
        if (ec == websocket::error::message_too_big)
            ServerLog(TLogLevel::Warning, "connection " + std::to_string(id_) + ": message too big");
        return End();
    }
    const auto data = input_.cdata();
    readBytes_ += data.size();
    std::string text(static_cast<const char*>(data.data()), data.size());
    input_.consume(input_.size());
    if (input_.capacity() > kIdleBufferBytes) input_.shrink_to_fit();
    if (!closing_ && server_.AcceptsInput()) {
        inboxBytes_ += text.size();
        inbox_.push_back(std::move(text));
        server_.OnInput(shared_from_this(), inbox_.back().size());
    }
    ReadMore();
}

void TSyncSession::Resume() {
    paused_ = false;
    ReadMore();
}

std::vector<std::string> TSyncSession::TakeInput() {
    std::vector<std::string> taken(std::make_move_iterator(inbox_.begin()),
                                   std::make_move_iterator(inbox_.end()));
    inbox_.clear();
    inboxBytes_ = 0;
    return taken;
}

void TSyncSession::ReturnInput(std::vector<std::string> messages) {
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        inboxBytes_ += it->size();
        inbox_.push_front(std::move(*it));
    }
    if (HasInput() && AnswerRoom() > 0) server_.Wake(shared_from_this());
}

void TSyncSession::Send(std::shared_ptr<const std::string> text, bool push) {
    if (ended_ || closing_) return;
    queuedBytes_ += text->size();
    queue_.push_back(std::move(text));
    if (push && queuedBytes_ > options_.MaxQueueBytes) {
        ServerLog(TLogLevel::Warning, "connection " + std::to_string(id_) +
                                          " dropped: " + std::to_string(queuedBytes_) +
                                          " bytes waiting, the peer does not read");
        return Abort();
    }
    if (open_ && !writing_) WriteNext();
}

void TSyncSession::WriteNext() {
    writing_ = true;
    ws_.Visit([this](auto& ws) {
        ws.text(true);
        ws.async_write(boost::asio::buffer(*queue_.front()),
                       [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnWrite(ec); });
    });
}

void TSyncSession::OnWrite(beast::error_code ec) {
    writing_ = false;
    if (ec || ended_) return End();
    queuedBytes_ -= queue_.front()->size();
    queue_.pop_front();
    if (HasInput() && AnswerRoom() > 0) server_.Wake(shared_from_this());
    ReadMore();
    if (!queue_.empty()) return WriteNext();
    if (closing_) StartClose();
}

void TSyncSession::CloseGracefully() {
    if (ended_) return;
    closing_ = true;
    if (open_ && !writing_) StartClose();  // otherwise the handshake or the last write goes on to the close
}

void TSyncSession::StartClose() {
    if (closeStarted_) return;
    closeStarted_ = true;
    ws_.Visit([this](auto& ws) {
        ws.async_close(websocket::close_code::going_away,
                       beast::bind_front_handler(&TSyncSession::OnClose, shared_from_this()));
    });
}

void TSyncSession::OnClose(beast::error_code) {
    End();
}

void TSyncSession::Abort() {
    End();
}

// What was read and not yet handled goes to the server all the same: a client may send its last
// change and leave at once.
void TSyncSession::End() {
    if (ended_) return;
    ended_ = true;
    if (open_) ServerLog(TLogLevel::Debug, "connection " + std::to_string(id_) + " closed");
    queue_.clear();
    queuedBytes_ = 0;
    ws_.Close();
    server_.OnSessionEnded(id_, TakeInput(), readBytes_);
}

}  // namespace wl
