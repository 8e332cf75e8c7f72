#pragma once
// The settings menu: a strip of three picture buttons at the top of the page area that switches
// between the template page, the options page and the credits page below it. Choosing a sub-page
// always reloads it (the template from the store, the options from the settings), so unsaved
// changes there are discarded. Owned by the main window's page area; main thread only.
#include <QWidget>
#include <array>
#include <functional>

namespace wl {

class TImageButton;
class TfrTemplate;

// The sub-pages the strip switches between; each may be null (then only the strip changes).
struct TSettingsPages {
    TfrTemplate* Template = nullptr;
    QWidget* Options = nullptr;
    std::function<void()> LoadOptions;  // the options page's LoadSettings
    QWidget* Developers = nullptr;
};

class TfrSettings : public QWidget {
    Q_OBJECT
  public:
    explicit TfrSettings(QWidget* parent = nullptr, TSettingsPages pages = {});

    void btTemplClick();
    void btOptClick();
    void btDevClick();

    // 0 template, 1 options, 2 credits; -1 before the first choice.
    int Selected() const { return FSelected; }
    // Hides the strip and whichever sub-page it shows.
    void HideWithSubPage();

    TImageButton *btTempl, *btOpt, *btDev;

  private:
    void Select(int index);

    TSettingsPages P;
    int FSelected = -1;
};

}  // namespace wl
