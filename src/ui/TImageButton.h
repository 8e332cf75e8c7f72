#pragma once
// A flat picture button of the program's own look: its picture moves one pixel right and down
// while the button is held, so it looks pressed. An optional caption sits right of the picture and
// an optional fill colour makes it a large rounded button. Under the mouse a filled button lightens
// and a bare one gets a soft rounded backdrop (SetHover picks its colour for the ground it sits on).
#include <QAbstractButton>
#include <QColor>

#include "ui/UiLook.h"

namespace wl {

class TImageButton : public QAbstractButton {
    Q_OBJECT
  public:
    TImageButton(const QString& iconPath, const QString& hint, QWidget* parent);
    void SetFill(const QColor& fill) { FFill = fill; }
    void SetHover(const QColor& hover) { FHover = hover; }
    bool Hovered() const { return FHovered; }
    QSize sizeHint() const override { return {40, 40}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QColor FFill;  // invalid: transparent
    QColor FHover = kHoverOnGreen;
    bool FHovered = false;
};

}  // namespace wl
