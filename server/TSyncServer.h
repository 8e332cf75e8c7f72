#pragma once
// The listening side of the service: accepts WebSocket connections, hands their messages to the
// service and delivers what the service commits.
//
// Two threads, each the only owner of its state:
//  - the I/O thread runs the caller's io_context: the acceptor, every session and the table of
//    sessions; it collects incoming messages;
//  - the store thread runs the service (the store and the fan-out table by key): it takes everything
//    collected so far as one batch, handles it, commits it (one fsync for the batch) and hands the
//    answers and pushes back to the I/O thread, which only then sends them.
// While the store thread works on one batch the I/O thread keeps reading and writing and collects the
// next one, so a slow commit never stalls the sockets, and the batch grows with the load. SQLite has a
// single writer anyway; a third thread would only add locks to the fan-out table.
//
// A batch holds at most one inbox per connection (TSyncSession::kInboxBytes), and the store thread
// stops building answers for a connection once they fill the room its queue has left or
// kBatchAnswerBytes; the requests it left come back to the front of that connection's inbox and wait
// for the next batch, or until the client has read. So one
// connection's share of a batch is bounded whatever its client sends, and the others' requests never
// wait behind a flood.
//
// Changes committed by other instances on the same database (reported by a TChangeListener on its own
// thread) are handed to the I/O thread, ride with the next batch to the store thread and are pushed
// from there like every other message; a re-read of missed changes that fails is tried again later.
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "TServerOptions.h"
#include "TSyncService.h"

namespace wl {

class TSyncSession;

class TSyncServer {
  public:
    // The store thread builds at most about this much of answers for one connection per batch (at least
    // one answer; a search counts the text it read as well), so that another connection's request
    // never waits long behind a flood, of reads or of searches.
    static constexpr std::size_t kBatchAnswerBytes = 1u << 20;

    // `service` is used only on the store thread from here on. Destroy the server only after `io` has
    // stopped running. With `tls` every connection speaks TLS (wss) and nothing else; it must
    // outlive the server.
    TSyncServer(boost::asio::io_context& io, TSyncService& service, TServerOptions options,
                boost::asio::ssl::context* tls = nullptr);
    ~TSyncServer();
    TSyncServer(const TSyncServer&) = delete;
    TSyncServer& operator=(const TSyncServer&) = delete;

    // Binds the listening address and starts accepting; returns the bound address (useful with port 0).
    // Throws boost::system::system_error when the address cannot be used.
    boost::asio::ip::tcp::endpoint Listen();

    // Stops accepting and reading, commits and delivers everything already collected, then closes every
    // connection with "going away"; connections that have not finished closing after `grace` are
    // dropped. Afterwards the io_context runs out of work. Call on the I/O thread.
    void Shutdown(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

    std::size_t SessionCount() const { return sessions_.size(); }

    // Any thread: other instances' changes to push here, and a range of them that may have been
    // missed (every change numbered after `since`).
    void OnRemoteChanges(std::vector<TChangeNotice> changes);
    void OnMissedChanges(std::int64_t since);
    // Any thread: false once the service stopped accepting connections.
    bool Accepting() const { return accepting_.load(); }

    // Called by the sessions on the I/O thread.
    bool AcceptsInput() const { return !stopping_; }
    // `session` read a message of `bytes` into its inbox.
    void OnInput(const std::shared_ptr<TSyncSession>& session, std::size_t bytes);
    // `session` has input and room for answers: its inbox goes with the next batch.
    void Wake(const std::shared_ptr<TSyncSession>& session);
    // The connection is gone; `unhandled` is what it had read and nobody handled yet, out of `readBytes`
    // it read in all.
    void OnSessionEnded(TConnectionId id, std::vector<std::string> unhandled, std::size_t readBytes);
    // True when the sessions should stop reading until the store thread has caught up; the session
    // then waits in the paused list and is resumed after the next batch.
    bool ShouldPause() const { return pendingBytes_ > options_.MaxPendingBytes; }
    void Pause(std::shared_ptr<TSyncSession> session) { paused_.push_back(std::move(session)); }

  private:
    // One connection's share of a batch.
    struct TWork {
        TConnectionId From = 0;
        std::vector<std::string> Messages;  // in arrival order
        TReplies Replies = TReplies::Send;
        std::size_t AnswerRoom = 0;  // the store thread stops after the answers that fill it
        bool Ended = false;          // the connection is gone: detach it after its messages
        std::size_t Handled = 0;     // set by the store thread; the rest comes back
        bool ReleaseMemory = false;  // a heavy connection's last work: see kHeavyReadBytes
    };

    // Other instances' changes for the store thread.
    struct TRemote {
        std::vector<TChangeNotice> Changes;
        std::optional<std::int64_t> MissedSince;
        bool Empty() const { return Changes.empty() && !MissedSince; }
    };
    static constexpr std::chrono::seconds kMissedRetry{1};
    // Tens of thousands of small requests leave the heap's free lists fragmented once they are freed,
    // and the allocator keeps those pages: after the last work of a connection that read this much,
    // the free pages go back to the system (ReleaseFreeMemory), so one greedy client does not keep
    // the service megabytes larger for good.
    static constexpr std::size_t kHeavyReadBytes = std::size_t{4} << 20;
    // The release waits this long after that work came back, for the connection's last pending
    // operations to let go of the session and its buffers.
    static constexpr std::chrono::milliseconds kReleaseDelay{250};

    void Accept();
    void OnAccept(boost::system::error_code ec, boost::asio::ip::tcp::socket socket);
    void ScheduleHandOff();
    bool HandOff();                                           // false when there was nothing to hand off
    void RunBatch(std::vector<TWork> batch, TRemote remote);  // store thread
    void AfterBatch(std::vector<TOutMessage> out, std::vector<TWork> batch,
                    std::optional<std::int64_t> missedAgain);
    void AddMissed(std::int64_t since);
    std::optional<std::int64_t> PushRemote(const TRemote& remote);  // store thread
    void GiveBack(TWork& work);
    void WakeAllWithInput();
    void CloseAll();
    void ScheduleRelease();

    boost::asio::io_context& io_;
    TSyncService& service_;
    const TServerOptions options_;
    boost::asio::ssl::context* const tls_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer timer_;  // accept back-off, then the shutdown grace period
    std::unordered_map<TConnectionId, std::shared_ptr<TSyncSession>> sessions_;
    std::vector<std::shared_ptr<TSyncSession>> paused_;
    std::vector<std::shared_ptr<TSyncSession>> ready_;  // sessions with input for the next batch
    std::vector<TWork> ended_;  // what gone connections left: applied, never answered, then detached
    TRemote remote_;            // other instances' changes not yet taken by the store thread
    boost::asio::steady_timer missedRetry_;
    std::optional<std::int64_t> retryMissed_;  // a failed re-read waiting for missedRetry_
    boost::asio::steady_timer releaseTimer_;   // the memory release after a heavy connection's work
    bool releaseArmed_ = false;
    std::atomic<bool> accepting_{false};
    std::size_t pendingBytes_ = 0;  // read and not yet taken by the store thread
    TConnectionId nextId_ = 1;
    bool handOffPosted_ = false;
    bool storeBusy_ = false;  // a batch is on the store thread
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> busyWork_;
    bool stopping_ = false;
    bool closingAll_ = false;

    boost::asio::io_context storeIo_{1};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> storeWork_;
    std::thread storeThread_;
};

}  // namespace wl
