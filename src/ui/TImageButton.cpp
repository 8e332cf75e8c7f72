#include "ui/TImageButton.h"

#include <QPainter>

namespace wl {

TImageButton::TImageButton(const QString& iconPath, const QString& hint, QWidget* parent)
    : QAbstractButton(parent) {
    setIcon(QIcon(iconPath));
    setIconSize({24, 24});
    setToolTip(hint);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int shift = isDown() ? 1 : 0;
    p.setPen(Qt::NoPen);
    if (FFill.isValid()) {
        p.setBrush(FHovered ? FFill.lighter(110) : FFill);
        p.drawRoundedRect(rect(), 8, 8);
    } else if (FHovered) {
        p.setBrush(FHover);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    const QSize is = iconSize();
    const QPixmap pix = icon().pixmap(is, devicePixelRatioF());
    QRect iconRect(QPoint(0, 0), is);
    if (text().isEmpty()) {
        iconRect.moveCenter(rect().center());
    } else {
        iconRect.moveTopLeft({16, (height() - is.height()) / 2});
    }
    p.drawPixmap(iconRect.translated(shift, shift), pix);
    if (text().isEmpty()) return;
    p.setPen(Qt::white);
    p.setFont(font());
    const QRect textRect(iconRect.right() + 10, 0, width() - iconRect.right() - 14, height());
    p.drawText(textRect.translated(shift, shift), Qt::AlignVCenter | Qt::AlignLeft, text());
}

void TImageButton::enterEvent(QEnterEvent* event) {
    FHovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TImageButton::leaveEvent(QEvent* event) {
    FHovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace wl
