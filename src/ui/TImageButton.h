#pragma once
// A flat picture button of the program's own look: its picture moves one pixel right and down
// while the button is held, so it looks pressed. An optional caption sits right of the picture and
// an optional fill colour makes it a large rounded button.
#include <QAbstractButton>
#include <QColor>

namespace wl {

class TImageButton : public QAbstractButton {
    Q_OBJECT
  public:
    TImageButton(const QString& iconPath, const QString& hint, QWidget* parent);
    void SetFill(const QColor& fill) { FFill = fill; }
    QSize sizeHint() const override { return {40, 40}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor FFill;  // invalid: transparent
};

}  // namespace wl
