// The listener on a real PostgreSQL: which notifications it hands on, and what it asks for after its
// connection was cut.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <random>

#include "PgTestDatabase.h"
#include "ServerLog.h"
#include "TChangeListener.h"

namespace wl {
namespace {

using namespace std::chrono_literals;
using K = TChangeNotice::TKind;

std::string RandomHex(std::size_t digits) {
    static std::mt19937_64 random{std::random_device{}()};
    std::string text;
    while (text.size() < digits) text += "0123456789abcdef"[random() % 16];
    return text;
}

class PostgresChangeListener : public testing::Test {
  protected:
    void SetUp() override {
        SetServerLogEnabled(false);
        notifier_ = std::make_unique<test::TPgConnection>(test::PgTestUri());
        listener_ = std::make_unique<TChangeListener>(
            test::PgTestUri(), "", own_,
            TChangeListener::THandlers{[this](std::vector<TChangeNotice> batch) { Take(std::move(batch)); },
                                       [this](std::int64_t since) {
                                           std::lock_guard lock(mutex_);
                                           missed_.push_back(since);
                                           changed_.notify_all();
                                       }},
            TListenerBackoff{20ms, 200ms});
        ASSERT_TRUE(WaitFor([&] { return listener_->Connected(); }));
    }
    void TearDown() override {
        listener_.reset();
        SetServerLogEnabled(true);
    }

    // Only this test's account counts: other tests may share the database and its channel.
    void Take(std::vector<TChangeNotice> batch) {
        std::lock_guard lock(mutex_);
        for (auto& notice : batch)
            if (notice.Account == account_) received_.push_back(std::move(notice));
        changed_.notify_all();
    }
    // Polls: Connected() changes without a notification.
    template <class Done>
    bool WaitFor(Done done, std::chrono::milliseconds wait = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, 10ms);
        }
        return true;
    }
    TChangeNotice Notice(const std::string& instance, std::int64_t changed) const {
        return {instance, changed, K::Day, Date{18632}, account_, 0, std::nullopt};
    }
    void Send(const TChangeNotice& notice) {
        notifier_->Notify("weekleaf_changes", FormatChangeNotice(notice));
    }
    std::vector<TChangeNotice> Received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::vector<std::int64_t> Missed() {
        std::lock_guard lock(mutex_);
        return missed_;
    }

    const std::string own_ = RandomHex(16), other_ = RandomHex(16), account_ = RandomHex(64);
    std::unique_ptr<test::TPgConnection> notifier_;
    std::unique_ptr<TChangeListener> listener_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TChangeNotice> received_;
    std::vector<std::int64_t> missed_;
};

TEST_F(PostgresChangeListener, HandsOnEveryChangeInCommitOrderAndDropsMalformedOnes) {
    Send(Notice(own_, 10));
    notifier_->Notify("weekleaf_changes", other_ + " 11 day 18632 " + account_ + " trailing");
    notifier_->Notify("weekleaf_changes", "");
    Send(Notice(other_, 12));
    Send(Notice(other_, 13));
    ASSERT_TRUE(WaitFor([&] { return Received().size() >= 3; }));
    std::this_thread::sleep_for(100ms);  // anything wrongly let through would be here by now
    EXPECT_EQ(Received(), (std::vector{Notice(own_, 10), Notice(other_, 12), Notice(other_, 13)}));
    EXPECT_TRUE(Missed().empty());
}

// A change made while the connection was down is never notified; the listener must ask for it, from
// before the highest number it saw, once it listens again.
TEST_F(PostgresChangeListener, AfterItsConnectionIsCutItListensAgainAndAsksForWhatItMayHaveMissed) {
    constexpr std::int64_t kSeen = 1'000'000'000'000;
    Send(Notice(other_, kSeen));
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 1; }));
    ASSERT_EQ(notifier_->Terminate("weekleaf-sync listener " + own_), 1u);
    ASSERT_TRUE(WaitFor([&] { return !Missed().empty(); }));
    EXPECT_EQ(Missed(), std::vector<std::int64_t>{kSeen - TChangeListener::kResyncSlack});
    ASSERT_TRUE(WaitFor([&] { return listener_->Connected(); }));
    Send(Notice(other_, kSeen + 1));
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 2; }));
    EXPECT_EQ(Received().back(), Notice(other_, kSeen + 1));
}

TEST(ChangeListenerDown, KeepsTryingWhileTheDatabaseIsUnreachableAndStopsPromptly) {
    SetServerLogEnabled(false);
    const auto start = std::chrono::steady_clock::now();
    {
        // Port 1 on loopback: refused at once, so every attempt fails fast.
        TChangeListener listener("postgresql://nobody@127.0.0.1:1/none", "", RandomHex(16), {},
                                 TListenerBackoff{10ms, 50ms});
        std::this_thread::sleep_for(200ms);
        EXPECT_FALSE(listener.Connected());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);  // never held up by the retries
    SetServerLogEnabled(true);
}

}  // namespace
}  // namespace wl
