#include "ui/TPanelButton.h"

#include <QPainter>

#include "ui/UiLook.h"

namespace wl {

TPanelButton::TPanelButton(const QString& caption, QWidget* parent) : QAbstractButton(parent), FFill(kGreen) {
    setText(caption);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFont(UiFont("Comic Sans MS", 13, true));
}

void TPanelButton::SetColors(const QColor& fill, const QColor& text, const QColor& hoverText) {
    FFill = fill;
    FText = text;
    FHoverText = hoverText;
    update();
}

void TPanelButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), isEnabled() ? FFill : FFill.lighter(130));
    const int shift = FPressShift && isDown() ? 1 : 0;
    p.setPen(TextColor());
    p.setFont(font());
    p.drawText(rect().translated(shift, shift), Qt::AlignCenter, text());
}

void TPanelButton::enterEvent(QEnterEvent* event) {
    FHovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TPanelButton::leaveEvent(QEvent* event) {
    FHovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace wl
