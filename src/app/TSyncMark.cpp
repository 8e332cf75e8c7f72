#include "app/TSyncMark.h"

#include <QPainter>

#include "ui/UiLook.h"

namespace wl {

TSyncMark::TSyncMark(QWidget* parent) : QWidget(parent) {
    setObjectName("SyncMark");
    setFixedSize(18, 18);
    setToolTip(Describe(FReachable, FWaiting));
}

QString TSyncMark::Describe(bool reachable, std::size_t waitingDays) {
    const QString service = reachable ? "Сервис синхронизации доступен." : "Сервис синхронизации недоступен.";
    if (waitingDays == 0) {
        return service + (reachable ? " Все изменения отправлены."
                                    : " Изменения сохраняются на этом компьютере и будут отправлены, "
                                      "когда связь восстановится.");
    }
    return service +
           QString(" Ждут отправки изменения за дни: %1. Они сохранены на этом компьютере").arg(waitingDays) +
           (reachable ? " и отправляются." : " и будут отправлены, когда связь восстановится.");
}

void TSyncMark::SetState(bool reachable, std::size_t waitingDays) {
    if (reachable == FReachable && waitingDays == FWaiting) return;
    FReachable = reachable;
    FWaiting = waitingDays;
    setToolTip(Describe(reachable, waitingDays));
    update();
}

void TSyncMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = FWaiting > 0 ? kWeekend : QColor(Qt::white);
    const QPointF centre(width() / 2.0, height() / 2.0);
    if (FReachable) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(centre, 4.5, 4.5);
    } else {
        p.setPen(QPen(colour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 4, 4);
    }
}

}  // namespace wl
