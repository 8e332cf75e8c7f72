#pragma once
// The sync service without its sockets: answers each connection's requests from the store, applies its
// writes, and fans every write out to the other connections on the same account.
//
// What it sends (compact JSON, escaped like the client's own writer):
//   GET_CURRENT_WEEK -> {"ACTION":"RES_GET_CURRENT_WEEK","STATUS":0,"ITEM":{"note":..,"template":..,
//                       "days":{"dd.mm.yyyy":html,..}}} with the held days of the service's Monday..Sunday;
//                       an account lacking its note or template gets RES_GET_DAYS_RANGE for the week plus
//                       UPDATE_NOTE / UPDATE_TEMPLATE for the page it holds, so nothing is blanked
//   GET_DAYS_RANGE   -> {"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"days":{..held days..}}}
//   GET_DAY          -> {"ACTION":"RES_GET_DAY","dd.mm.yyyy":html,"timestamp":"s","STATUS":0} when held
//   GET_NOTE         -> {"ACTION":"UPDATE_NOTE","note":html} when held; GET_TEMPLATE likewise
//   GET_SEARCH       -> {"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"search":..,"days":{..}}}
//                       (the newest matching days, at most kMaxSearchResults)
//   SET_DAY          -> others on the key: {"ACTION":"UPDATE_DAY","dd.mm.yyyy":html,"timestamp":"s"};
//                       refused as older: the same message with the stored text, to the sender only;
//                       stored while another's text of the day may have crossed it on the wire
//                       (TCrossedWrites): the same message with its own text to the sender too
//   SET_NOTE/SET_TEMPLATE -> others on the key: {"ACTION":"UPDATE_NOTE","note":html} / UPDATE_TEMPLATE;
//                       to the sender as well when crossed, as for SET_DAY
//   anything refused or not found -> {"ACTION":"STATUS","STATUS":n[,"REQUEST":action][,"DAY":day]}
//   a request of a batch the store could not commit -> STATUS 6 (ER_UPDATE) for a write, 5 (ER_GET)
//                       for a read: nothing of that batch was kept or pushed
// UPDATE_CURRENT_WEEK is never sent: every change goes out as the update of what changed.
//
// Several instances on one database: a change another instance committed arrives as a TChangeNotice
// (PushRemoteChanges); when connections here hold its account, its text (carried in the notice, or
// else read from the store) is pushed to all of them as the same UPDATE_* message a local write would
// push.
//
// Nothing leaves before it is durable: Handle() only collects answers and pushes in an outbox, and
// Commit() first commits the store's open transaction and only then hands the outbox over for
// delivery. The SET_DAYs of a batch are written together, just before the next request that is not one
// and at the commit. The network layer calls Handle() for every message of a batch and Commit() once after it
// (or hands both to RunBatch()), so one commit covers the batch. Owned by the one thread that runs it
// (the server's store thread).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "TChangeNotice.h"
#include "TCrossedWrites.h"
#include "TSyncRequest.h"
#include "TSyncStore.h"

namespace wl {

using TConnectionId = std::uint64_t;

struct TOutMessage {
    TConnectionId To = 0;
    std::shared_ptr<const std::string> Text;  // shared by every receiver of one push
    bool Push = false;  // a change from another connection, not an answer to the receiver's own request
};

// Whether the sender of a message is still there to be answered.
enum class TReplies { Send, Skip };

// Where "today" and "now" come from; tests fix them.
struct TServiceClock {
    std::function<Date()> Today;  // the service's local date (its current week)
    // The wall clock, the one the devices stamp their writes with; caps their timestamps.
    std::function<std::chrono::system_clock::time_point()> Now;
    static TServiceClock System();
};

// The latest timestamp a write may carry at `now`: the whole second at or after it. A device stamps a
// write with the whole second it was made in, so a write of the current second is never made older,
// even when the service's clock is a little behind the device's.
std::int64_t LatestTimestamp(std::chrono::system_clock::time_point now);

class TSyncService {
  public:
    // At most this many days answer one GET_SEARCH: the newest, enough for a list a person reads.
    static constexpr std::size_t kMaxSearchResults = 100;

    explicit TSyncService(TSyncStore& store, TServiceClock clock = TServiceClock::System());

    // One text message from a connection; returns its cost: the bytes of the answers it queued for
    // `from`, and for a search also the bytes of text it read (a search that finds little answers
    // little but may read every day of the account). With TReplies::Skip only writes are applied
    // (and pushed to the others); reads are not even looked up. Never throws.
    std::size_t Handle(TConnectionId from, std::string_view text, TReplies replies = TReplies::Send);
    // The connection is gone: it receives no more pushes.
    void Detach(TConnectionId connection);

    // Commits the writes handled since the last call and returns what to send, in order. When the
    // commit fails, the writes are rolled back and every request of the batch is answered with its
    // error status instead; nothing else of the batch is sent.
    std::vector<TOutMessage> Commit();

    // This instance's part among several on one database: `ownInstance` names its store's writes in
    // the notices, and `changesSince` reads what may have been missed (see PushChangesSince).
    using TChangesSince = std::function<std::vector<TChangeNotice>(std::int64_t since)>;
    void JoinInstances(std::string ownInstance, TChangesSince changesSince);
    // Every notice of the database's changes, in commit order, this instance's own ones included:
    // the others' are pushed to every connection here on their accounts; of one place's notices
    // only the last goes out, with the text it carries or else the one the store holds now. A
    // carried text that a write of this instance has overtaken (committed here, its own notice not
    // seen yet) is not pushed: the devices here already hold the newer one. False when the store
    // could not be read (the changes not pushed yet are logged and dropped).
    bool PushRemoteChanges(const std::vector<TChangeNotice>& changes);
    // Changes committed after `since` that may have been missed (the listener was away): read through
    // `changesSince` and pushed like PushRemoteChanges. False when they could not be read.
    bool PushChangesSince(std::int64_t since);

    // At most this many runs of one batch (RunBatch).
    static constexpr int kMaxBatchRuns = 5;
    // A batch run again waits a random time of up to this, doubled for every run before.
    static constexpr int kBackOffMs = 10;
    // `handleAll` calls Handle() for every message of a batch; then the batch is committed as by
    // Commit(). A batch that lost a race with another instance's batch on the same database (a
    // deadlock, a row lock waited for too long) is rolled back and run again from the start after a
    // random pause, up to kMaxBatchRuns times, so that no batch is lost to the other's. `handleAll`
    // must be repeatable.
    std::vector<TOutMessage> RunBatch(const std::function<void()>& handleAll);
    // The same for a batch of `parts` parts (the messages of one connection, say), `handlePart` calling
    // Handle() for those of one part: a batch that collided is split, and each half runs on as a batch
    // of its own, so that one part's trouble never refuses the writes of another.
    std::vector<TOutMessage> RunBatch(std::size_t parts,
                                      const std::function<void(std::size_t part)>& handlePart);

    bool HasPending() const {
        return !outbox_.empty() || !requests_.empty() || !pendingDays_.empty() || store_.HasPendingWrites();
    }
    // Connections currently on an account (by key), for diagnostics and tests.
    std::size_t ConnectionsOnKey(std::string_view key) const;

  private:
    using TText = std::shared_ptr<const std::string>;

    // A request of the open batch that expects an answer, kept to answer it when the batch fails.
    struct TPendingRequest {
        TConnectionId From = 0;
        TSyncAction Action = TSyncAction::None;
        Date Day;
    };

    // A SET_DAY of the open batch not written yet: the batch's SET_DAYs go to the store together.
    struct TPendingDay {
        TConnectionId From = 0;
        TReplies Replies = TReplies::Send;
        std::string Account;
        Date Day;
        std::string Text;
        std::int64_t Timestamp = 0;
    };

    std::optional<TSyncStoreError::TKind> CommitStore();  // nullopt: committed
    std::vector<TOutMessage> RunParts(std::size_t first, std::size_t last,
                                      const std::function<void(std::size_t part)>& handlePart);
    static void BackOff(int run);
    void FailBatch(const std::exception& e);
    std::vector<TOutMessage> TakeOutbox();
    std::vector<TOutMessage> FailedBatchAnswers();

    void Subscribe(TConnectionId connection, const std::string& account);
    void Dispatch(TConnectionId from, const std::string& account, const TSyncRequest& request,
                  TReplies replies);
    void Answer(TConnectionId to, std::string text);
    // `place` (PlaceKey) is what the text is of.
    void PushToOthers(TConnectionId from, const std::string& account, const std::string& place,
                      std::string text);
    // A write of `from` won: its own text goes back to it when another's may have crossed it.
    void EchoIfCrossed(TConnectionId from, const std::string& place, std::string text);
    void PushCurrent(const TChangeNotice& change);
    // Marks a write of this batch to be seen again as this instance's own notice (several instances only).
    void NoteOwnWrite(const std::string& account, TChangeNotice::TKind kind, Date day);

    void AnswerCurrentWeek(TConnectionId from, const std::string& account);
    void AnswerDaysRange(TConnectionId from, const std::string& account, Date first, Date last);
    void AnswerDay(TConnectionId from, const std::string& account, Date day);
    void AnswerPage(TConnectionId from, const std::string& account, TSyncStore::TPage page);
    void AnswerSearch(TConnectionId from, const std::string& account, const std::string& text);
    void QueueSetDay(TConnectionId from, const std::string& account, const TSyncRequest& request,
                     TReplies replies);
    void ApplyPendingDays();
    void ApplySetPage(TConnectionId from, const std::string& account, TSyncStore::TPage page,
                      const std::string& html);

    TSyncStore& store_;
    TServiceClock clock_;
    TChangesSince changesSince_;
    std::string ownInstance_;               // empty: the only instance on its database
    std::vector<std::string> batchWrites_;  // places written by the open batch
    std::vector<TPendingDay> pendingDays_;
    std::unordered_map<std::string, int> unseenOwnWrites_;  // place -> committed, own notice not seen yet
    std::vector<TOutMessage> outbox_;
    std::size_t searchedBytes_ = 0;  // text the request being handled read for a search
    std::vector<TPendingRequest> requests_;
    std::optional<TSyncStoreError> batchFailure_;               // the first error of the open batch
    std::unordered_map<TConnectionId, std::string> accountOf_;  // connection -> account
    std::unordered_map<std::string, std::vector<TConnectionId>> connections_;  // account -> connections
    TCrossedWrites crossed_;
};

// The messages the service writes, exactly as they go out.
namespace SyncMessage {
std::string Status(ResultCode status, TSyncAction request, std::string_view dayKey = {});
std::string Day(std::string_view action, const TSyncStore::TDay& day, bool withStatus);
std::string Page(TSyncStore::TPage page, std::string_view html);
}  // namespace SyncMessage

}  // namespace wl
