#include "app/TSyncMark.h"

#include <QPainter>
#include <QStringList>

#include "ui/RussianText.h"
#include "ui/UiLook.h"

namespace wl {

TSyncMark::TSyncMark(QWidget* parent) : QWidget(parent) {
    setObjectName("SyncMark");
    setFixedSize(18, 18);
    setToolTip(Describe(FReachable, FWaiting, FWaitingPages));
}

QString TSyncMark::Describe(bool reachable, std::size_t waitingDays, std::size_t waitingPages) {
    // A few short lines, so that the tip stays a small box beside the mark.
    QStringList lines{reachable ? "Сервис синхронизации доступен" : "Сервис синхронизации недоступен"};
    if (waitingDays == 0 && waitingPages == 0) {
        lines << "Все изменения отправлены";
        return lines.join('\n');
    }
    QStringList what;
    if (waitingDays > 0) what << CountOf(waitingDays, "день", "дня", "дней");
    if (waitingPages > 0) what << CountOf(waitingPages, "страница", "страницы", "страниц");
    lines << "Не отправлено: " + what.join(", ");
    if (reachable) {
        lines << "Отправляется";
    } else {
        lines << "Сохранено на этом компьютере"
              << "Уйдёт, когда связь восстановится";
    }
    return lines.join('\n');
}

void TSyncMark::SetState(bool reachable, std::size_t waitingDays, std::size_t waitingPages) {
    if (reachable == FReachable && waitingDays == FWaiting && waitingPages == FWaitingPages) return;
    FReachable = reachable;
    FWaiting = waitingDays;
    FWaitingPages = waitingPages;
    setToolTip(Describe(reachable, waitingDays, waitingPages));
    update();
}

void TSyncMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = FWaiting + FWaitingPages > 0 ? kWeekend : QColor(Qt::white);
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
