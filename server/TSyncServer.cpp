#include "TSyncServer.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <vector>

#include "ServerLog.h"
#include "TSyncSession.h"

namespace wl {

using tcp = boost::asio::ip::tcp;

TSyncServer::TSyncServer(boost::asio::io_context& io, TSyncService& service, TServerOptions options)
    : io_(io), service_(service), options_(std::move(options)), acceptor_(io), timer_(io) {}

TSyncServer::~TSyncServer() {
    auto sessions = std::move(sessions_);
    sessions_.clear();
    for (auto& [id, session] : sessions) session->Abort();
}

tcp::endpoint TSyncServer::Listen() {
    tcp::resolver resolver(io_);
    const auto results = resolver.resolve(options_.Host, std::to_string(options_.Port),
                                          tcp::resolver::passive | tcp::resolver::numeric_service);
    const tcp::endpoint endpoint = results.begin()->endpoint();
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(tcp::socket::max_listen_connections);
    Accept();
    return acceptor_.local_endpoint();
}

void TSyncServer::Accept() {
    acceptor_.async_accept(
        io_, [this](boost::system::error_code ec, tcp::socket socket) { OnAccept(ec, std::move(socket)); });
}

void TSyncServer::OnAccept(boost::system::error_code ec, tcp::socket socket) {
    if (stopping_ || ec == boost::asio::error::operation_aborted) return;
    if (ec) {
        // Out of descriptors or similar: wait a little instead of spinning on the error.
        ServerLog("accept: " + ec.message());
        timer_.expires_after(std::chrono::milliseconds(100));
        timer_.async_wait([this](boost::system::error_code waitError) {
            if (!waitError && !stopping_) Accept();
        });
        return;
    }
    if (sessions_.size() >= options_.MaxConnections) {
        boost::system::error_code ignored;
        socket.close(ignored);
    } else {
        const TConnectionId id = nextId_++;
        auto session = std::make_shared<TSyncSession>(std::move(socket), *this, id, options_);
        sessions_.emplace(id, session);
        session->Start();
    }
    Accept();
}

void TSyncServer::OnMessage(TConnectionId from, std::string_view text) {
    if (stopping_) return;
    service_.Handle(from, text);
    if (flushPosted_) return;
    flushPosted_ = true;
    boost::asio::post(io_, [this] { Flush(); });
}

void TSyncServer::Flush() {
    flushPosted_ = false;
    for (TOutMessage& message : service_.Commit()) {
        const auto it = sessions_.find(message.To);
        if (it == sessions_.end()) continue;
        const std::shared_ptr<TSyncSession> session = it->second;  // Send may end it and erase the entry
        session->Send(std::move(message.Text));
    }
}

void TSyncServer::OnSessionEnded(TConnectionId id) {
    service_.Detach(id);
    sessions_.erase(id);
    if (stopping_ && sessions_.empty()) timer_.cancel();
}

void TSyncServer::Shutdown(std::chrono::milliseconds grace) {
    if (stopping_) return;
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    timer_.cancel();
    Flush();
    stopping_ = true;
    std::vector<std::shared_ptr<TSyncSession>> open;
    for (const auto& [id, session] : sessions_) open.push_back(session);
    for (const auto& session : open) session->CloseGracefully();
    if (sessions_.empty()) return;
    timer_.expires_after(grace);
    timer_.async_wait([this](boost::system::error_code ec) {
        if (ec) return;
        std::vector<std::shared_ptr<TSyncSession>> late;
        for (const auto& [id, session] : sessions_) late.push_back(session);
        for (const auto& session : late) session->Abort();
    });
}

}  // namespace wl
