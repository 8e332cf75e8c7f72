#pragma once
// What a person does to an editor, done from a test: typing, selecting, waiting for the page.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QString>
#include <QWidget>
#include <functional>

#include "ui/TWebBrowser.h"

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace wl::test {

// Processes events until pred holds or timeoutMs passes; gives pred's last value.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < timeoutMs) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

inline void Pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The widget that takes the browser's keyboard input.
inline QWidget* KeyTarget(TWebBrowser& view) {
    return view.focusProxy() ? view.focusProxy() : &view;
}

inline void PressKey(TWebBrowser& view, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                     const QString& text = {}) {
    QWidget* target = KeyTarget(view);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

// Types text key by key, Cyrillic included (each event carries its text).
inline void TypeText(TWebBrowser& view, const QString& text) {
    for (QChar c : text) {
        const int key =
            c.isLetterOrNumber() && c.unicode() < 128 ? int(c.toUpper().unicode()) : int(Qt::Key_unknown);
        PressKey(view, c == QChar(u' ') ? int(Qt::Key_Space) : key, Qt::NoModifier, QString(c));
    }
    view.WaitIdle();
    Pump(50);
}

// Puts the caret at the end of the body and gives the page the keyboard focus.
inline void FocusEnd(TWebBrowser& view) {
    view.FocusAtEnd();
    view.WaitIdle();
}

// Selects the first occurrence of word in the body's text.
inline bool SelectWord(TWebBrowser& view, const QString& word) {
    bool found = false;
    view.RunScript(
        "(function (w) { var t = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT); var n;"
        " while ((n = t.nextNode())) { var i = n.data.indexOf(w); if (i >= 0) {"
        " var r = document.createRange(); r.setStart(n, i); r.setEnd(n, i + w.length);"
        " var s = getSelection(); s.removeAllRanges(); s.addRange(r); return true; } } return false; })(" +
            JsStringLiteral(word) + ")",
        [&found](const QVariant& v) { found = v.toBool(); });
    view.WaitIdle();
    return found;
}

// Key events reach the page on their own channel, after any script sent meanwhile: wait until the
// page's selection really holds `text` before acting on it.
inline bool WaitSelectedText(TWebBrowser& view, const QString& text, int timeoutMs = 5000) {
    return WaitFor(
        [&] {
            QString selected;
            view.RunScript("getSelection().toString()",
                           [&selected](const QVariant& v) { selected = v.toString(); });
            view.WaitIdle();
            return selected == text;
        },
        timeoutMs);
}

inline void CollapseSelection(TWebBrowser& view) {
    view.RunScript("(function () { getSelection().collapseToStart(); return true; })()");
    view.WaitIdle();
}

// Loads html into a ready surface and waits until it is there.
inline QString Load(TWebBrowser& view, const QString& html) {
    view.SetBodyHtml(html);
    return view.WaitBodyHtml();
}

}  // namespace wl::test
