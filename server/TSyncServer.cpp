#include "TSyncServer.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <iterator>
#include <utility>

#include "ReleaseFreeMemory.h"
#include "ServerLog.h"
#include "TSyncSession.h"

namespace wl {

using tcp = boost::asio::ip::tcp;

TSyncServer::TSyncServer(boost::asio::io_context& io, TSyncService& service, TServerOptions options,
                         boost::asio::ssl::context* tls)
    : io_(io),
      service_(service),
      options_(std::move(options)),
      tls_(tls),
      acceptor_(io),
      timer_(io),
      missedRetry_(io),
      releaseTimer_(io),
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
    accepting_ = true;
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
        ServerLog(TLogLevel::Warning, "accept: " + ec.message());
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
        auto session = std::make_shared<TSyncSession>(std::move(socket), tls_, *this, id, options_);
        sessions_.emplace(id, session);
        session->Start();
    }
    Accept();
}

namespace {

std::size_t TotalBytes(const std::vector<std::string>& messages) {
    std::size_t bytes = 0;
    for (const std::string& message : messages) bytes += message.size();
    return bytes;
}

}  // namespace

void TSyncServer::OnInput(const std::shared_ptr<TSyncSession>& session, std::size_t bytes) {
    pendingBytes_ += bytes;
    if (session->AnswerRoom() > 0) Wake(session);
}

void TSyncServer::Wake(const std::shared_ptr<TSyncSession>& session) {
    if (session->Listed()) return;
    session->SetListed(true);
    ready_.push_back(session);
    ScheduleHandOff();
}

// Its messages go to the store thread before it is detached, so that none of them is handled after it
// left and none of its writes is lost.
void TSyncServer::OnSessionEnded(TConnectionId id, std::vector<std::string> unhandled,
                                 std::size_t readBytes) {
    sessions_.erase(id);
    ended_.push_back({id, std::move(unhandled), TReplies::Skip, 0, true, 0, readBytes >= kHeavyReadBytes});
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

// While stopping, every inbox goes to the store thread whatever its queue holds, and only its writes
// are applied: the connections are about to close.
bool TSyncServer::HandOff() {
    if (storeBusy_) return true;
    std::vector<TWork> batch = std::move(ended_);
    ended_.clear();
    const auto ready = std::move(ready_);
    ready_.clear();
    std::vector<std::shared_ptr<TSyncSession>> taken;
    for (const auto& session : ready) {
        session->SetListed(false);
        const std::size_t room = session->AnswerRoom();
        if (!session->HasInput() || (room == 0 && !stopping_)) continue;
        batch.push_back({session->Id(), session->TakeInput(), stopping_ ? TReplies::Skip : TReplies::Send,
                         std::min(room, kBatchAnswerBytes)});
        taken.push_back(session);
    }
    // The connections are closing: nobody is left to push other instances' changes to.
    if (stopping_) remote_ = {};
    if (batch.empty() && remote_.Empty()) return false;
    for (const TWork& work : batch) pendingBytes_ -= TotalBytes(work.Messages);
    for (const auto& session : taken) session->Resume();  // its inbox has room again
    storeBusy_ = true;
    busyWork_.emplace(io_.get_executor());  // the batch's answers are still to come back
    boost::asio::post(storeIo_,
                      [this, batch = std::move(batch), remote = std::exchange(remote_, {})]() mutable {
                          RunBatch(std::move(batch), std::move(remote));
                      });
    return true;
}

void TSyncServer::OnRemoteChanges(std::vector<TChangeNotice> changes) {
    boost::asio::post(io_, [this, changes = std::move(changes)]() mutable {
        if (stopping_) return;
        auto& pending = remote_.Changes;
        pending.insert(pending.end(), std::make_move_iterator(changes.begin()),
                       std::make_move_iterator(changes.end()));
        ScheduleHandOff();
    });
}

void TSyncServer::OnMissedChanges(std::int64_t since) {
    boost::asio::post(io_, [this, since] {
        if (stopping_) return;
        AddMissed(since);
        ScheduleHandOff();
    });
}

void TSyncServer::AddMissed(std::int64_t since) {
    remote_.MissedSince = std::min(since, remote_.MissedSince.value_or(since));
}

// A batch run again after a collision with another instance starts over from its first message;
// a batch split after a collision keeps each connection's messages together in one half.
// Other instances' changes are only read, after the batch's commit: a read that fails then cannot
// take the batch's writes with it.
void TSyncServer::RunBatch(std::vector<TWork> batch, TRemote remote) {
    std::vector<TOutMessage> out = service_.RunBatch(batch.size(), [&](std::size_t part) {
        TWork& work = batch[part];
        work.Handled = 0;
        std::size_t answered = 0;
        while (work.Handled < work.Messages.size() &&
               (work.Replies == TReplies::Skip || answered < work.AnswerRoom))
            answered += service_.Handle(work.From, work.Messages[work.Handled++], work.Replies);
        if (work.Ended) service_.Detach(work.From);
    });
    const std::optional<std::int64_t> missedAgain = PushRemote(remote);
    std::vector<TOutMessage> pushes = service_.Commit();
    out.insert(out.end(), std::make_move_iterator(pushes.begin()), std::make_move_iterator(pushes.end()));
    boost::asio::post(io_, [this, out = std::move(out), batch = std::move(batch), missedAgain]() mutable {
        AfterBatch(std::move(out), std::move(batch), missedAgain);
    });
}

// What could not be pushed now (the database away) is to be re-read from the store later: returns
// from where.
std::optional<std::int64_t> TSyncServer::PushRemote(const TRemote& remote) {
    std::optional<std::int64_t> missedAgain;
    if (!service_.PushRemoteChanges(remote.Changes)) {
        const auto oldest = std::ranges::min_element(remote.Changes, {}, &TChangeNotice::Changed);
        missedAgain = oldest->Changed - 1;
    }
    if (remote.MissedSince && !service_.PushChangesSince(*remote.MissedSince))
        missedAgain = std::min(*remote.MissedSince, missedAgain.value_or(*remote.MissedSince));
    return missedAgain;
}

// A re-read that failed (the database away) is tried again after a pause, until it succeeds or the
// service stops.
void TSyncServer::AfterBatch(std::vector<TOutMessage> out, std::vector<TWork> batch,
                             std::optional<std::int64_t> missedAgain) {
    if (missedAgain && !stopping_) {
        const bool waiting = retryMissed_.has_value();
        retryMissed_ = std::min(*missedAgain, retryMissed_.value_or(*missedAgain));
        if (!waiting) {
            missedRetry_.expires_after(kMissedRetry);
            missedRetry_.async_wait([this](boost::system::error_code ec) {
                if (ec || stopping_) return;
                AddMissed(*std::exchange(retryMissed_, std::nullopt));
                ScheduleHandOff();
            });
        }
    }
    for (TOutMessage& message : out) {
        const auto it = sessions_.find(message.To);
        if (it == sessions_.end()) continue;
        const std::shared_ptr<TSyncSession> session = it->second;  // Send may end it and erase the entry
        session->Send(std::move(message.Text), message.Push);
    }
    for (TWork& work : batch) GiveBack(work);
    if (std::ranges::any_of(batch, &TWork::ReleaseMemory)) ScheduleRelease();
    storeBusy_ = false;
    busyWork_.reset();
    if (stopping_) WakeAllWithInput();
    if (!HandOff() && stopping_) CloseAll();
    if (ShouldPause()) return;
    auto paused = std::move(paused_);
    paused_.clear();
    for (const auto& session : paused) session->Resume();
}

// What the store thread left of a connection's work goes back to the front of its inbox; a connection
// that ended meanwhile gets it applied before it is detached.
void TSyncServer::GiveBack(TWork& work) {
    if (work.Handled == work.Messages.size()) return;
    std::vector<std::string> rest(std::make_move_iterator(work.Messages.begin() + work.Handled),
                                  std::make_move_iterator(work.Messages.end()));
    pendingBytes_ += TotalBytes(rest);
    if (const auto it = sessions_.find(work.From); it != sessions_.end())
        return it->second->ReturnInput(std::move(rest));
    auto ended =
        std::find_if(ended_.begin(), ended_.end(), [&](const TWork& w) { return w.From == work.From; });
    if (ended == ended_.end()) ended = ended_.insert(ended_.end(), {work.From, {}, TReplies::Skip, 0, true});
    ended->Messages.insert(ended->Messages.begin(), std::make_move_iterator(rest.begin()),
                           std::make_move_iterator(rest.end()));
}

void TSyncServer::ScheduleRelease() {
    if (releaseArmed_ || stopping_) return;
    releaseArmed_ = true;
    releaseTimer_.expires_after(kReleaseDelay);
    releaseTimer_.async_wait([this](boost::system::error_code ec) {
        releaseArmed_ = false;
        if (!ec && !stopping_) ReleaseFreeMemory();
    });
}

void TSyncServer::WakeAllWithInput() {
    for (const auto& [id, session] : sessions_)
        if (session->HasInput()) Wake(session);
}

void TSyncServer::Shutdown(std::chrono::milliseconds grace) {
    if (stopping_) return;
    stopping_ = true;
    accepting_ = false;
    missedRetry_.cancel();
    releaseTimer_.cancel();
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    timer_.cancel();
    timer_.expires_after(grace);
    WakeAllWithInput();
    if (storeBusy_) return;  // AfterBatch goes on from here
    if (!HandOff()) CloseAll();
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
