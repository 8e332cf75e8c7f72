// The sync log's password gate and the log window: typed passwords, Enter, "Отмена", the tab
// order and the log lines arriving from another thread.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "ui/TfmGoLog.h"
#include "ui/TfmSocket.h"
#include "ui/UiTestSupport.h"

namespace wl::test {
namespace {

struct Gate {
    TfmSocket log;
    TfmGoLog gate{&log};
    std::vector<QString> messages;
    Gate() {
        gate.ShowMessage = [this](const QString& m) { messages.push_back(m); };
    }
    // Opens the gate modally, lets `act` run inside it, and returns whether the gate is still open
    // once `act` is done (it is then closed with "Отмена").
    bool Run(const std::function<void()>& act) {
        bool stillOpen = false;
        QTimer::singleShot(0, [&] {
            WaitFor([&] { return gate.isVisible(); }, 3000);
            act();
            stillOpen = gate.isVisible();
            if (stillOpen) gate.btCancel->click();
        });
        gate.exec();
        return stillOpen;
    }
};

void Press(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

TEST(GoLogTest, TypedPasswordsOpenTheLogOnlyWhenTheyMatchExactly) {
    struct Case {
        QString typed;
        bool enter;  // Enter in the edit instead of clicking "ОК"
        bool opens;
    };
    const Case cases[] = {
        {"lanternix", false, true},  {"  lanternix\t ", false, true}, {"lanternix", true, true},
        {"LANTERNIX", false, false}, {"Lanternix", true, false},      {"lanter nix", false, false},
        {"", false, false},          {"lanternixx", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString() + (c.enter ? " + Enter" : ""));
        Gate g;
        const bool stillOpen = g.Run([&] {
            g.gate.edPass->setText(c.typed);
            if (c.enter) {
                Press(g.gate.edPass, Qt::Key_Return);
            } else {
                g.gate.btOK->click();
            }
        });
        EXPECT_EQ(g.log.isVisible(), c.opens);
        EXPECT_EQ(stillOpen, !c.opens);
        EXPECT_EQ(g.messages, c.opens ? std::vector<QString>{} : std::vector<QString>{"Не верный пароль!"});
        // A wrong password keeps what was typed.
        if (!c.opens) {
            EXPECT_EQ(g.gate.edPass->text(), c.typed);
        }
    }
}

// The next widget that Tab moves to.
QWidget* NextTab(QWidget* w) {
    QWidget* next = w->nextInFocusChain();
    while (next != w && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

TEST(GoLogTest, CancelClosesWithoutTheLogAndTheFocusStartsOnCancel) {
    Gate g;
    QWidget* focused = nullptr;
    g.Run([&] {
        focused = g.gate.focusWidget();
        g.gate.edPass->setText("lanternix");
        g.gate.btCancel->click();
    });
    EXPECT_EQ(focused, g.gate.btCancel);
    EXPECT_FALSE(g.gate.isVisible());
    EXPECT_FALSE(g.log.isVisible());
    EXPECT_EQ(g.gate.windowTitle(), "Авторизация");
    EXPECT_EQ(g.gate.size(), QSize(283, 111));
    // Tab order: "Отмена", the password, "ОК".
    EXPECT_EQ(NextTab(g.gate.btCancel), g.gate.edPass);
    EXPECT_EQ(NextTab(g.gate.edPass), g.gate.btOK);
}

TEST(SocketLogTest, LinesFromOtherThreadsArriveInOrderAndClosingOnlyHides) {
    TfmSocket log;
    log.SetLines({"Log", "first"});
    std::thread writer([&] {
        for (int i = 0; i < 300; ++i) log.AddLine("line " + std::to_string(i));
    });
    writer.join();
    Pump(200);
    const QStringList lines = log.Log->toPlainText().split('\n');
    EXPECT_EQ(lines.size(), TfmSocket::kMaxLines);
    EXPECT_EQ(lines.back(), "line 299");
    log.show();
    log.close();
    EXPECT_FALSE(log.isVisible());
    log.AddLine("while hidden");
    Pump(100);
    EXPECT_TRUE(log.Log->toPlainText().endsWith("while hidden"));
}

}  // namespace
}  // namespace wl::test
