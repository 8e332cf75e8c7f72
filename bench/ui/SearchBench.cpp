// The search as the user meets it: from Enter in the search box to the filled result list, over
// ten years of days of about 1 KB of Cyrillic HTML; the first search without and with the texts
// made ahead (the warm-up that starts when the box takes the focus), and later searches. Then the
// service's answer: 100 matching days this device never had land in the store while the results
// are shown, from the first day stored to the refreshed list.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "../data/TenYears.h"
#include "data/Json.h"
#include "platform/DateText.h"
#include "ui/TCalendarPanel.h"

namespace {

using wl::bench::kDays;
using wl::bench::Median;

wl::JsonValue TenYears() {
    wl::JsonValue doc = wl::JsonValue::MakeObject();
    doc.Set("ver", wl::JsonValue("HTML"));
    const wl::Date first = wl::MakeDate(2015, 1, 1);
    for (int i = 0; i < kDays; ++i)
        doc.Set(wl::DateToStr(wl::AddDays(first, i)), wl::JsonValue(wl::bench::DayHtml(i)));
    return doc;
}

double EnterToList(wl::TCalendarPanel& panel, const QString& query) {
    panel.Search->setText(query);
    QElapsedTimer t;
    t.start();
    panel.SearchInvokeSearch();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    wl::JsonValue store = TenYears();
    auto make = [&store] {
        auto panel = std::make_unique<wl::TCalendarPanel>(nullptr);
        panel->StoreDocument = [&store] { return &store; };
        panel->show();
        return panel;
    };
    std::vector<double> cold, warm, later;
    int hits = 0;
    for (int round = 0; round < 5; ++round) {
        auto panel = make();
        cold.push_back(EnterToList(*panel, "ВРАЧ"));
        auto warmed = make();
        warmed->WarmUpSearch();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 20);
        warm.push_back(EnterToList(*warmed, "ВРАЧ"));
        later.push_back(EnterToList(*warmed, "Тренировка"));
        hits = warmed->lbSearch->count();
    }
    std::vector<double> arrived;
    int refreshed = 0;
    for (int round = 0; round < 5; ++round) {
        auto panel = make();
        panel->WarmUpSearch();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 20);
        EnterToList(*panel, "ВРАЧ");
        QElapsedTimer t;
        t.start();
        const wl::Date first = wl::MakeDate(2000 + round, 1, 1);
        for (int i = 0; i < 100; ++i) {
            store.Set(wl::DateToStr(wl::AddDays(first, i)), wl::JsonValue(wl::bench::DayHtml(i) + " врач"));
            panel->StoreDaysArrived();
        }
        QApplication::processEvents();
        arrived.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        refreshed = panel->lbSearch->count();
    }
    std::printf("search, %d days of ~1 KB Cyrillic HTML, Enter to filled list (median of 5, %d hits):\n",
                kDays, hits);
    std::printf("  first search, texts not made yet: %7.1f ms\n", Median(cold));
    std::printf("  first search after the warm-up  : %7.1f ms   target < 20 ms\n", Median(warm));
    std::printf("  later search                    : %7.1f ms   target < 20 ms\n", Median(later));
    std::printf("  service answer of 100 new days  : %7.1f ms   stored and list refreshed (%d lines)\n",
                Median(arrived), refreshed);
    return 0;
}
