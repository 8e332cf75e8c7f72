#pragma once
// What the notes page and the template page share: an HTML editing surface over one text of the
// note store that belongs to no day, its formatting menu, the first load, and "OK", which stores
// the text, sends it to the sync service and leaves the page. TfrNote and TfrTemplate add their
// title, buttons and sizes.
//
// Everything here runs on the main thread. The page holds no text of its own: the surface holds
// it until OK stores it, and opening the page again puts the store's text back in.
#include <QWidget>
#include <functional>
#include <string>

class QMenu;

namespace wl {

class TPanelButton;
class TWebBrowser;

// What a text page needs from the rest of the program; members may stay empty (step skipped).
struct TTextPageLinks {
    // The store's current text of the page's member ("note" or "template").
    std::function<std::string()> StoredText;
    // Stores the text and writes Data.json; throws when the write fails (the page then stays open).
    std::function<void(const std::string&)> Store;
    // Sends the stored text to the sync service.
    std::function<void(const std::string&)> Send;
};

class TTextPage : public QWidget {
    Q_OBJECT
  public:
    // surfaceTop: where the surface starts (below the title band, if any); bottomHeight: the
    // band of buttons below it.
    TTextPage(QWidget* parent, TTextPageLinks links, int surfaceTop, int bottomHeight);
    ~TTextPage() override;

    // First load, run by the change-posting tick while the page is visible; only the first call
    // does anything.
    void GoOnceLoadNote();
    bool IsSterted = false;

    // Replaces whatever the surface holds with the store's current text (opening the page).
    void LoadStored();

    // OK: reads the surface, stores, sends, then reports Closed. A failing store keeps the page
    // open with its text and shows the failure.
    void btOKClick();

    TTextPageLinks& Links() { return L; }

    TWebBrowser* WebBrowser;
    QMenu* pmEditor;
    TPanelButton* btOK;

  signals:
    // The page is done (OK stored the text, or Cancel): the main window shows the day page.
    void Closed();
    // OK stored this text (after it was sent).
    void Stored(const QString& html);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // Places the page's own buttons in the bottom band (top y, page width).
    virtual void PlaceButtons(int bandTop) = 0;
    std::string StoredText() const;
    // The stored text as the surface takes it.
    virtual QString ToEditorHtml(const std::string& stored) const { return QString::fromStdString(stored); }
    // A user action; a failure shows a message box and ends only that action.
    bool Guard(const std::function<void()>& action);

  private:
    void BuildMenu();

    TTextPageLinks L;
    int FSurfaceTop, FBottomHeight;
    bool FLoaded = false;  // the store's text was put in at least once
    bool FSaving = false;  // an OK waits for the surface's text; a second click adds nothing
};

}  // namespace wl
