#pragma once
// One block of the desktop editor overlay: a coloured header with the block's title and date
// above an HTML editing surface. Block 0 edits the notes page, blocks 1 to 7 Monday to Sunday.
// The overlay (TfmEditor) creates, places, loads and saves the eight blocks; the block itself only
// changes the text in its surface (its menu, the template, clearing).
//
// Threads: main thread only.
#include <QColor>
#include <QDate>
#include <QWidget>
#include <functional>
#include <string>

#include "ui/EditingRules.h"

class QLabel;
class QMenu;

namespace wl {

class TWebBrowser;

// What a block needs from the rest of the program; every member may stay empty.
struct TBlockEditorLinks {
    // Member text of the note store ("template" here); empty when missing.
    std::function<std::string(const std::string& key)> StoredText;
    // The confirmation question; true only for OK. Defaults to the program's TfmConfirm.
    std::function<bool(const QString& title, const QString& msg)> Confirm;
    // The formatting keys of the settings, read at each press.
    std::function<TFormatKeys()> FormatKeys;
};

class TfmBlockEditor : public QWidget {
    Q_OBJECT
  public:
    // Design size 284 x 345; the surface starts navigating to "about:blank" at once.
    explicit TfmBlockEditor(QWidget* parent = nullptr, TBlockEditorLinks links = {});

    QDate Date;  // the block's day (block 0 does not use it)

    // Style rules for the surface's document: the text laid out as the wallpaper draws it.
    static QString SurfaceStyle();

    // Header colour: the program's green, #FFCC99 for Saturday and Sunday.
    void SetHeaderColor(const QColor& c);
    // Block 0: the title fills the header, centred, and there is no date.
    void CenterTitleOnly();
    // Bold labels in `family`, or the program's sans when it is not installed.
    void SetLabelFont(const QString& family, int pixelSize);

    void InsertTemplateClick();  // "Вставить шаблон"
    void ClearClick();           // "Очистить"
    void FormatClick(const QString& caption);
    void ClearFormatClick();  // kClearFormat

    QWidget* pHead;
    QLabel* lbTitle;
    QLabel* lbDate;
    TWebBrowser* WebBrowser;
    QMenu* pmBlock;  // the surface's context menu

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildMenu();
    bool Ask(const QString& title, const QString& msg);
    void Guard(const std::function<void()>& action);

    TBlockEditorLinks L;
    bool FTitleOnly = false;
};

}  // namespace wl
