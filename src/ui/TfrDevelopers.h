#pragma once
// The credits page of the settings menu: the program's version and the free components it is
// built on, each with its licence, and one "OK" back to the day page. Owned by the main window's
// page area; main thread only.
#include <QWidget>

class QLabel;

namespace wl {

class TPanelButton;

class TfrDevelopers : public QWidget {
    Q_OBJECT
  public:
    // version: the program's version as the header shows it ("3.0.3").
    explicit TfrDevelopers(const QString& version, QWidget* parent = nullptr);

    QLabel* lbText;
    TPanelButton* btOK;

  signals:
    void Closed();

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace wl
