#include "TSyncServer.h"

#include <boost/asio/post.hpp>

#include "ServerLog.h"
#include "TSyncSession.h"

namespace wl {

using tcp = boost::asio::ip::tcp;

TSyncServer::TSyncServer(boost::asio::io_context& io, TSyncService& service, TServerOptions options)
    : io_(io),
      service_(service),
      options_(std::move(options)),
      acceptor_(io),
      timer_(io),
      storeWork_(storeIo_.get_executor()),
      storeThread_([this] { storeIo_.run(); }) {}

TSyncServer::~TSyncServer() {
    storeWork_.reset();
    storeThread_.join();
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
    if (stopping_) return;  // not handled, so never acknowledged
    collected_.push_back({from, std::string(text), false});
    collectedBytes_ += text.size();
    ScheduleHandOff();
}

void TSyncServer::OnSessionEnded(TConnectionId id) {
    sessions_.erase(id);
    // Through the same queue as its messages, so that none of them is handled after it left.
    collected_.push_back({id, {}, true});
    ScheduleHandOff();
    if (closingAll_ && sessions_.empty()) timer_.cancel();
}

// Waits for the handlers already due (more messages of the same round) before handing off.
void TSyncServer::ScheduleHandOff() {
    if (handOffPosted_ || storeBusy_) return;
    handOffPosted_ = true;
    boost::asio::post(io_, [this] {
        handOffPosted_ = false;
        HandOff();
    });
}

void TSyncServer::HandOff() {
    if (storeBusy_ || collected_.empty()) return;
    storeBusy_ = true;
    busyWork_.emplace(io_.get_executor());  // the batch's answers are still to come back
    std::vector<TInput> batch;
    batch.swap(collected_);
    collectedBytes_ = 0;
    boost::asio::post(storeIo_, [this, batch = std::move(batch)]() mutable { RunBatch(std::move(batch)); });
}

void TSyncServer::RunBatch(std::vector<TInput> batch) {
    for (TInput& input : batch) {
        if (input.Ended) {
            service_.Detach(input.From);
        } else {
            service_.Handle(input.From, input.Text);
        }
    }
    std::vector<TOutMessage> out = service_.Commit();
    boost::asio::post(io_, [this, out = std::move(out)]() mutable { AfterBatch(std::move(out)); });
}

void TSyncServer::AfterBatch(std::vector<TOutMessage> out) {
    for (TOutMessage& message : out) {
        const auto it = sessions_.find(message.To);
        if (it == sessions_.end()) continue;
        const std::shared_ptr<TSyncSession> session = it->second;  // Send may end it and erase the entry
        session->Send(std::move(message.Text));
    }
    storeBusy_ = false;
    busyWork_.reset();
    if (!collected_.empty()) {
        HandOff();
    } else if (stopping_) {
        CloseAll();
    }
    if (ShouldPause()) return;
    auto paused = std::move(paused_);
    paused_.clear();
    for (const auto& session : paused) session->Resume();
}

void TSyncServer::Shutdown(std::chrono::milliseconds grace) {
    if (stopping_) return;
    stopping_ = true;
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    timer_.cancel();
    timer_.expires_after(grace);
    if (storeBusy_) return;  // AfterBatch goes on from here
    if (!collected_.empty()) return HandOff();
    CloseAll();
}

void TSyncServer::CloseAll() {
    if (closingAll_) return;
    closingAll_ = true;
    std::vector<std::shared_ptr<TSyncSession>> open;
    for (const auto& [id, session] : sessions_) open.push_back(session);
    for (const auto& session : open) session->CloseGracefully();
    paused_.clear();
    if (sessions_.empty()) return;
    // The grace period counts from Shutdown(): its deadline was set there.
    timer_.async_wait([this](boost::system::error_code ec) {
        if (ec) return;
        std::vector<std::shared_ptr<TSyncSession>> late;
        for (const auto& [id, session] : sessions_) late.push_back(session);
        for (const auto& session : late) session->Abort();
    });
}

}  // namespace wl
