#pragma once
// The template page: the day template of the note store ("template") in an editor below the
// settings menu's strip, with one "OK" (store, send, back to the day page). Opened by the settings
// menu's template button and the template hot key; owned by the main window's page area, main
// thread only.
#include "ui/TTextPage.h"

namespace wl {

class TfrTemplate : public TTextPage {
    Q_OBJECT
  public:
    explicit TfrTemplate(QWidget* parent = nullptr, TTextPageLinks links = {});

  protected:
    void PlaceButtons(int bandTop) override;
    // A template kept as plain text (the first-run default is) keeps its lines here too.
    QString ToEditorHtml(const std::string& stored) const override;
};

}  // namespace wl
