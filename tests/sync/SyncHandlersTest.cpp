// What the service sends, applied to a real note store (single thread: the handlers are called
// where the executor would run them). Also the sync log lines and the reconnect log.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "data/TWeekleaf.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

struct RecordedEvents : TSyncEvents {
    void NotePreviewChanged(const std::string& text) override { previews.push_back(text); }
    void DayUpdated(Date day, const std::string& html) override { days.emplace_back(DateToStr(day), html); }
    std::vector<std::string> previews;
    std::vector<std::pair<std::string, std::string>> days;
};

class SyncHandlers : public testing::Test {
  protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/wl-sync-XXXXXX";
        dir = mkdtemp(dirTemplate);
        std::ofstream(dir / "Data.json", std::ios::binary)
            << R"({"ver":"HTML","note":"old note","template":"old tpl","04.01.2021":"old mon","06.01.2021":"keep"})"
            << "\r\n";
        store = std::make_unique<TWeekleaf>(dir / "Data.json");
        // Port 1: nobody listens, the creation logs the refusal and goes on.
        socket = std::make_unique<TWLSocket>(
            *store, [] { return std::string("k1"); }, [](std::function<void()> f) { f(); }, log, &events,
            "127.0.0.1", 1);
    }
    void TearDown() override {
        socket.reset();
        fs::remove_all(dir);
    }

    // Log lines without their date and time.
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const auto& line : log.Lines()) {
            auto at = line.find(": ");
            out.push_back(line.substr(at + 2));
        }
        return out;
    }
    std::string Saved(const std::string& key) { return TWeekleaf(dir / "Data.json").Get(key); }
    std::string LastMessage() { return Messages().back(); }

    fs::path dir;
    std::unique_ptr<TWeekleaf> store;
    TSyncLogMemo log;
    RecordedEvents events;
    std::unique_ptr<TWLSocket> socket;
};

TEST_F(SyncHandlers, CreationLogsTheRefusedConnection) {
    // Nothing before the client's own first line.
    auto lines = Messages();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Socket.Create: Connect to 127.0.0.1:1 failed: Connection refused");
    // "<dd.mm.yyyy> <H:mm:ss>: <message>"
    const std::string line = log.Lines()[0];
    EXPECT_EQ(line.substr(2, 1), ".");
    EXPECT_EQ(line.substr(5, 1), ".");
    EXPECT_NE(line.find(": Socket.Create: "), std::string::npos);
}

TEST_F(SyncHandlers, CurrentWeekReplacesNoteTemplateAndItsDays) {
    socket->FromServTextData(
        R"({"ACTION":"RES_GET_CURRENT_WEEK","STATUS":0,"ITEM":{"note":"<p>Заметки &amp; план</p>","template":"<p>T</p>",)"
        R"("days":{"04.01.2021":"<b>Mon</b>","05.01.2021":""}}})");
    EXPECT_EQ(store->Get("note"), "<p>Заметки &amp; план</p>");
    EXPECT_EQ(store->Get("template"), "<p>T</p>");
    EXPECT_EQ(store->Get("04.01.2021"), "<b>Mon</b>");
    EXPECT_TRUE(store->JO.Has("05.01.2021"));
    EXPECT_EQ(store->Get("06.01.2021"), "keep");
    // Saved to disk.
    EXPECT_EQ(Saved("04.01.2021"), "<b>Mon</b>");
    EXPECT_EQ(Saved("note"), "<p>Заметки &amp; план</p>");
    ASSERT_EQ(events.previews.size(), 1u);
    EXPECT_EQ(events.previews[0], "Заметки & план");
    ASSERT_EQ(events.days.size(), 2u);
    EXPECT_EQ(events.days[0], (std::pair<std::string, std::string>("04.01.2021", "<b>Mon</b>")));
    auto lines = Messages();
    EXPECT_EQ(lines[1].rfind("TWLSocket.FromServTextData | {\"ACTION\":\"RES_GET_CURRENT_WEEK\"", 0), 0u);
    EXPECT_EQ(lines[2].rfind("TWLSocket.UpdateCurrentWeek | {\"note\":", 0), 0u);
    EXPECT_EQ(lines[3], "TWLSocket.UpdateNote | <p>Заметки &amp; план</p>");
    EXPECT_EQ(lines[4], "TWLSocket.UpdateTemplate | <p>T</p>");
    EXPECT_EQ(lines[5], "TWLSocket.UpdateDay | <b>Mon</b>");
    EXPECT_EQ(lines[6], "TWLSocket.UpdateDay | ");
}

TEST_F(SyncHandlers, PagesAWeekDoesNotCarryAreKept) {
    socket->FromServTextData(R"({"ACTION":"RES_GET_CURRENT_WEEK","ITEM":{"template":"new tpl"}})");
    EXPECT_EQ(store->Get("note"), "old note");
    EXPECT_EQ(store->Get("template"), "new tpl");
    socket->FromServTextData(R"({"ACTION":"RES_GET_CURRENT_WEEK","STATUS":3})");
    EXPECT_EQ(store->Get("note"), "old note");
    EXPECT_EQ(store->Get("template"), "new tpl");
    EXPECT_EQ(store->Get("04.01.2021"), "old mon");
}

TEST_F(SyncHandlers, PushedWeekHasTheShapeOfTheReply) {
    socket->FromServTextData(
        R"({"ACTION":"UPDATE_CURRENT_WEEK","ITEM":{"note":"n2","days":{"06.01.2021":"w"}}})");
    EXPECT_EQ(store->Get("note"), "n2");
    EXPECT_EQ(store->Get("06.01.2021"), "w");
}

TEST_F(SyncHandlers, DaysRangeSetsItsDaysAndKeepsTheOthers) {
    std::string days;
    for (int d = 4; d <= 10; ++d)
        days += (days.empty() ? "" : ",") + std::string("\"") + (d < 10 ? "0" : "") + std::to_string(d) +
                ".01.2021\":\"d" + std::to_string(d) + "\"";
    socket->FromServTextData(R"({"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"days":{)" + days + "}}}");
    for (int d = 4; d <= 10; ++d) {
        std::string key = (d < 10 ? "0" : "") + std::to_string(d) + ".01.2021";
        EXPECT_EQ(Saved(key), "d" + std::to_string(d));
    }
    EXPECT_EQ(events.days.size(), 7u);
    EXPECT_EQ(store->Get("note"), "old note");
}

TEST_F(SyncHandlers, ABadDayNameStopsTheRangeAfterTheDaysBeforeIt) {
    socket->FromServTextData(
        R"({"ACTION":"RES_GET_DAYS_RANGE","ITEM":{"days":{"04.01.2021":"a","05.01.2021":"b","oops":"c","07.01.2021":"d"}}})");
    EXPECT_EQ(store->Get("04.01.2021"), "a");
    EXPECT_EQ(store->Get("05.01.2021"), "b");
    EXPECT_FALSE(store->JO.Has("07.01.2021"));
    EXPECT_EQ(LastMessage(), "TWLSocket.UpdateDaysRange exception| 'oops' is not a valid date");
}

TEST_F(SyncHandlers, DayIsTheSecondMember) {
    socket->FromServTextData(R"({"ACTION":"UPDATE_DAY","05.01.2021":"<i>x</i>","timestamp":"5"})");
    EXPECT_EQ(Saved("05.01.2021"), "<i>x</i>");
    socket->FromServTextData(R"({"ACTION":"RES_GET_DAY","04.01.2021":""})");
    EXPECT_EQ(Saved("04.01.2021"), "");
    EXPECT_TRUE(store->JO.Has("04.01.2021"));
    socket->FromServTextData(R"({"ACTION":"UPDATE_DAY","STATUS":0,"05.01.2021":"y"})");
    EXPECT_EQ(LastMessage(), "FromServTextData exception: 'STATUS' is not a valid date");
    socket->FromServTextData(R"({"ACTION":"UPDATE_DAY"})");
    EXPECT_EQ(LastMessage(), "FromServTextData exception: 'ITEM' is not a valid date");
    EXPECT_EQ(store->Get("05.01.2021"), "<i>x</i>");
}

TEST_F(SyncHandlers, PagesArePushedOnTheirOwn) {
    socket->FromServTextData(R"({"ACTION":"UPDATE_NOTE","note":"<p>N</p>"})");
    socket->FromServTextData(R"({"ACTION":"UPDATE_TEMPLATE","template":"<p>T</p>"})");
    EXPECT_EQ(Saved("note"), "<p>N</p>");
    EXPECT_EQ(Saved("template"), "<p>T</p>");
    EXPECT_EQ(events.previews, std::vector<std::string>{"N"});
    socket->FromServTextData(R"({"ACTION":"UPDATE_NOTE"})");  // carries no note: nothing changes
    EXPECT_EQ(store->Get("note"), "<p>N</p>");
}

struct Rejected {
    const char* name;
    std::string message;
    std::string lastLog;  // the start of the last log line; empty: no line after the message's own
};

class RejectedMessage : public SyncHandlers, public testing::WithParamInterface<Rejected> {};

TEST_P(RejectedMessage, ChangesNothing) {
    const std::string before = SerializeJson(store->JO);
    socket->FromServTextData(GetParam().message);
    EXPECT_EQ(SerializeJson(store->JO), before);
    EXPECT_TRUE(events.days.empty());
    auto lines = Messages();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "TWLSocket.FromServTextData | " + GetParam().message);
    if (GetParam().lastLog.empty()) {
        EXPECT_EQ(lines.size(), 2u);
    } else {
        EXPECT_EQ(lines.back().substr(0, GetParam().lastLog.size()), GetParam().lastLog);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, RejectedMessage,
    testing::Values(Rejected{"statusString", R"({"ACTION":"UPDATE_DAY","STATUS":"0","05.01.2021":"x"})",
                             "FromServTextData exception: \"STATUS\" is not an integer"},
                    Rejected{"statusFraction", R"({"ACTION":"UPDATE_NOTE","STATUS":1.5,"note":"x"})",
                             "FromServTextData exception: \"STATUS\" is not an integer"},
                    Rejected{"otherCase", R"({"ACTION":"update_day","05.01.2021":"x"})", ""},
                    Rejected{"unknownAction", R"({"ACTION":"RES_GET_SEARCH","STATUS":7,"ITEM":{}})", ""},
                    Rejected{"notJson", "{\"ACTION\":", "FromServTextData exception: "},
                    Rejected{"array", "[1,2]", "FromServTextData exception: not a JSON object"},
                    Rejected{"emptyText", "", ""},
                    Rejected{"dayNotText", R"({"ACTION":"UPDATE_DAY","05.01.2021":{"x":1}})",
                             "FromServTextData exception: \"05.01.2021\" is not a text"},
                    Rejected{"weekNotObject", R"({"ACTION":"RES_GET_CURRENT_WEEK","ITEM":5})",
                             "TWLSocket.UpdateCurrentWeek exception| not a JSON object: 5"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyncHandlers, ReconnectWhileUnreachableLogsOneLinePerTryAndTheLogStaysCapped) {
    for (int i = 0; i < 250; ++i) EXPECT_FALSE(socket->ReConnect());
    auto lines = Messages();
    EXPECT_EQ(lines.size(), TSyncLogMemo::kMaxLines);
    EXPECT_EQ(lines.back(), "Socket.ReConnect: Connect to 127.0.0.1:1 failed: Connection refused");
    EXPECT_EQ(lines.front(), "Socket.ReConnect: Connect to 127.0.0.1:1 failed: Connection refused");
}

TEST_F(SyncHandlers, RequestsWithoutAConnectionAreLoggedThenFail) {
    EXPECT_THROW(socket->GetDay(MakeDate(2021, 1, 5)), EWebSocketHandleError);
    EXPECT_EQ(LastMessage(), R"({"ACTION": "GET_DAY","KEY"   : "k1","DAY"   : "05.01.2021"})");
    EXPECT_THROW(socket->SetNote("x"), EWebSocketHandleError);
    EXPECT_EQ(LastMessage(), R"(SetNote {"ACTION":"SET_NOTE","KEY":"k1","note":"x"})");
}

}  // namespace
}  // namespace wl
