#include "ui/TfmWeekScreen.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace wl {

TfmWeekScreen::TfmWeekScreen() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

TfmWeekScreen::TfmWeekScreen(QScreen* monitor, QString drawnWeek) : TfmWeekScreen() {
    setWindowTitle("Weekleaf Week");
    Cover(monitor, std::move(drawnWeek));
}

void TfmWeekScreen::Cover(QScreen* monitor, QString drawnWeek) {
    FPath = std::move(drawnWeek);
    if (!monitor) monitor = QGuiApplication::primaryScreen();
    if (!monitor) return;
    setScreen(monitor);
    setGeometry(monitor->geometry());
}

void TfmWeekScreen::Reload() {
    if (FPath.isEmpty()) return;
    const QDateTime written = QFileInfo(FPath).lastModified();
    if (!FWeek.isNull() && written == FRead) return;
    FRead = written;
    // An unreadable picture leaves the last one (or the plain background) in place.
    QImage week(FPath);
    if (week.isNull()) return;
    FWeek = std::move(week);
    update();
}

void TfmWeekScreen::ShowFullScreen() {
    Reload();
    showFullScreen();
    raise();
    activateWindow();
}

void TfmWeekScreen::paintEvent(QPaintEvent* event) {
    if (FWeek.isNull()) return QWidget::paintEvent(event);
    QPainter p(this);
    p.drawImage(rect(), FWeek);
}

void TfmWeekScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit Shown();
}

void TfmWeekScreen::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit Closed();
}

}  // namespace wl
