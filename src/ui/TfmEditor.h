#pragma once
// The desktop editor overlay: a borderless window over the wallpaper's block area whose only
// visible parts are eight block editors, each exactly over its block as the drawing places it
// (block 0 the notes page, 1..7 Monday..Sunday of the shown week). Everything else shows the
// desktop: the window's shape is the union of the eight blocks.
//
// Where the session places no window where the program asks (TEditorLinks::FullScreen), the
// overlay is instead a full-screen window that paints the drawn week itself (TfmWeekScreen), on
// the monitor the week is drawn for, with the block editors at the same places on that monitor;
// the navigation bar moves into it while it is open.
//
// Saving: once a second the overlay stores and sends the blocks whose text changed since it was
// loaded or last sent, and nothing at all before every block has received its stored text. A
// block without an unsent edit takes a text another device pushed into the store meanwhile. A
// block whose browser process dies is loaded again from the store and is skipped until then.
//
// Ownership: the navigation bar creates the overlay for one opening and destroys it when the
// editing ends (Finish first). Main thread only.
#include <QDate>
#include <QSize>
#include <QTimer>
#include <array>
#include <functional>
#include <string>

#include "ui/EditingRules.h"
#include "ui/TfmWeekScreen.h"
#include "wallpaper/Blender.h"

namespace wl {

class TfmBlockEditor;

struct TEditorLinks {
    // Member text of the note store ("note", a day key, "template"); empty when missing.
    std::function<std::string(const std::string& key)> StoredText;
    // Stores a block's text under its key and saves Data.json (errors are the store's to log).
    std::function<void(const std::string& key, const std::string& html)> StoreBlock;
    // Sends the notes page (SET_NOTE) or a day (SET_DAY).
    std::function<void(const std::string& html)> SendNote;
    std::function<void(const QDate& day, const std::string& html)> SendDay;
    // Block editors' links: the confirmation question and the formatting keys.
    std::function<bool(const QString& title, const QString& msg)> Confirm;
    std::function<TFormatKeys()> FormatKeys;
    // Label font of the block headers (the settings' Font and FontSize, in points).
    QString FontName = "Tahoma";
    int FontSize = 8;
    // One full-screen window (see above) instead of a window over the block area, on Monitor
    // (nullptr: the primary one); it shows the picture the drawing wrote (the file's current
    // content when the overlay is shown).
    bool FullScreen = false;
    QScreen* Monitor = nullptr;
    QString DrawnWeek;
};

class TfmEditor : public TfmWeekScreen {
    Q_OBJECT
  public:
    // The overlay for a screen of this size (the monitor's, full screen) and the week WeekOffsetDays shows
    // today. Call Fits(screen) first: on a screen smaller than the margins there is no block area.
    TfmEditor(QSize screen, TEditorLinks links);
    ~TfmEditor() override;

    static bool Fits(QSize screen);
    // Left 240, Top 100, width screen - 360, height screen - 250.
    static QRect Geometry(QSize screen);
    // The overlay window in the primary monitor's coordinates: Geometry, or the whole monitor.
    static QRect Frame(QSize screen, bool fullScreen);
    bool FullScreen() const { return L.FullScreen; }

    // Shows the overlay once every block has its stored text (so nothing typed into it can be lost
    // to a loading block and no empty blocks flash up), or after a few seconds whatever happens.
    void ShowWhenLoaded();
    // Gives every block its stored text, once; IsStarted turns true when all eight have it.
    void LoadData();
    // The once-a-second save and send of the changed blocks; also the pushed texts.
    void TimerTimer();
    // The final save: stops the timer, hides the overlay, stores and sends the last edits and
    // then runs done (at once when the blocks never got their texts: nothing is saved then).
    void Finish(std::function<void()> done);

    bool IsStarted() const { return FStarted; }
    // Blocks whose stored text is in (all eight once started, fewer while one is being reloaded).
    int LoadedBlocks() const;
    std::array<TfmBlockEditor*, 8> BlockEditors{};
    QTimer Timer;

  signals:
    // Esc pressed in the overlay: the owner ends the editing.
    void EscPressed();
    // Every block has its stored text.
    void DataLoaded();
    // A tick (or the final save) has handled every block's answer.
    void TickDone();

  private:
    struct Block {
        std::string key;      // "note" or the day key
        bool loaded = false;  // the surface holds the block's stored text (or a later one)
        bool busy = false;    // a tick's look is on its way
        QString posted;       // the text as last loaded or sent, as the browser writes it
        std::string stored;   // the store's text as last loaded or stored from here
    };
    void CreateEditore();
    void LoadBlock(int i);
    void TickBlock(int i, std::function<void()> answered);
    void Send(int i, const std::string& html);
    void FormKeyDown();

    TEditorLinks L;
    QSize FScreen;
    std::array<Block, 8> FBlocks;
    bool FStarted = false;
    bool FLoadAsked = false;
    bool FFinishing = false;
};

}  // namespace wl
