#pragma once
// The HTML editing surface every editor of the program is built on: a browser document in design
// mode whose body's inner HTML is the stored text.
//
// Safety: texts come from the store and from the user's other devices, so nothing in them may run
// or reach the network. Page JavaScript is off; the editor's own scripts run in an isolated world
// (the page cannot see or call them); every request that is not local page data is blocked, and
// the document can never be navigated away from "about:blank".
//
// Threads: main (GUI) thread only. All document operations are asynchronous: they are queued in
// call order, held back until the document is complete, and their callbacks run on the main thread
// in the same order. A read issued after a write therefore always sees the written text.
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <vector>

#include "ui/EditingRules.h"

class QMenu;

namespace wl {

class TWebBrowser : public QWebEngineView {
    Q_OBJECT
  public:
    using TextCallback = std::function<void(const QString&)>;
    using DoneCallback = std::function<void()>;

    // Navigates to "about:blank" at once; the document is set up when it completes.
    explicit TWebBrowser(QWidget* parent = nullptr);
    ~TWebBrowser() override;

    // Only "about:blank" is accepted (throws std::invalid_argument otherwise): the surface never
    // shows anything but its own blank document.
    void Navigate(const QString& address);
    // 4 once the document is complete and set up (design mode on, background "#f0f0f0"), else 1.
    int ReadyState() const { return FReady ? 4 : 1; }
    // True while a navigation runs.
    bool Busy() const { return FBusy; }
    // Read-only: the document leaves design mode (and stays out of it after a reload), so keys
    // and editing commands change nothing; the text can still be read, selected and copied.
    void SetReadOnly(bool readOnly);
    bool ReadOnly() const { return FReadOnly; }
    // Runs fn once the document is ready and every operation queued before has answered.
    void WhenReady(DoneCallback fn);

    // The body's inner HTML, delivered to cb (not called when the document is lost meanwhile).
    void GetBodyHtml(TextCallback cb);
    // Replaces the body's inner HTML.
    void SetBodyHtml(const QString& html, DoneCallback done = {});
    // Adds a style sheet with this text to the document.
    void AddStyleSheet(const QString& cssText, DoneCallback done = {});
    // "Text" when text is selected, otherwise "None".
    void SelectionType(TextCallback cb);
    // Runs one formatting command on the selection, but only when text is selected; done gets
    // whether it ran.
    void FormatSelection(const FormatCommand& command, std::function<void(bool applied)> done = {});
    // "Copy", "Cut" or "Paste" on the document, whatever is selected; other names throw
    // std::invalid_argument. The result is not reported.
    void ExecDocumentCommand(const QString& name);
    // Puts html in place of the selection (at the caret when nothing is selected).
    void PasteHTML(const QString& html, DoneCallback done = {});
    // Asks "Очистить форматирование выделенного текста?" (OK / Cancel) and on OK runs
    // "removeformat" on the selection. Returns whether the user chose OK.
    bool ClearFormat();
    // Removes the editors' own background attribute from the body (see CleanEditorBackground);
    // cb gets whether the body was changed and the body text after the clean-up.
    void CleanUpBackground(std::function<void(bool changed, const QString& html)> cb);

    // The editor's own context menu, shown on a right-button press over the surface at the
    // cursor's X and the Y of the placement rule. Without a menu the surface shows none.
    void SetContextMenu(QMenu* menu, TMenuPlacement placement);
    QMenu* ContextMenu() const { return FMenu; }
    // Where the menu opens for a press at this global position.
    QPoint ContextMenuPos(const QPoint& globalPos) const;

    // The editors' formatting keys: a matching key press is consumed (the surface never sees it)
    // and run gets the caption of each command it stands for ("Жирный", "Зачеркнутый").
    void SetFormatKeys(std::function<TFormatKeys()> keys, std::function<void(const QString& caption)> run);

    // One look for a change-posting tick, done inside the document so that no keystroke can fall
    // between reading and replacing. The body differs from `posted` (the text last loaded or sent):
    // "changed". Otherwise, when mayLoad and the body differs from `stored`: `stored` is put in,
    // "loaded". Otherwise "same". Texts are compared also as the browser writes them back, so a
    // text the editor merely re-serialises never counts as a change. cb gets the state and the
    // body's text afterwards.
    void LookForChange(const QString& posted, const QString& stored, bool mayLoad,
                       std::function<void(const QString& state, const QString& html)> cb);

    // Replaces the body with `next` only while it still holds `expect` (nothing typed since).
    void ReplaceIfUnchanged(const QString& expect, const QString& next);

    // Gives the document the keyboard focus with the caret after its last character (queued, so
    // a text set before is in place first). The view itself takes the widget focus at once.
    void FocusAtEnd();

    // Runs one of the editor's own scripts in the isolated world (queued like every operation).
    void RunScript(const QString& script, std::function<void(const QVariant&)> cb = {});

    // Blocking helpers for tests: they process events until the answer arrives or timeoutMs
    // passes (then give an empty text / false, so an empty text may also mean "no answer").
    QString WaitBodyHtml(int timeoutMs = 10000);
    bool WaitIdle(int timeoutMs = 10000);

  signals:
    // The blank document is complete and set up.
    void DocumentComplete();
    // The browser process behind the document died, taking the document with it. The surface
    // navigates to a fresh blank document at once (DocumentComplete follows); operations queued
    // meanwhile wait for it, and answers the dead document still owed are dropped, never given
    // as an empty text.
    void DocumentLost();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Pending {
        QString script;
        std::function<void(const QVariant&)> cb;
    };
    void WebBrowserDocumentComplete(bool ok);
    void RenderProcessLost();
    void Send(Pending job);

    // Expires when the surface is destroyed, so late answers of the dying page are dropped.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    bool FReady = false;
    bool FReadOnly = false;
    bool FBusy = false;
    int FInFlight = 0;
    std::vector<Pending> FPending;
    QMenu* FMenu = nullptr;
    TMenuPlacement FPlacement = TMenuPlacement::NotesPage;
    std::function<TFormatKeys()> FFormatKeys;
    std::function<void(const QString&)> FRunFormat;
};

}  // namespace wl
