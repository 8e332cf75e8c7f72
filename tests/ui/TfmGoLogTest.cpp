// The sync log's password gate and the log window: typed passwords, Enter, "Отмена", the tab
// order and the log lines arriving from another thread.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
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

TEST(GoLogTest, CancelClosesWithoutTheLogAndTheCaretStartsInThePassword) {
    Gate g;
    QWidget* focused = nullptr;
    g.Run([&] {
        focused = g.gate.focusWidget();
        // What is typed straight away lands in the password box.
        for (QChar c : QString("lanternix")) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(g.gate.focusWidget(), &key);
        }
        g.gate.btCancel->click();
    });
    EXPECT_EQ(focused, g.gate.edPass);
    EXPECT_EQ(g.gate.edPass->text(), "lanternix");
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

// What a reader sees on opening the log: the window in the middle of the screen, only the
// client's lines (nothing before them), long lines wrapped, the newest line at the bottom of the
// view, and it stays in view as lines keep arriving.
TEST(SocketLogTest, OpensCentredWrappedAndOnTheNewestLine) {
    TfmSocket log;
    EXPECT_EQ(log.Log->toPlainText(), "");
    std::vector<std::string> lines;
    for (int i = 0; i < 150; ++i) lines.push_back("line " + std::to_string(i));
    lines.push_back("SEND: " + std::string(600, 'x') + " end");
    log.SetLines(lines);
    log.show();
    ASSERT_TRUE(WaitFor([&] { return log.isVisible(); }, 3000));
    Pump(100);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((log.geometry().center() - screen.center()).manhattanLength(), 40)
        << log.geometry().x() << "," << log.geometry().y();
    EXPECT_EQ(log.Log->horizontalScrollBar()->maximum(), 0);

    const auto lastShown = [&] {
        const QPoint bottom(4, log.Log->viewport()->height() - 4);
        return log.Log->cursorForPosition(bottom).block().text();
    };
    EXPECT_TRUE(lastShown().endsWith(" end")) << lastShown().toStdString();
    for (int i = 0; i < 40; ++i) log.AddLine("later " + std::to_string(i));
    Pump(200);
    EXPECT_EQ(lastShown(), "later 39");
}

}  // namespace
}  // namespace wl::test
