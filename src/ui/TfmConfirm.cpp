#include "ui/TfmConfirm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "ui/UiLook.h"

namespace wl {

namespace {

QPushButton* MakeButton(const QString& text, QWidget* parent, int x, int y) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, 105, 33);
    b->setCursor(Qt::PointingHandCursor);
    b->setFlat(true);
    b->setFont(UiFont("Comic Sans MS", 13));
    b->setStyleSheet(QString("QPushButton { background: %1; color: black; border: none; }"
                             "QPushButton:hover { color: white; }")
                         .arg(kGreen.name()));
    return b;
}

}  // namespace

TfmConfirm::TfmConfirm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("fmConfirm");
    setWindowTitle("Weekleaf");
    setFixedSize(389, 170);
    setAutoFillBackground(true);
    QPalette frame = palette();
    frame.setColor(QPalette::Window, kDarkGreen);
    setPalette(frame);

    auto* inner = new QFrame(this);
    inner->setGeometry(2, 2, 389 - 4, 170 - 4);
    inner->setAutoFillBackground(true);
    QPalette face = inner->palette();
    face.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    inner->setPalette(face);

    Title = new QLabel(inner);
    Title->setObjectName("Title");
    Title->setGeometry(14, 8, 360, 26);
    Title->setFont(UiFont("Comic Sans MS", 16));

    Msg = new QLabel(inner);
    Msg->setObjectName("Msg");
    Msg->setGeometry(16, 38, 321, 81);
    Msg->setFont(UiFont("Comic Sans MS", 13));
    Msg->setWordWrap(true);
    Msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Msg->setTextInteractionFlags(Qt::NoTextInteraction);

    btOK = MakeButton("OK", inner, 70, 124);
    btOK->setObjectName("btOK");
    btCancel = MakeButton("Отмена", inner, 210, 124);
    btCancel->setObjectName("btCancel");
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfmConfirm::Confirm(const QString& ATitle, const QString& AMsg) {
    Title->setText(ATitle);
    Msg->setText(AMsg);
    const QWidget* over = QApplication::activeWindow();
    const QRect area = over && over != this ? over->frameGeometry() : screen()->availableGeometry();
    move(area.center() - rect().center());
    btOK->setDefault(true);
    return exec() == QDialog::Accepted;
}

TfmConfirm& fmConfirm() {
    static TfmConfirm* dialog = new TfmConfirm();  // lives until the process ends
    return *dialog;
}

bool Confirm(const QString& ATitle, const QString& AMsg) {
    return fmConfirm().Confirm(ATitle, AMsg);
}

bool RunShowingErrors(QWidget* parent, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        QMessageBox::critical(parent, "Weekleaf", QString::fromUtf8(e.what()));
        return false;
    }
}

}  // namespace wl
