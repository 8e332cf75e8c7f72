#include "ui/TWebBrowser.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <optional>
#include <stdexcept>

#include "ui/UiLook.h"

namespace wl {

namespace {

const QUrl kBlank("about:blank");

// Lets through only data that lives inside the page itself; everything else (http, https, file,
// ws, ftp, ...) is blocked so that a stored text cannot load or leak anything.
class TLocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        const bool local = scheme == "data" || scheme == "about" || scheme == "blob";
        if (!local) info.block(true);
    }
};

// One off-the-record profile for every editor: no cookies, cache or history on disk.
QWebEngineProfile* EditorProfile() {
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QCoreApplication::instance());
        p->setUrlRequestInterceptor(new TLocalOnlyInterceptor(p));
        p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->setSpellCheckEnabled(false);
        return p;
    }();
    return profile;
}

// The page stays on its blank document: dropped links or files, and anything a stored text might
// try, never navigate it away (which would also throw away the text being edited).
class TEditorPage : public QWebEnginePage {
  public:
    explicit TEditorPage(QObject* parent) : QWebEnginePage(EditorProfile(), parent) {
        QWebEngineSettings* s = settings();
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
        s->setAttribute(QWebEngineSettings::LinksIncludedInFocusChain, false);
        // Text without a font of its own is written in the program's sans, not the browser's serif.
        for (auto font : {QWebEngineSettings::StandardFont, QWebEngineSettings::SansSerifFont})
            s->setFontFamily(font, SansFamily());
    }
    bool allowNavigation = false;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame) return false;
        const bool ok = allowNavigation && url == kBlank;
        allowNavigation = false;
        return ok;
    }
};

// Design mode, the editors' background, and Enter making paragraphs (as the stored texts do).
const char* kSetUpScript = R"((function () {
  document.designMode = "on";
  document.bgColor = "#f0f0f0";
  document.execCommand("defaultParagraphSeparator", false, "p");
  return true;
})())";

// See LookForChange.
const char* kLookScript =
    "(function (posted, stored, mayLoad) { var b = document.body; var cur = b.innerHTML;"
    " function norm(h) { var d = document.implementation.createHTMLDocument('');"
    " d.body.innerHTML = h; return d.body.innerHTML; }"
    " if (cur !== posted && cur !== norm(posted)) return ['changed', cur];"
    " if (mayLoad && cur !== stored && cur !== norm(stored)) { b.innerHTML = stored;"
    " return ['loaded', b.innerHTML]; }"
    " return ['same', cur]; })(%1, %2, %3)";

QString DesignModeScript(bool readOnly) {
    return QString("document.designMode = \"%1\"; true").arg(readOnly ? "off" : "on");
}

}  // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QWebEngineView(parent) {
    setPage(new TEditorPage(this));
    page()->setBackgroundColor(QColor(kEditorBackground));
    connect(this, &QWebEngineView::loadStarted, this, [this] { FBusy = true; });
    connect(this, &QWebEngineView::loadFinished, this, &TWebBrowser::WebBrowserDocumentComplete);
    connect(page(), &QWebEnginePage::renderProcessTerminated, this, &TWebBrowser::RenderProcessLost);
    Navigate("about:blank");
}

TWebBrowser::~TWebBrowser() {
    FAlive.reset();
}

void TWebBrowser::Navigate(const QString& address) {
    if (QUrl(address) != kBlank) throw std::invalid_argument("the editor shows only about:blank");
    FReady = false;
    FBusy = true;
    static_cast<TEditorPage*>(page())->allowNavigation = true;
    setUrl(kBlank);
}

void TWebBrowser::WebBrowserDocumentComplete(bool ok) {
    FBusy = false;
    if (!ok) return;
    ++FInFlight;
    const QString setUp = FReadOnly ? QString(kSetUpScript) + ";" + DesignModeScript(true) : kSetUpScript;
    page()->runJavaScript(setUp, QWebEngineScript::ApplicationWorld,
                          [this, alive = std::weak_ptr<bool>(FAlive)](const QVariant&) {
                              if (alive.expired()) return;
                              --FInFlight;
                              FReady = true;
                              std::vector<Pending> jobs;
                              jobs.swap(FPending);
                              for (auto& job : jobs) Send(std::move(job));
                              emit DocumentComplete();
                          });
}

void TWebBrowser::RenderProcessLost() {
    FReady = false;
    // A new generation: answers still owed by the dead document are dropped.
    FAlive = std::make_shared<bool>(true);
    FInFlight = 0;
    emit DocumentLost();
    QTimer::singleShot(0, this, [this] { Navigate("about:blank"); });
}

void TWebBrowser::Send(Pending job) {
    if (!FReady) {
        FPending.push_back(std::move(job));
        return;
    }
    ++FInFlight;
    page()->runJavaScript(
        job.script, QWebEngineScript::ApplicationWorld,
        [this, alive = std::weak_ptr<bool>(FAlive), cb = std::move(job.cb)](const QVariant& result) {
            if (alive.expired()) return;
            --FInFlight;
            // No answer (the script failed or the document went away): the caller hears nothing
            // rather than a made-up empty result.
            if (cb && result.isValid()) cb(result);
        });
}

void TWebBrowser::SetReadOnly(bool readOnly) {
    FReadOnly = readOnly;
    RunScript(DesignModeScript(readOnly));
}

void TWebBrowser::RunScript(const QString& script, std::function<void(const QVariant&)> cb) {
    Send({script, std::move(cb)});
}

void TWebBrowser::FocusAtEnd() {
    setFocus(Qt::OtherFocusReason);
    RunScript(
        "(function () {"
        "  const body = document.body;"
        "  body.focus();"
        "  const range = document.createRange();"
        "  range.selectNodeContents(body);"
        "  range.collapse(false);"
        "  const selection = getSelection();"
        "  selection.removeAllRanges();"
        "  selection.addRange(range);"
        "  return true;"
        "})()");
}

void TWebBrowser::LookForChange(const QString& posted, const QString& stored, bool mayLoad,
                                std::function<void(const QString& state, const QString& html)> cb) {
    const QString script =
        QString(kLookScript)
            .arg(JsStringLiteral(posted), JsStringLiteral(stored), mayLoad ? "true" : "false");
    RunScript(script, [cb = std::move(cb)](const QVariant& v) {
        const QVariantList r = v.toList();
        if (r.size() == 2 && cb) cb(r[0].toString(), r[1].toString());
    });
}

void TWebBrowser::ReplaceIfUnchanged(const QString& expect, const QString& next) {
    RunScript(
        QString("(function (expect, next) { var b = document.body; if (b.innerHTML !== expect) return false;"
                " b.innerHTML = next; return true; })(%1, %2)")
            .arg(JsStringLiteral(expect), JsStringLiteral(next)));
}

void TWebBrowser::SetFormatKeys(std::function<TFormatKeys()> keys, std::function<void(const QString&)> run) {
    FFormatKeys = std::move(keys);
    FRunFormat = std::move(run);
}

bool TWebBrowser::event(QEvent* e) {
    // The keys go to the browser's own child widget, which comes and goes with the page.
    if (e->type() == QEvent::ChildAdded) {
        if (QObject* child = static_cast<QChildEvent*>(e)->child(); child && child->isWidgetType())
            child->installEventFilter(this);
    }
    return QWebEngineView::event(e);
}

bool TWebBrowser::eventFilter(QObject* watched, QEvent* e) {
    const bool key = e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride;
    if (!key || !FFormatKeys) return QWebEngineView::eventFilter(watched, e);
    auto* k = static_cast<QKeyEvent*>(e);
    const auto captions =
        FormatKeyCaptions(k->key(), k->modifiers().testFlag(Qt::ControlModifier), FFormatKeys());
    if (captions.empty()) return QWebEngineView::eventFilter(watched, e);
    // The override is accepted so that the press itself comes here, where it is consumed.
    if (e->type() == QEvent::ShortcutOverride) {
        e->accept();
        return true;
    }
    for (const char* c : captions) {
        if (FRunFormat) FRunFormat(QString::fromUtf8(c));
    }
    return true;
}

void TWebBrowser::WhenReady(DoneCallback fn) {
    RunScript("0", [fn = std::move(fn)](const QVariant&) {
        if (fn) fn();
    });
}

void TWebBrowser::GetBodyHtml(TextCallback cb) {
    RunScript("document.body.innerHTML", [cb = std::move(cb)](const QVariant& v) {
        if (cb) cb(v.toString());
    });
}

void TWebBrowser::SetBodyHtml(const QString& html, DoneCallback done) {
    RunScript("document.body.innerHTML = " + JsStringLiteral(html) + "; true",
              [done = std::move(done)](const QVariant&) {
                  if (done) done();
              });
}

void TWebBrowser::AddStyleSheet(const QString& cssText, DoneCallback done) {
    const QString script = "(function () { var s = document.createElement(\"style\"); s.textContent = " +
                           JsStringLiteral(cssText) +
                           "; (document.head || document.documentElement).appendChild(s); return true; })()";
    RunScript(script, [done = std::move(done)](const QVariant&) {
        if (done) done();
    });
}

void TWebBrowser::SelectionType(TextCallback cb) {
    // The browser calls a text selection "Range"; the editors' rule speaks of "Text".
    RunScript("getSelection().type === \"Range\" ? \"Text\" : \"None\"",
              [cb = std::move(cb)](const QVariant& v) {
                  if (cb) cb(v.toString());
              });
}

void TWebBrowser::FormatSelection(const FormatCommand& command, std::function<void(bool applied)> done) {
    const QString script = QString(
                               "(function () { if (getSelection().type !== \"Range\") return false;"
                               " document.execCommand(%1, false, %2); return true; })()")
                               .arg(JsStringLiteral(QString::fromLatin1(command.command)),
                                    FormatValueToJs(command.command, command.value));
    RunScript(script, [done = std::move(done)](const QVariant& v) {
        if (done) done(v.toBool());
    });
}

void TWebBrowser::ExecDocumentCommand(const QString& name) {
    QWebEnginePage::WebAction action;
    if (name == "Copy") {
        action = QWebEnginePage::Copy;
    } else if (name == "Cut") {
        action = QWebEnginePage::Cut;
    } else if (name == "Paste") {
        action = QWebEnginePage::Paste;
    } else {
        throw std::invalid_argument("unknown document command: " + name.toStdString());
    }
    // After everything queued before, so that a selection made by an earlier operation counts.
    WhenReady([this, action] { triggerPageAction(action); });
}

void TWebBrowser::PasteHTML(const QString& html, DoneCallback done) {
    RunScript("document.execCommand(\"insertHTML\", false, " + JsStringLiteral(html) + ")",
              [done = std::move(done)](const QVariant&) {
                  if (done) done();
              });
}

bool TWebBrowser::ClearFormat() {
    QMessageBox box(QMessageBox::Question, QString(), "Очистить форматирование выделенного текста?",
                    QMessageBox::Ok | QMessageBox::Cancel, window());
    box.setObjectName("ClearFormatQuestion");
    if (box.exec() != QMessageBox::Ok) return false;
    FormatSelection(FormatCommandByCaption(kClearFormat));
    return true;
}

void TWebBrowser::CleanUpBackground(std::function<void(bool changed, const QString& html)> cb) {
    GetBodyHtml([this, cb = std::move(cb)](const QString& body) {
        QString html = body;
        const bool changed = CleanEditorBackground(html);
        if (changed) SetBodyHtml(html);
        if (cb) cb(changed, html);
    });
}

void TWebBrowser::SetContextMenu(QMenu* menu, TMenuPlacement placement) {
    FMenu = menu;
    FPlacement = placement;
}

QPoint TWebBrowser::ContextMenuPos(const QPoint& globalPos) const {
    const QScreen* s = QGuiApplication::screenAt(globalPos);
    if (!s) s = screen();
    const QRect area = s->geometry();
    return {globalPos.x(), ContextMenuY(FPlacement, globalPos.y(), area.y() + area.height())};
}

void TWebBrowser::contextMenuEvent(QContextMenuEvent* event) {
    // Qt delivers this only for a press over the surface itself, so the "is the cursor over the
    // surface" test of the window-message world is built in.
    event->accept();
    if (FMenu) FMenu->popup(ContextMenuPos(event->globalPos()));
}

QString TWebBrowser::WaitBodyHtml(int timeoutMs) {
    // Shared with the callback: after a time-out the answer may still arrive later.
    auto answer = std::make_shared<std::optional<QString>>();
    GetBodyHtml([answer](const QString& html) { *answer = html; });
    QElapsedTimer clock;
    clock.start();
    while (!answer->has_value() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return answer->value_or(QString());
}

bool TWebBrowser::WaitIdle(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while ((!FReady || FInFlight > 0 || !FPending.empty()) && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return FReady && FInFlight == 0 && FPending.empty();
}

}  // namespace wl
