#pragma once
// The first-start dialog: four basic settings, asked once on the first run.
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace wl {

class TSettings;

class TfmFirstLunch : public QDialog {
    Q_OBJECT
  public:
    // 323 x 228, borderless, the program's green, centred on the desktop.
    explicit TfmFirstLunch(TSettings& settings, QWidget* parent = nullptr);

    QCheckBox *cbAutorun, *cbDrow, *cbHide, *cbCheckUpdates;
    QPushButton *btOK, *btCancel;

    // "ОК": writes StartWithOS, ShowBloks, HideOnStart and CheckUpdate in this order (each saves
    // Config.ini), sets BlocksVisible, and closes. A write failure is shown and the dialog stays.
    void btOKClick();

  private:
    TSettings& FSettings;
};

}  // namespace wl
