#pragma once
// The notes page: the free notes text of the note store ("note") in an editor under the title
// "Заметки", with "OK" (store, send, back to the day page) and "Отмена" (back without storing).
// Opened by the day page's notes button and the notes hot key; owned by the main window's page
// area, main thread only.
#include "ui/TTextPage.h"

class QLabel;

namespace wl {

class TfrNote : public TTextPage {
    Q_OBJECT
  public:
    explicit TfrNote(QWidget* parent = nullptr, TTextPageLinks links = {});

    // Cancel: nothing is stored or sent; the surface keeps the unsaved text until the next opening.
    void btCancelClick();

    QLabel* lbTitle;
    TPanelButton* btCancel;

  protected:
    void PlaceButtons(int bandTop) override;
};

}  // namespace wl
