// The service without sockets: who receives what, in which bytes, and that nothing leaves before the
// store has committed it.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>
#include <utility>

#include "ClientRequests.h"
#include "KeyHash.h"
#include "ServerLog.h"
#include "TSyncService.h"
#include "TestStorage.h"

namespace wl {
namespace {

using test::GetDayRequest;
using test::GetRequest;
using test::SetDayRequest;
using test::SetNoteRequest;
using test::SetTemplateRequest;
using TInbox = std::map<TConnectionId, std::vector<std::string>>;

class SyncService : public testing::TestWithParam<test::TStorageKind> {
  protected:
    SyncService() { SetServerLogEnabled(false); }
    ~SyncService() override { SetServerLogEnabled(true); }

    // Handles one message and commits; what each connection receives, in order.
    TInbox Send(TConnectionId from, const std::string& text) {
        service_.Handle(from, text);
        TInbox inbox;
        for (const TOutMessage& message : service_.Commit()) inbox[message.To].push_back(*message.Text);
        return inbox;
    }
    // Puts each connection on its key (the first request does that) and drops the answers.
    void Join(const std::map<TConnectionId, std::string>& keys) {
        for (const auto& [connection, key] : keys) Send(connection, GetRequest("GET_NOTE", key));
    }

    test::TTestStorage storage_{GetParam()};
    std::unique_ptr<TSyncStore> storePtr_ = storage_.Open();
    TSyncStore& store_ = *storePtr_;
    Date today_ = MakeDate(2021, 1, 6);  // a Wednesday: the week is 04.01.2021 .. 10.01.2021
    std::int64_t now_ = 1609900000;
    std::chrono::milliseconds nowFraction_{0};  // added to now_: where in its second the service's clock is
    TSyncService service_{
        store_, TServiceClock{[this] { return today_; },
                              [this] {
                                  return std::chrono::system_clock::time_point(std::chrono::seconds(now_)) +
                                         nowFraction_;
                              }}};
};

INSTANTIATE_TEST_SUITE_P(Storages, SyncService, test::AllStorages(), test::StorageName);

TEST_P(SyncService, SetDayReachesTheKeysOtherConnectionsOnly) {
    Join({{1, "k1"}, {2, "k1"}, {3, "k2"}});
    const TInbox inbox = Send(1, SetDayRequest("k1", "05.01.2021", "<p>tue</p>", 1609840000));
    EXPECT_EQ(
        inbox,
        (TInbox{{2, {R"({"ACTION":"UPDATE_DAY","05.01.2021":"<p>tue</p>","timestamp":"1609840000"})"}}}));
}

TEST_P(SyncService, PagePushesAreEscapedAsTheClientWritesThem) {
    Join({{1, "k1"}, {2, "k1"}});
    EXPECT_EQ(
        Send(1, SetNoteRequest("k1", "\"Заметки\\")),
        (TInbox{
            {2, {R"({"ACTION":"UPDATE_NOTE","note":"\"\u0417\u0430\u043c\u0435\u0442\u043a\u0438\\"})"}}}));
    EXPECT_EQ(Send(2, SetTemplateRequest("k1", "<b>a/b</b>\n")),
              (TInbox{{1, {R"({"ACTION":"UPDATE_TEMPLATE","template":"<b>a/b</b>\n"})"}}}));
}

TEST_P(SyncService, OlderDayEditIsRefusedAndTheSenderGetsTheNewerText) {
    Join({{1, "k1"}, {2, "k1"}});
    Send(1, SetDayRequest("k1", "05.01.2021", "newer", 1609840200));
    const TInbox inbox = Send(2, SetDayRequest("k1", "05.01.2021", "older", 1609840100));
    EXPECT_EQ(inbox,
              (TInbox{{2, {R"({"ACTION":"UPDATE_DAY","05.01.2021":"newer","timestamp":"1609840200"})"}}}));
    EXPECT_EQ(store_.GetDay(HashAccountKey("k1"), MakeDate(2021, 1, 5))->Html, "newer");
}

// A push of another device's text can reach a device after it sent a newer write of its own: that
// device would then show the older text while everyone else shows its own. When its write wins within
// a while of such a push, its own text goes back to it too; otherwise its writes are never echoed.
TEST_P(SyncService, AWinningWriteThatAPushOfTheSamePlaceMayHaveCrossedGoesBackToItsSender) {
    enum class TWrite { None, Day, OtherDay, Note, Template };
    struct TCase {
        const char* name;
        TWrite first;        // written by the other connection first (pushed to mine)
        TWrite second;       // then written by mine
        std::int64_t pause;  // seconds between the two
        bool echoed;
    };
    const TCase cases[] = {
        {"the same day just pushed", TWrite::Day, TWrite::Day, 0, true},
        {"the same day pushed seconds ago", TWrite::Day, TWrite::Day, 5, true},
        {"the same day pushed long ago", TWrite::Day, TWrite::Day, 60, false},
        {"another day pushed", TWrite::OtherDay, TWrite::Day, 0, false},
        {"nothing pushed", TWrite::None, TWrite::Day, 0, false},
        {"the note", TWrite::Note, TWrite::Note, 0, true},
        {"the template after the note", TWrite::Note, TWrite::Template, 0, false},
    };
    const auto request = [&](TWrite write, const std::string& key, const std::string& text) {
        switch (write) {
            case TWrite::Day:
                return SetDayRequest(key, "05.01.2021", text, now_ - 10);
            case TWrite::OtherDay:
                return SetDayRequest(key, "06.01.2021", text, now_ - 10);
            case TWrite::Note:
                return SetNoteRequest(key, text);
            case TWrite::Template:
                return SetTemplateRequest(key, text);
            case TWrite::None:
                break;
        }
        return std::string();
    };
    TConnectionId next = 10;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = "k" + std::to_string(next);  // an account of its own
        const TConnectionId mine = next++, other = next++;
        Join({{mine, key}, {other, key}});
        if (c.first != TWrite::None) Send(other, request(c.first, key, "older"));
        now_ += c.pause;
        const TInbox inbox = Send(mine, request(c.second, key, "mine"));
        ASSERT_EQ(inbox.count(other), 1u);
        EXPECT_EQ(inbox.count(mine), c.echoed ? 1u : 0u);
        if (c.echoed && inbox.count(mine)) {
            EXPECT_EQ(inbox.at(mine), inbox.at(other));
        }
    }
}

// The echo is itself a push: a further write of the device that crossed it is echoed too, and once
// the device has been quiet for a while its writes go out to the others only again.
TEST_P(SyncService, AnEchoCoversTheSendersNextWriteUntilItHasBeenQuiet) {
    Join({{1, "k1"}, {2, "k1"}});
    Send(2, SetDayRequest("k1", "05.01.2021", "older", now_ - 50));
    EXPECT_EQ(Send(1, SetDayRequest("k1", "05.01.2021", "a", now_ - 10)).count(1), 1u);
    now_ += 1;
    EXPECT_EQ(Send(1, SetDayRequest("k1", "05.01.2021", "ab", now_)).count(1), 1u);
    now_ += 30;
    EXPECT_EQ(Send(1, SetDayRequest("k1", "05.01.2021", "abc", now_)).count(1), 0u);
}

TEST_P(SyncService, DeviceClockAheadDoesNotLockTheDay) {
    Join({{1, "k1"}, {2, "k1"}});
    Send(1, SetDayRequest("k1", "05.01.2021", "from the fast clock", now_ + 86400 * 365));
    now_ += 10;
    const TInbox inbox = Send(2, SetDayRequest("k1", "05.01.2021", "later edit", now_));
    ASSERT_EQ(inbox.count(1), 1u);  // accepted and pushed, not refused
    EXPECT_EQ(store_.GetDay(HashAccountKey("k1"), MakeDate(2021, 1, 5))->Html, "later edit");
}

// A device stamps a write with the whole second it is made in; the service's own clock may be a few
// milliseconds behind the device's or anywhere in the same second.
TEST_P(SyncService, TimestampIsCappedAtTheServicesSecondRoundedUp) {
    struct TCase {
        std::int64_t clockSeconds;
        std::chrono::milliseconds clockFraction;
        std::int64_t stamp, stored;
    };
    const std::int64_t s = 1609900000;
    const TCase cases[] = {
        {s - 1, std::chrono::milliseconds(998), s, s},  // the service's clock still in the last second
        {s, std::chrono::milliseconds(0), s, s},
        {s, std::chrono::milliseconds(1), s, s},
        {s, std::chrono::milliseconds(1), s + 1, s + 1},
        {s, std::chrono::milliseconds(1), s + 3600, s + 1},  // a device clock an hour ahead
        {s, std::chrono::milliseconds(0), s + 1, s},
    };
    Date day = MakeDate(2021, 1, 1);
    for (const TCase& c : cases) {
        day = AddDays(day, 1);  // a day of its own, held by no one before
        now_ = c.clockSeconds;
        nowFraction_ = c.clockFraction;
        Send(1, SetDayRequest("k1", DateToStr(day), "x", c.stamp));
        EXPECT_EQ(store_.GetDay(HashAccountKey("k1"), day)->Timestamp, c.stored)
            << "clock " << c.clockSeconds << " s + " << c.clockFraction.count() << " ms, stamp " << c.stamp;
    }
}

// The devices stamp with the wall clock; so must the service cap with it, right at a second's edge
// too, where a coarse clock still shows the last second. Three edges, since the lag is short.
TEST_P(SyncService, WriteStampedWithTheCurrentSecondKeepsItsStampAtTheSecondsEdge) {
    using namespace std::chrono;
    TSyncService service(store_, TServiceClock::System());
    Date day = MakeDate(2021, 1, 1);
    for (int edge = 0; edge < 3; ++edge) {
        day = AddDays(day, 1);
        const auto next = ceil<seconds>(system_clock::now() + milliseconds(5));
        std::this_thread::sleep_until(next - milliseconds(2));
        while (system_clock::now() < next) {  // the last two milliseconds
        }
        const std::int64_t stamp = floor<seconds>(system_clock::now().time_since_epoch()).count();
        service.Handle(1, SetDayRequest("k1", DateToStr(day), "x", stamp));
        service.Commit();
        EXPECT_EQ(store_.GetDay(HashAccountKey("k1"), day)->Timestamp, stamp) << "edge " << edge;
    }
}

// What the server relies on when it bounds a connection's share of a batch and when a connection left
// before its messages were handled.
TEST_P(SyncService, HandleCountsAnswersToTheSenderAndSkipsReadsOfTheDeparted) {
    Join({{1, "k1"}, {2, "k1"}});
    EXPECT_EQ(service_.Handle(1, SetDayRequest("k1", "05.01.2021", "x", 1)), 0u);  // pushed, not answered
    const std::size_t answered = service_.Handle(1, GetDayRequest("k1", "05.01.2021"));
    auto out = service_.Commit();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].Push);
    EXPECT_FALSE(out[1].Push);
    EXPECT_EQ(answered, out[1].Text->size());

    // A search that finds nothing answers little but reads every day of the account: that counts.
    const std::string longDay(5000, 'y');
    service_.Handle(1, SetDayRequest("k1", "06.01.2021", longDay, 1));
    service_.Commit();
    const std::size_t searched = service_.Handle(1, test::SearchRequest("k1", "nowhere"));
    out = service_.Commit();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(searched, out[0].Text->size() + longDay.size() + 1);  // the answer, both days' text

    EXPECT_EQ(service_.Handle(1, GetDayRequest("k1", "05.01.2021"), TReplies::Skip), 0u);
    EXPECT_EQ(service_.Handle(1, SetDayRequest("k1", "05.01.2021", "last words", 2), TReplies::Skip), 0u);
    out = service_.Commit();
    ASSERT_EQ(out.size(), 1u);  // the write still reaches the others
    EXPECT_EQ(out[0].To, 2u);
    EXPECT_EQ(store_.GetDay(HashAccountKey("k1"), MakeDate(2021, 1, 5))->Html, "last words");
}

TEST_P(SyncService, MissingOrEmptyKeyIsRefusedAndSharesNothing) {
    for (const std::string& request : {std::string(R"({"ACTION":"SET_NOTE","note":"x"})"),
                                       SetNoteRequest("", "x"), SetNoteRequest("   ", "x")}) {
        SCOPED_TRACE(request);
        Send(2, GetRequest("GET_NOTE", ""));
        EXPECT_EQ(Send(1, request),
                  (TInbox{{1, {R"({"ACTION":"STATUS","STATUS":3,"REQUEST":"SET_NOTE"})"}}}));
    }
    EXPECT_FALSE(store_.GetPage(HashAccountKey(""), TSyncStore::TPage::Note));
    EXPECT_FALSE(store_.GetPage(HashAccountKey("   "), TSyncStore::TPage::Note));
}

TEST_P(SyncService, BadRequestsAreAnsweredWithTheirStatus) {
    struct TCase {
        std::string request, answer;
    };
    const TCase cases[] = {
        {"not json", R"({"ACTION":"STATUS","STATUS":4})"},
        {R"({"ACTION":"get_note","KEY":"k1"})", R"({"ACTION":"STATUS","STATUS":4})"},
        {R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"x"})",
         R"({"ACTION":"STATUS","STATUS":1,"REQUEST":"SET_DAY"})"},
        {R"({"ACTION":"SET_NOTE","KEY":"k1"})", R"({"ACTION":"STATUS","STATUS":1,"REQUEST":"SET_NOTE"})"},
    };
    for (const TCase& c : cases) EXPECT_EQ(Send(1, c.request), (TInbox{{1, {c.answer}}})) << c.request;
    EXPECT_FALSE(store_.GetPage(HashAccountKey("k1"), TSyncStore::TPage::Note));
}

TEST_P(SyncService, DayTheServiceNeverHadIsNotSentAsEmpty) {
    EXPECT_EQ(Send(1, GetDayRequest("k1", "05.01.2021")),
              (TInbox{{1, {R"({"ACTION":"STATUS","STATUS":7,"REQUEST":"GET_DAY","DAY":"05.01.2021"})"}}}));
}

TEST_P(SyncService, HeldDayIsAnsweredWithTheDayAsSecondMember) {
    Send(1, SetDayRequest("k1", "05.01.2021", "", 1609840000));  // an emptied day is still held
    const TInbox inbox = Send(1, GetDayRequest("k1", "05.01.2021"));
    ASSERT_EQ(inbox.at(1).size(), 1u);
    const JsonValue answer = ParseJson(inbox.at(1)[0]);
    EXPECT_EQ(answer.GetString("ACTION"), "RES_GET_DAY");
    ASSERT_GE(answer.size(), 2u);
    EXPECT_EQ(answer.Members()[1].first, "05.01.2021");
    EXPECT_EQ(answer.Members()[1].second.AsString(), "");
}

TEST_P(SyncService, CurrentWeekCarriesThePagesAndTheHeldDaysOfThisWeek) {
    const std::string account = HashAccountKey("k1");
    store_.SetPage(account, TSyncStore::TPage::Note, "n");
    store_.SetPage(account, TSyncStore::TPage::Template, "t");
    for (int day : {3, 4, 10, 11})
        store_.SetDay(account, MakeDate(2021, 1, day), "d" + std::to_string(day), 1);
    store_.Commit();
    EXPECT_EQ(Send(1, GetRequest("GET_CURRENT_WEEK", "k1")),
              (TInbox{{1,
                       {R"({"ACTION":"RES_GET_CURRENT_WEEK","STATUS":0,"ITEM":{"note":"n","template":"t",)"
                        R"("days":{"04.01.2021":"d4","10.01.2021":"d10"}}})"}}}));
}

TEST_P(SyncService, CurrentWeekOfAnAccountWithoutPagesLeavesTheClientsPagesAlone) {
    Send(1, SetDayRequest("k1", "05.01.2021", "tue", 1));
    Send(1, SetNoteRequest("k1", "n"));
    EXPECT_EQ(Send(1, GetRequest("GET_CURRENT_WEEK", "k1")),
              (TInbox{{1,
                       {R"({"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"days":{"05.01.2021":"tue"}}})",
                        R"({"ACTION":"UPDATE_NOTE","note":"n"})"}}}));
    EXPECT_EQ(Send(2, GetRequest("GET_CURRENT_WEEK", "new key")),
              (TInbox{{2, {R"({"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"days":{}}})"}}}));
}

TEST_P(SyncService, DaysRangeAnswersHeldDaysBetweenStartAndEnd) {
    Send(1, SetDayRequest("k1", "03.01.2021", "before", 1));
    Send(1, SetDayRequest("k1", "07.01.2021", "thu", 1));
    EXPECT_EQ(
        Send(1, test::GetDaysRangeRequest("k1", "04.01.2021", "10.01.2021")),
        (TInbox{
            {1, {R"({"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"days":{"07.01.2021":"thu"}}})"}}}));
}

TEST_P(SyncService, NoteAndTemplateAreAnsweredToTheAskerOnly) {
    Join({{1, "k1"}, {2, "k1"}});
    EXPECT_EQ(Send(1, GetRequest("GET_NOTE", "k1")),
              (TInbox{{1, {R"({"ACTION":"STATUS","STATUS":7,"REQUEST":"GET_NOTE"})"}}}));
    Send(2, SetNoteRequest("k1", "n"));
    Send(2, SetTemplateRequest("k1", "t"));
    EXPECT_EQ(Send(1, GetRequest("GET_NOTE", "k1")),
              (TInbox{{1, {R"({"ACTION":"UPDATE_NOTE","note":"n"})"}}}));
    EXPECT_EQ(Send(1, GetRequest("GET_TEMPLATE", "k1")),
              (TInbox{{1, {R"({"ACTION":"UPDATE_TEMPLATE","template":"t"})"}}}));
}

// The answer is a days range, which clients store as they store a week: a day written on another
// device is found on this one without ever having been opened here.
TEST_P(SyncService, SearchAnswersTheMatchingDaysAsADaysRange) {
    Send(1, SetDayRequest("k1", "05.01.2021", "<p>Купить <b>Хлеб</b></p>", 1));
    Send(1, SetDayRequest("k1", "06.01.2021", "<span class=\"x\">y</span>", 1));
    Send(1, SetDayRequest("k2", "07.01.2021", "купить хлеб", 1));
    const auto found = ParseJson(Send(1, test::SearchRequest("k1", "купить хлеб")).at(1).at(0));
    EXPECT_EQ(found.GetString("ACTION"), "RES_GET_DAYS_RANGE");
    EXPECT_EQ(found.Find("STATUS")->AsNumber(), ER_SUCCESS);
    ASSERT_TRUE(found.Find("ITEM") && found.Find("ITEM")->Find("days"));
    const JsonValue& days = *found.Find("ITEM")->Find("days");
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days.Members()[0].first, "05.01.2021");
    EXPECT_EQ(days.Members()[0].second.AsString(), "<p>Купить <b>Хлеб</b></p>");
    // Text only in markup finds nothing: an empty range, which changes nothing on the client.
    const auto none = ParseJson(Send(1, test::SearchRequest("k1", "span")).at(1).at(0));
    EXPECT_EQ(none.GetString("ACTION"), "RES_GET_DAYS_RANGE");
    EXPECT_EQ(none.Find("STATUS")->AsNumber(), ER_SUCCESS);
    EXPECT_EQ(none.Find("ITEM")->Find("days")->size(), 0u);
}

TEST_P(SyncService, SearchAnswersTheNewestMatchingDaysUpToTheCap) {
    const int held = static_cast<int>(TSyncService::kMaxSearchResults) + 20;
    const Date first = MakeDate(2020, 1, 1);
    for (int i = 0; i < held; ++i) Send(1, SetDayRequest("k1", DateToStr(AddDays(first, i)), "врач", 1));
    const auto found = ParseJson(Send(1, test::SearchRequest("k1", "ВРАЧ")).at(1).at(0));
    const JsonValue& days = *found.Find("ITEM")->Find("days");
    ASSERT_EQ(days.size(), TSyncService::kMaxSearchResults);
    EXPECT_EQ(days.Members().front().first, DateToStr(AddDays(first, held - 1)));
    EXPECT_EQ(days.Members().back().first,
              DateToStr(AddDays(first, held - int(TSyncService::kMaxSearchResults))));
}

TEST_P(SyncService, NothingLeavesBeforeTheStoreHasCommittedIt) {
    Join({{1, "k1"}, {2, "k1"}});
    const auto otherReader = storage_.Open();
    service_.Handle(1, SetDayRequest("k1", "05.01.2021", "x", 1));
    EXPECT_TRUE(service_.HasPending());
    EXPECT_FALSE(otherReader->GetDay(HashAccountKey("k1"), MakeDate(2021, 1, 5)));
    const auto out = service_.Commit();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].To, 2u);
    EXPECT_TRUE(otherReader->GetDay(HashAccountKey("k1"), MakeDate(2021, 1, 5)));
}

TEST_P(SyncService, KeysAreStoredOnlyAsHashes) {
    const std::string key = "my-secret-account-key";
    Send(1, SetNoteRequest(key, "n"));
    Send(1, SetDayRequest(key, "05.01.2021", "d", 1));
    const std::string bytes = storage_.StoredBytes();
    EXPECT_EQ(bytes.find(key), std::string::npos);
    EXPECT_NE(bytes.find(HashAccountKey(key)), std::string::npos);
    EXPECT_EQ(HashAccountKey("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST_P(SyncService, ConnectionFollowsItsKeyAndLeavesWhenDetached) {
    Join({{1, "k1"}, {2, "k1"}, {3, "k1"}});
    Send(2, GetRequest("GET_NOTE", "k2"));
    service_.Detach(3);
    EXPECT_EQ(service_.ConnectionsOnKey("k1"), 1u);
    EXPECT_EQ(service_.ConnectionsOnKey("k2"), 1u);
    EXPECT_TRUE(Send(1, SetNoteRequest("k1", "n")).empty());
}

// A database where every batch that writes one account collides with another writer, however often
// it runs: a store passing everything on to a real one and failing each commit after such a write.
class TCollidingStore final : public TSyncStore {
  public:
    TCollidingStore(TSyncStore& store, std::string account) : store_(store), account_(std::move(account)) {}

    std::optional<std::string> GetPage(const std::string& account, TPage page) override {
        return store_.GetPage(account, page);
    }
    void SetPage(const std::string& account, TPage page, std::string_view html) override {
        collides_ = collides_ || account == account_;
        store_.SetPage(account, page, html);
    }
    std::optional<TDay> GetDay(const std::string& account, Date day) override {
        return store_.GetDay(account, day);
    }
    std::vector<TDay> GetDays(const std::string& account, Date first, Date last) override {
        return store_.GetDays(account, first, last);
    }
    void ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit) override {
        store_.ScanDays(account, visit);
    }
    std::optional<TDay> SetDay(const std::string& account, Date day, std::string_view html,
                               std::int64_t timestamp) override {
        collides_ = collides_ || account == account_;
        return store_.SetDay(account, day, html, timestamp);
    }
    void Commit() override {
        if (std::exchange(collides_, false)) {
            store_.Rollback();
            throw TSyncStoreError("deadlock detected", TSyncStoreError::TKind::Conflict);
        }
        store_.Commit();
    }
    void Rollback() override {
        collides_ = false;
        store_.Rollback();
    }
    bool HasPendingWrites() const override { return store_.HasPendingWrites(); }

  private:
    TSyncStore& store_;
    const std::string account_;
    bool collides_ = false;
};

// One connection's writes keep colliding: they are refused in the end, but the other connections'
// writes of the same batch are kept and pushed, whichever part of the batch they are in.
TEST(SyncServiceCollisions, ABatchPartThatKeepsCollidingRefusesOnlyItsOwnWrites) {
    SetServerLogEnabled(false);
    test::TTestStorage storage(test::TStorageKind::Sqlite);
    const auto real = storage.Open();
    for (const std::size_t troubled : {0u, 1u, 3u}) {
        SCOPED_TRACE(troubled);
        TCollidingStore store(*real, HashAccountKey("trouble"));
        TSyncService service(store);
        const std::vector<std::string> keys = {"k0", "k1", "k2", "k3"};
        // Connection 10 + i writes; 20 + i watches the same account.
        for (std::size_t i = 0; i < keys.size(); ++i) {
            service.Handle(20 + i, GetRequest("GET_NOTE", i == troubled ? "trouble" : keys[i]));
            service.Commit();
        }
        const std::string day = "0" + std::to_string(5 + troubled) + ".01.2021";
        const auto out = service.RunBatch(keys.size(), [&](std::size_t part) {
            service.Handle(10 + part, SetDayRequest(part == troubled ? "trouble" : keys[part], day, "t", 1));
        });
        TInbox inbox;
        for (const TOutMessage& message : out) inbox[message.To].push_back(*message.Text);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string account = HashAccountKey(i == troubled ? "trouble" : keys[i]);
            if (i == troubled) {
                EXPECT_EQ(
                    inbox[10 + i],
                    (std::vector<std::string>{R"({"ACTION":"STATUS","STATUS":6,"REQUEST":"SET_DAY","DAY":")" +
                                              day + R"("})"}));
                EXPECT_TRUE(inbox[20 + i].empty());
                EXPECT_FALSE(real->GetDay(account, *StrToDate(day)));
            } else {
                EXPECT_TRUE(inbox[10 + i].empty());
                EXPECT_EQ(inbox[20 + i].size(), 1u);
                EXPECT_TRUE(real->GetDay(account, *StrToDate(day)));
            }
        }
    }
    SetServerLogEnabled(true);
}

}  // namespace
}  // namespace wl
