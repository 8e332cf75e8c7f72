#pragma once
// A day page wired to an in-memory store and a recorder of sync requests.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/TWebBrowser.h"
#include "ui/TfmConfirm.h"
#include "ui/TfrMain.h"

namespace wl::test {

class DayPageFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        DayChanged = false;
        DayPostedText.clear();
        DayUndoText.clear();
        TDayPageLinks links;
        links.StoredText = [this](const std::string& key) {
            auto it = store.find(key);
            return it == store.end() ? std::string() : it->second;
        };
        links.GetDay = [this](const QDate& d) { requests.push_back("GetDay " + DayKey(d)); };
        links.SetDay = [this](const QDate& d, const std::string& html) {
            requests.push_back("SetDay " + DayKey(d) + " " + html);
        };
        links.GetTemplate = [this] { requests.push_back("GetTemplate"); };
        links.SetTemplate = [this](const std::string& html) { requests.push_back("SetTemplate " + html); };
        links.CalendarDate = [this] { return calendar; };
        links.SetCalendarDate = [this](const QDate& d) { calendar = d; };
        links.StoreDay = [this](const QDate& d, const std::string& html) {
            store[DayKey(d)] = html;
            storedEdits.push_back(DayKey(d) + " " + html);
        };
        page = std::make_unique<TfrMain>(nullptr, std::move(links));
        page->show();
        ASSERT_TRUE(page->WebBrowser->WaitIdle());
    }

    TWebBrowser& Editor() { return *page->WebBrowser; }
    QString Html() { return Editor().WaitBodyHtml(); }
    void Show(const QDate& d) {
        page->SetDate(d);
        Editor().WaitIdle();
    }
    // The action of the editor's context menu (or its size sub-menu) with this caption.
    QAction* MenuItem(const QString& caption) {
        for (QAction* a : page->pmEditor->findChildren<QAction*>()) {
            if (a->text() == caption) return a;
        }
        ADD_FAILURE() << "no menu item " << caption.toStdString();
        return nullptr;
    }
    void Trigger(const QString& caption) {
        if (QAction* a = MenuItem(caption)) a->trigger();
        Editor().WaitIdle();
    }
    // Answers the next confirmation question once it shows (it may come from an answer of the
    // page's document, a moment later); its title and message are kept in `asked`.
    void AnswerConfirm(bool ok) {
        auto* poll = new QTimer();
        auto tries = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, [this, ok, poll, tries] {
            auto* dlg = qobject_cast<TfmConfirm*>(QApplication::activeModalWidget());
            if (!dlg) {
                if (++*tries > 250) {
                    ADD_FAILURE() << "no confirmation shown";
                    poll->deleteLater();
                }
                return;
            }
            asked = dlg->Title->text() + "|" + dlg->Msg->text();
            (ok ? dlg->btOK : dlg->btCancel)->click();
            poll->stop();
            poll->deleteLater();
        });
        poll->start(20);
    }
    size_t Count(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& r : requests) n += r.rfind(prefix, 0) == 0;
        return n;
    }

    std::map<std::string, std::string> store;
    std::vector<std::string> requests;
    std::vector<std::string> storedEdits;
    QDate calendar;
    QString asked;
    std::unique_ptr<TfrMain> page;
};

}  // namespace wl::test
