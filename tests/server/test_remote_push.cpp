// Changes another instance committed: who here receives them, with which text, and that a store that
// cannot be read is reported rather than taken as "nothing to push".
#include <gtest/gtest.h>

#include <map>

#include "ClientRequests.h"
#include "KeyHash.h"
#include "ServerLog.h"
#include "TSyncService.h"
#include "TestStorage.h"

namespace wl {
namespace {

using TInbox = std::map<TConnectionId, std::vector<std::string>>;
using K = TChangeNotice::TKind;

const std::string kOwn = "00000000000000a1";    // this instance's store
const std::string kOther = "00000000000000b2";  // another instance

class RemotePush : public testing::TestWithParam<test::TStorageKind> {
  protected:
    RemotePush() {
        SetServerLogEnabled(false);
        for (const auto& [connection, key] :
             std::map<TConnectionId, std::string>{{1, "k1"}, {2, "k1"}, {3, "k2"}})
            service_.Handle(connection, test::GetRequest("GET_NOTE", key));
        service_.Commit();
    }
    ~RemotePush() override { SetServerLogEnabled(true); }

    // What another instance's write leaves in the shared store: the row, without any push here.
    void WriteElsewhere(const std::string& key, const std::string& day, const std::string& html,
                        long long ts) {
        service_.Handle(99, test::SetDayRequest(key, day, html, ts), TReplies::Skip);
        service_.Detach(99);
        service_.Commit();
    }
    static TChangeNotice Notice(const std::string& key, K kind, Date day = {}, std::int64_t changed = 1) {
        return {kOther, changed, kind, kind == K::Day ? day : Date{}, HashAccountKey(key), 0, std::nullopt};
    }
    TInbox Delivered() {
        TInbox inbox;
        for (const TOutMessage& message : service_.Commit()) {
            EXPECT_TRUE(message.Push);
            inbox[message.To].push_back(*message.Text);
        }
        return inbox;
    }

    test::TTestStorage storage_{GetParam()};
    std::unique_ptr<TSyncStore> store_ = storage_.Open();
    TSyncService service_{
        *store_, TServiceClock{
                     [] { return MakeDate(2021, 1, 6); },
                     [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1609900000)); }}};
};

TEST_P(RemotePush, EveryConnectionOnTheAccountGetsTheStoredTextAsALocalWriteWouldPushIt) {
    WriteElsewhere("k1", "05.01.2021", "<p>from B</p>", 1609840000);
    service_.Handle(1, test::SetNoteRequest("k1", "note \"B\""));  // a page written here, then elsewhere
    service_.Commit();
    ASSERT_TRUE(service_.PushRemoteChanges(
        {Notice("k1", K::Day, MakeDate(2021, 1, 5)), Notice("k1", K::Note), Notice("k2", K::Template)}));
    const std::string day =
        R"({"ACTION":"UPDATE_DAY","05.01.2021":"<p>from B</p>","timestamp":"1609840000"})";
    const std::string note = R"({"ACTION":"UPDATE_NOTE","note":"note \"B\""})";
    // k2 holds no template: nothing to push, and no empty text that would blank the device's own.
    EXPECT_EQ(Delivered(), (TInbox{{1, {day, note}}, {2, {day, note}}}));
}

TEST_P(RemotePush, AChangeListedTwiceGoesOutOnceWithTheNewestText) {
    WriteElsewhere("k1", "05.01.2021", "first", 1609840000);
    WriteElsewhere("k1", "05.01.2021", "second", 1609840001);
    ASSERT_TRUE(service_.PushRemoteChanges(
        {Notice("k1", K::Day, MakeDate(2021, 1, 5), 1), Notice("k1", K::Day, MakeDate(2021, 1, 5), 2)}));
    const std::string day = R"({"ACTION":"UPDATE_DAY","05.01.2021":"second","timestamp":"1609840001"})";
    EXPECT_EQ(Delivered(), (TInbox{{1, {day}}, {2, {day}}}));
}

// A small text travels in the notice: it is pushed as it came, the store is not asked (here it holds
// nothing at all), and of one place's notices only the last, newest one goes out.
TEST_P(RemotePush, ACarriedTextIsPushedAsItCameAndOnlyThePlacesLastOne) {
    auto day = Notice("k1", K::Day, MakeDate(2021, 1, 5), 1);
    day.Text = "older";
    day.Timestamp = 1609840000;
    auto newer = day;
    newer.Changed = 2;
    newer.Text = "newer";
    newer.Timestamp = 1609840001;
    auto note = Notice("k1", K::Note, {}, 3);
    note.Text = "";
    ASSERT_TRUE(service_.PushRemoteChanges({day, note, newer}));
    const std::string pushedNote = R"({"ACTION":"UPDATE_NOTE","note":""})";
    const std::string pushedDay = R"({"ACTION":"UPDATE_DAY","05.01.2021":"newer","timestamp":"1609840001"})";
    EXPECT_EQ(Delivered(), (TInbox{{1, {pushedNote, pushedDay}}, {2, {pushedNote, pushedDay}}}));
}

// Device 1 here writes the day after the other instance did, but the other's notice comes in only
// now: its text is older than what the devices here hold and must not replace it. Once this
// instance's own notice has come by, a later carried text of the other instance is current again.
TEST_P(RemotePush, ACarriedTextOvertakenByAWriteHereIsNotPushed) {
    service_.JoinInstances(kOwn, {});
    service_.Handle(1, test::SetDayRequest("k1", "05.01.2021", "mine", 1609840000));
    service_.Commit();
    auto theirs = Notice("k1", K::Day, MakeDate(2021, 1, 5), 5);
    theirs.Text = "theirs, older";
    auto mine = Notice("k1", K::Day, MakeDate(2021, 1, 5), 6);
    mine.Instance = kOwn;
    ASSERT_TRUE(service_.PushRemoteChanges({theirs}));
    EXPECT_TRUE(Delivered().empty());

    auto later = theirs;
    later.Changed = 7;
    later.Text = "theirs, later";
    ASSERT_TRUE(service_.PushRemoteChanges({mine, later}));
    const std::string day = R"({"ACTION":"UPDATE_DAY","05.01.2021":"theirs, later","timestamp":"0"})";
    EXPECT_EQ(Delivered(), (TInbox{{1, {day}}, {2, {day}}}));
}

TEST_P(RemotePush, AccountsWithoutConnectionsHereGetNothing) {
    WriteElsewhere("k9", "05.01.2021", "x", 1609840000);
    service_.Detach(3);
    WriteElsewhere("k2", "05.01.2021", "y", 1609840000);
    ASSERT_TRUE(service_.PushRemoteChanges(
        {Notice("k9", K::Day, MakeDate(2021, 1, 5)), Notice("k2", K::Day, MakeDate(2021, 1, 5))}));
    EXPECT_TRUE(Delivered().empty());
}

TEST_P(RemotePush, MissedChangesAreReadFromTheGivenSinceAndPushed) {
    WriteElsewhere("k2", "06.01.2021", "missed", 1609840000);
    std::vector<std::int64_t> asked;
    service_.JoinInstances(kOwn, [&](std::int64_t since) {
        asked.push_back(since);
        return std::vector<TChangeNotice>{Notice("k2", K::Day, MakeDate(2021, 1, 6), since + 1)};
    });
    ASSERT_TRUE(service_.PushChangesSince(41));
    EXPECT_EQ(asked, std::vector<std::int64_t>{41});
    EXPECT_EQ(Delivered(),
              (TInbox{{3, {R"({"ACTION":"UPDATE_DAY","06.01.2021":"missed","timestamp":"1609840000"})"}}}));
}

TEST_P(RemotePush, AStoreThatCannotBeReadIsReportedSoTheChangesAreReadAgainLater) {
    service_.JoinInstances(kOwn, [](std::int64_t) -> std::vector<TChangeNotice> {
        throw TSyncStoreError("server closed the connection");
    });
    EXPECT_FALSE(service_.PushChangesSince(7));
    EXPECT_TRUE(Delivered().empty());
}

INSTANTIATE_TEST_SUITE_P(Storages, RemotePush, test::AllStorages(), test::StorageName);

}  // namespace
}  // namespace wl
