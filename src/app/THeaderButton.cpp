#include "app/THeaderButton.h"

#include <QMouseEvent>

namespace wl {

THeaderButton::THeaderButton(const QString& normal, const QString& highlighted, QWidget* parent)
    : QLabel(parent), FNormal(normal), FHighlight(highlighted) {
    setPixmap(FNormal);
    setFixedSize(24, 25);
    setCursor(Qt::PointingHandCursor);
}

void THeaderButton::enterEvent(QEnterEvent*) {
    FHighlighted = true;
    setPixmap(FHighlight);
}

void THeaderButton::leaveEvent(QEvent*) {
    FHighlighted = false;
    setPixmap(FNormal);
}

void THeaderButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || FPressed) return;
    FPressed = true;
    move(pos() + QPoint(1, 1));
}

void THeaderButton::mouseReleaseEvent(QMouseEvent* event) {
    if (!FPressed) return;
    FPressed = false;
    move(pos() - QPoint(1, 1));
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
        onClick();
}

}  // namespace wl
