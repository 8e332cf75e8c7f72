#include "TSyncService.h"

#include <algorithm>
#include <random>
#include <thread>
#include <unordered_map>
#include <utility>

#include "KeyHash.h"
#include "ServerLog.h"
#include "TMessageWriter.h"
#include "data/HtmlToText.h"

namespace wl {

namespace {

TMessageWriter& WriteDays(TMessageWriter& writer, const std::vector<TSyncStore::TDay>& days) {
    writer.Name("days").Open();
    for (const auto& day : days) writer.Member(DateToStr(day.Day), day.Html);
    return writer.Close();
}

// Lower case for ASCII and the basic Cyrillic letters (UTF-8), enough to search Russian and Latin text.
std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        auto c = static_cast<unsigned char>(folded[i]);
        if (c >= 'A' && c <= 'Z') folded[i] = static_cast<char>(c + 32);
        if (i + 1 >= folded.size()) continue;
        auto next = static_cast<unsigned char>(folded[i + 1]);
        if (c == 0xD0 && next >= 0x90 && next <= 0x9F) {  // А..П -> а..п
            folded[i + 1] = static_cast<char>(next + 0x20);
        } else if (c == 0xD0 && next >= 0xA0 && next <= 0xAF) {  // Р..Я -> р..я
            folded[i] = static_cast<char>(0xD1);
            folded[i + 1] = static_cast<char>(next - 0x20);
        } else if (c == 0xD0 && next == 0x81) {  // Ё -> ё
            folded[i] = static_cast<char>(0xD1);
            folded[i + 1] = static_cast<char>(0x91);
        }
    }
    return folded;
}

bool IsWrite(TSyncAction action) {
    return action == TSyncAction::SetDay || action == TSyncAction::SetNote ||
           action == TSyncAction::SetTemplate;
}

// What a request the store could not serve is answered with: ER_UPDATE for a write (it was not
// kept), ER_GET for a read; day requests name their day.
std::string FailureStatus(TSyncAction action, Date day) {
    const bool dayRequest = action == TSyncAction::SetDay || action == TSyncAction::GetDay;
    return SyncMessage::Status(IsWrite(action) ? ER_UPDATE : ER_GET, action,
                               dayRequest ? DateToStr(day) : "");
}

}  // namespace

namespace SyncMessage {

std::string Status(ResultCode status, TSyncAction request, std::string_view dayKey) {
    TMessageWriter writer;
    writer.Open().Member("ACTION", "STATUS").IntegerMember("STATUS", status);
    if (request != TSyncAction::None) writer.Member("REQUEST", SyncActionName(request));
    if (!dayKey.empty()) writer.Member("DAY", dayKey);
    return writer.Close().Take();
}

// The day member must come second: the client takes the second member as the day.
std::string Day(std::string_view action, const TSyncStore::TDay& day, bool withStatus) {
    TMessageWriter writer;
    writer.Open()
        .Member("ACTION", action)
        .Member(DateToStr(day.Day), day.Html)
        .Member("timestamp", std::to_string(day.Timestamp));
    if (withStatus) writer.IntegerMember("STATUS", ER_SUCCESS);
    return writer.Close().Take();
}

std::string Page(TSyncStore::TPage page, std::string_view html) {
    const bool note = page == TSyncStore::TPage::Note;
    return TMessageWriter()
        .Open()
        .Member("ACTION", note ? "UPDATE_NOTE" : "UPDATE_TEMPLATE")
        .Member(note ? "note" : "template", html)
        .Close()
        .Take();
}

}  // namespace SyncMessage

TServiceClock TServiceClock::System() {
    return TServiceClock{[] { return wl::Today(); }, [] { return std::chrono::system_clock::now(); }};
}

std::int64_t LatestTimestamp(std::chrono::system_clock::time_point now) {
    return std::chrono::ceil<std::chrono::seconds>(now.time_since_epoch()).count();
}

TSyncService::TSyncService(TSyncStore& store, TServiceClock clock)
    : store_(store), clock_(std::move(clock)) {}

std::size_t TSyncService::Handle(TConnectionId from, std::string_view text, TReplies replies) {
    const std::size_t before = outbox_.size();
    const TParsedRequest parsed = ParseSyncRequest(text);
    if (replies == TReplies::Skip && !IsWrite(parsed.Request.Action)) return 0;
    // Only SET_DAYs wait to be written together; anything else sees them written and is answered
    // after them.
    if (parsed.Status != ER_SUCCESS || parsed.Request.Action != TSyncAction::SetDay) ApplyPendingDays();
    if (parsed.Status != ER_SUCCESS) {
        Answer(from, SyncMessage::Status(parsed.Status, parsed.Request.Action));
    } else if (replies == TReplies::Send) {
        requests_.push_back({from, parsed.Request.Action, parsed.Request.Day});
    }
    // After a failed request the store's transaction is in doubt: the rest of the batch waits for its
    // error answer.
    if (parsed.Status == ER_SUCCESS && !batchFailure_) {
        try {
            const std::string account = HashAccountKey(parsed.Request.Key);
            Subscribe(from, account);
            Dispatch(from, account, parsed.Request, replies);
        } catch (const TSyncStoreError& e) {
            if (e.Kind() == TSyncStoreError::TKind::Refused) {
                // Only this write is refused; the store's transaction is untouched.
                ServerLog(TLogLevel::Warning, std::string("write refused: ") + e.what());
                if (replies == TReplies::Send) {
                    requests_.pop_back();  // answered here
                    Answer(from, FailureStatus(parsed.Request.Action, parsed.Request.Day));
                }
            } else {
                FailBatch(e);
            }
        } catch (const std::exception& e) {
            FailBatch(e);
        }
    }
    std::size_t cost = std::exchange(searchedBytes_, 0);
    for (std::size_t i = before; i < outbox_.size(); ++i)
        if (outbox_[i].To == from) cost += outbox_[i].Text->size();
    return cost;
}

void TSyncService::FailBatch(const std::exception& e) {
    ServerLog(TLogLevel::Error, std::string("request failed: ") + e.what());
    const auto* storeError = dynamic_cast<const TSyncStoreError*>(&e);
    if (!batchFailure_) batchFailure_ = storeError ? *storeError : TSyncStoreError(e.what());
}

void TSyncService::Dispatch(TConnectionId from, const std::string& account, const TSyncRequest& request,
                            TReplies replies) {
    switch (request.Action) {
        case TSyncAction::GetCurrentWeek:
            return AnswerCurrentWeek(from, account);
        case TSyncAction::GetDaysRange:
            return AnswerDaysRange(from, account, request.Start, request.End);
        case TSyncAction::GetDay:
            return AnswerDay(from, account, request.Day);
        case TSyncAction::GetNote:
            return AnswerPage(from, account, TSyncStore::TPage::Note);
        case TSyncAction::GetTemplate:
            return AnswerPage(from, account, TSyncStore::TPage::Template);
        case TSyncAction::GetSearch:
            return AnswerSearch(from, account, request.Text);
        case TSyncAction::SetDay:
            return QueueSetDay(from, account, request, replies);
        case TSyncAction::SetNote:
            return ApplySetPage(from, account, TSyncStore::TPage::Note, request.Text);
        case TSyncAction::SetTemplate:
            return ApplySetPage(from, account, TSyncStore::TPage::Template, request.Text);
        case TSyncAction::None:
            return;
    }
}

// The client refreshes its whole store from this answer and replaces its note and template with what
// the answer carries, an absent member counting as empty. So the week object goes out only when both
// pages are held; for an account that lacks one, the days come as a days range and each held page as
// its own update, and the client keeps what the service never had.
void TSyncService::AnswerCurrentWeek(TConnectionId from, const std::string& account) {
    const Date today = clock_.Today();
    const Date monday = AddDays(today, 1 - IsoWeekday(today));
    const auto days = store_.GetDays(account, monday, AddDays(monday, 6));
    const auto note = store_.GetPage(account, TSyncStore::TPage::Note);
    const auto templ = store_.GetPage(account, TSyncStore::TPage::Template);
    if (!note || !templ) {
        AnswerDaysRange(from, account, monday, AddDays(monday, 6));
        if (note) Answer(from, SyncMessage::Page(TSyncStore::TPage::Note, *note));
        if (templ) Answer(from, SyncMessage::Page(TSyncStore::TPage::Template, *templ));
        return;
    }
    TMessageWriter writer;
    writer.Open().Member("ACTION", "RES_GET_CURRENT_WEEK").IntegerMember("STATUS", ER_SUCCESS);
    writer.Name("ITEM").Open().Member("note", *note).Member("template", *templ);
    WriteDays(writer, days).Close();
    Answer(from, writer.Close().Take());
}

void TSyncService::AnswerDaysRange(TConnectionId from, const std::string& account, Date first, Date last) {
    TMessageWriter writer;
    writer.Open().Member("ACTION", "RES_GET_DAYS_RANGE").IntegerMember("STATUS", ER_SUCCESS);
    writer.Name("ITEM").Open();
    WriteDays(writer, store_.GetDays(account, first, last)).Close();
    Answer(from, writer.Close().Take());
}

// A day the service does not hold is answered with a status, never with an empty day: the client would
// erase its own text.
void TSyncService::AnswerDay(TConnectionId from, const std::string& account, Date day) {
    const auto stored = store_.GetDay(account, day);
    if (!stored) {
        Answer(from, SyncMessage::Status(ER_SELECT, TSyncAction::GetDay, DateToStr(day)));
        return;
    }
    Answer(from, SyncMessage::Day("RES_GET_DAY", *stored, true));
}

void TSyncService::AnswerPage(TConnectionId from, const std::string& account, TSyncStore::TPage page) {
    const auto stored = store_.GetPage(account, page);
    if (!stored) {
        const auto action = page == TSyncStore::TPage::Note ? TSyncAction::GetNote : TSyncAction::GetTemplate;
        Answer(from, SyncMessage::Status(ER_SELECT, action));
        return;
    }
    Answer(from, SyncMessage::Page(page, *stored));
}

void TSyncService::AnswerSearch(TConnectionId from, const std::string& account, const std::string& text) {
    std::vector<TSyncStore::TDay> found;
    const std::string needle = FoldCase(text);
    if (!needle.empty()) {
        store_.ScanDays(account, [&](const TSyncStore::TDay& day) {
            searchedBytes_ += day.Html.size();
            if (FoldCase(HtmlToText(day.Html)).find(needle) != std::string::npos) found.push_back(day);
            return found.size() < kMaxSearchResults;
        });
    }
    // The answer has the shape of a days range, which every client stores as it comes; an empty
    // one changes nothing there.
    TMessageWriter writer;
    writer.Open().Member("ACTION", "RES_GET_DAYS_RANGE").IntegerMember("STATUS", ER_SUCCESS);
    writer.Name("ITEM").Open().Member("search", text);
    WriteDays(writer, found).Close();
    Answer(from, writer.Close().Take());
}

// A device whose clock runs ahead would otherwise lock the day against every later edit from the
// others; its timestamp counts as no later than the service's own time.
void TSyncService::QueueSetDay(TConnectionId from, const std::string& account, const TSyncRequest& request,
                               TReplies replies) {
    const std::int64_t timestamp = std::min(request.Timestamp, LatestTimestamp(clock_.Now()));
    pendingDays_.push_back({from, replies, account, request.Day, request.Text, timestamp});
}

// The queued SET_DAYs go to the store in one call, which may take their rows in an order of its own;
// their answers and pushes follow in the order the requests came. A store failure fails the batch.
void TSyncService::ApplyPendingDays() {
    if (pendingDays_.empty()) return;
    const std::vector<TPendingDay> pending = std::exchange(pendingDays_, {});
    if (batchFailure_) return;
    std::vector<TSyncStore::TDayWrite> writes;
    writes.reserve(pending.size());
    for (const TPendingDay& p : pending) writes.push_back({&p.Account, p.Day, p.Text, p.Timestamp});
    std::vector<TSyncStore::TDayWritten> results;
    try {
        results = store_.SetDays(writes);
    } catch (const std::exception& e) {
        FailBatch(e);
        return;
    }
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const TPendingDay& p = pending[i];
        if (!results[i].Refusal.empty()) {
            ServerLog(TLogLevel::Warning, "write refused: " + results[i].Refusal);
            if (p.Replies == TReplies::Send) Answer(p.From, FailureStatus(TSyncAction::SetDay, p.Day));
        } else if (results[i].Newer) {
            Answer(p.From, SyncMessage::Day("UPDATE_DAY", *results[i].Newer, false));
        } else {
            NoteOwnWrite(p.Account, TChangeNotice::TKind::Day, p.Day);
            const std::string place = PlaceKey(p.Account, TChangeNotice::TKind::Day, p.Day);
            std::string update = SyncMessage::Day("UPDATE_DAY", {p.Day, p.Text, p.Timestamp}, false);
            EchoIfCrossed(p.From, place, update);
            PushToOthers(p.From, p.Account, place, std::move(update));
        }
    }
}

void TSyncService::ApplySetPage(TConnectionId from, const std::string& account, TSyncStore::TPage page,
                                const std::string& html) {
    store_.SetPage(account, page, html);
    const auto kind =
        page == TSyncStore::TPage::Note ? TChangeNotice::TKind::Note : TChangeNotice::TKind::Template;
    NoteOwnWrite(account, kind, {});
    const std::string place = PlaceKey(account, kind, {});
    std::string update = SyncMessage::Page(page, html);
    EchoIfCrossed(from, place, update);
    PushToOthers(from, account, place, std::move(update));
}

void TSyncService::NoteOwnWrite(const std::string& account, TChangeNotice::TKind kind, Date day) {
    if (!ownInstance_.empty()) batchWrites_.push_back(PlaceKey(account, kind, day));
}

void TSyncService::Subscribe(TConnectionId connection, const std::string& account) {
    auto [it, added] = accountOf_.try_emplace(connection, account);
    if (!added) {
        if (it->second == account) return;
        Detach(connection);
        accountOf_.emplace(connection, account);
    }
    connections_[account].push_back(connection);
}

void TSyncService::Detach(TConnectionId connection) {
    crossed_.Forget(connection);
    const auto it = accountOf_.find(connection);
    if (it == accountOf_.end()) return;
    const auto group = connections_.find(it->second);
    if (group != connections_.end()) {
        std::erase(group->second, connection);
        if (group->second.empty()) connections_.erase(group);
    }
    accountOf_.erase(it);
}

std::size_t TSyncService::ConnectionsOnKey(std::string_view key) const {
    const auto group = connections_.find(HashAccountKey(key));
    return group == connections_.end() ? 0 : group->second.size();
}

void TSyncService::Answer(TConnectionId to, std::string text) {
    outbox_.push_back({to, std::make_shared<const std::string>(std::move(text))});
}

void TSyncService::PushToOthers(TConnectionId from, const std::string& account, const std::string& place,
                                std::string text) {
    const auto group = connections_.find(account);
    if (group == connections_.end()) return;
    TText shared;
    const auto now = clock_.Now();
    for (const TConnectionId to : group->second) {
        if (to == from) continue;
        if (!shared) shared = std::make_shared<const std::string>(std::move(text));
        outbox_.push_back({to, shared, true});
        crossed_.Pushed(to, place, now);
    }
}

void TSyncService::EchoIfCrossed(TConnectionId from, const std::string& place, std::string text) {
    const auto now = clock_.Now();
    if (!crossed_.Crossed(from, place, now)) return;
    Answer(from, std::move(text));
    crossed_.Pushed(from, place, now);
}

void TSyncService::JoinInstances(std::string ownInstance, TChangesSince changesSince) {
    ownInstance_ = std::move(ownInstance);
    changesSince_ = std::move(changesSince);
}

// Notices arrive in the order their writes committed: of one place's notices the last holds the
// newest text, and a carried text is stale when a write of this instance to the same place committed
// after it, that is, when that write's own notice is still to come.
bool TSyncService::PushRemoteChanges(const std::vector<TChangeNotice>& changes) {
    std::unordered_map<std::string, std::size_t> last;  // place -> index of its last notice to push
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const TChangeNotice& change = changes[i];
        const std::string place = PlaceKey(change.Account, change.Kind, change.Day);
        const auto unseen = unseenOwnWrites_.find(place);
        if (change.Instance == ownInstance_ && !ownInstance_.empty()) {
            if (unseen != unseenOwnWrites_.end() && --unseen->second <= 0) unseenOwnWrites_.erase(unseen);
            last.erase(place);  // what came before it is older than what the devices here were pushed
            continue;
        }
        if (!connections_.contains(change.Account)) continue;
        if (change.Text && unseen != unseenOwnWrites_.end()) continue;
        last[place] = i;
    }
    try {
        for (std::size_t i = 0; i < changes.size(); ++i) {
            const auto it = last.find(PlaceKey(changes[i].Account, changes[i].Kind, changes[i].Day));
            if (it != last.end() && it->second == i) PushCurrent(changes[i]);
        }
        return true;
    } catch (const std::exception& e) {
        ServerLog(TLogLevel::Warning, std::string("other instances' changes not pushed: ") + e.what());
        return false;
    }
}

// The own notices of the time away are lost too: nothing is waited for any more, and the re-read
// texts come from the store, never stale.
bool TSyncService::PushChangesSince(std::int64_t since) {
    unseenOwnWrites_.clear();
    if (!changesSince_) return true;
    std::vector<TChangeNotice> missed;
    try {
        missed = changesSince_(since);
    } catch (const std::exception& e) {
        ServerLog(TLogLevel::Warning, std::string("missed changes not read: ") + e.what());
        return false;
    }
    return PushRemoteChanges(missed);
}

// The text the notice carries, or else the one the store holds now. Connection ids start at 1, so no
// connection here is left out as the sender.
void TSyncService::PushCurrent(const TChangeNotice& change) {
    constexpr TConnectionId kNobody = 0;
    if (change.Kind == TChangeNotice::TKind::Day) {
        const auto day = change.Text ? TSyncStore::TDay{change.Day, *change.Text, change.Timestamp}
                                     : store_.GetDay(change.Account, change.Day);
        if (day)
            PushToOthers(kNobody, change.Account, PlaceKey(change.Account, change.Kind, change.Day),
                         SyncMessage::Day("UPDATE_DAY", *day, false));
        return;
    }
    const auto page =
        change.Kind == TChangeNotice::TKind::Note ? TSyncStore::TPage::Note : TSyncStore::TPage::Template;
    const auto html = change.Text ? change.Text : store_.GetPage(change.Account, page);
    if (html)
        PushToOthers(kNobody, change.Account, PlaceKey(change.Account, change.Kind, {}),
                     SyncMessage::Page(page, *html));
}

std::vector<TOutMessage> TSyncService::Commit() {
    return CommitStore() ? FailedBatchAnswers() : TakeOutbox();
}

std::vector<TOutMessage> TSyncService::RunBatch(const std::function<void()>& handleAll) {
    return RunBatch(1, [&](std::size_t) { handleAll(); });
}

std::vector<TOutMessage> TSyncService::RunBatch(std::size_t parts,
                                                const std::function<void(std::size_t part)>& handlePart) {
    return RunParts(0, parts, handlePart);
}

// Parts [first, last) as one batch. A batch that collided waits a random while, longer each time, so
// that two instances do not meet again at once; a batch of several parts then goes on in two halves,
// so that the part that keeps colliding holds up no other.
std::vector<TOutMessage> TSyncService::RunParts(std::size_t first, std::size_t last,
                                                const std::function<void(std::size_t part)>& handlePart) {
    for (int run = 1;; ++run) {
        for (std::size_t part = first; part < last; ++part) handlePart(part);
        const auto failure = CommitStore();
        if (!failure) return TakeOutbox();
        if (*failure != TSyncStoreError::TKind::Conflict || run == kMaxBatchRuns) return FailedBatchAnswers();
        ServerLog(TLogLevel::Info, "batch collided with another writer, running it again");
        outbox_.clear();
        requests_.clear();
        BackOff(run);
        if (last - first < 2) continue;
        const std::size_t middle = first + (last - first) / 2;
        std::vector<TOutMessage> out = RunParts(first, middle, handlePart);
        std::vector<TOutMessage> rest = RunParts(middle, last, handlePart);
        out.insert(out.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
        return out;
    }
}

void TSyncService::BackOff(int run) {
    static thread_local std::minstd_rand random{std::random_device{}()};
    const int ceilingMs = kBackOffMs << std::min(run - 1, 6);
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(1, ceilingMs)(random)));
}

// Commits, or rolls the batch back when a request of it failed or the commit does.
std::optional<TSyncStoreError::TKind> TSyncService::CommitStore() {
    ApplyPendingDays();
    std::optional<TSyncStoreError> failure = std::move(batchFailure_);
    batchFailure_.reset();
    std::vector<std::string> written = std::exchange(batchWrites_, {});
    if (!failure) {
        try {
            store_.Commit();
            for (const std::string& place : written) ++unseenOwnWrites_[place];
            return std::nullopt;
        } catch (const TSyncStoreError& e) {
            failure = e;
        }
    }
    ServerLog(TLogLevel::Error, std::string("batch of ") + std::to_string(outbox_.size()) +
                                    " messages dropped: " + failure->what());
    try {
        store_.Rollback();
    } catch (const std::exception& rollbackError) {
        ServerLog(TLogLevel::Error, std::string("rollback failed: ") + rollbackError.what());
    }
    return failure->Kind();
}

std::vector<TOutMessage> TSyncService::TakeOutbox() {
    requests_.clear();
    std::vector<TOutMessage> out;
    out.swap(outbox_);
    return out;
}

// Nothing of a failed batch was kept, so nothing of it may be acknowledged: no pushes, and every
// request answered with its error instead of its answer.
std::vector<TOutMessage> TSyncService::FailedBatchAnswers() {
    outbox_.clear();
    for (const TPendingRequest& request : requests_)
        Answer(request.From, FailureStatus(request.Action, request.Day));
    return TakeOutbox();
}

}  // namespace wl
