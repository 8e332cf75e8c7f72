#include "app/TfmFirstLunch.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/AppState.h"
#include "data/TSettings.h"
#include "ui/TfmConfirm.h"
#include "ui/UiLook.h"

namespace wl {
namespace {

QCheckBox* Box(const QString& text, int top, QWidget* parent) {
    auto* cb = new QCheckBox(text, parent);
    cb->setChecked(true);
    cb->setFont(UiFont("Tahoma", 12));
    cb->setStyleSheet(CheckBoxStyle());
    cb->setGeometry(16, top, 300, 24);
    return cb;
}

QPushButton* Button(const QString& text, int left, QWidget* parent) {
    auto* bt = new QPushButton(text, parent);
    bt->setGeometry(left, 178, 105, 33);
    bt->setCursor(Qt::PointingHandCursor);
    bt->setFont(UiFont("Comic Sans MS", 13));
    bt->setStyleSheet(
        "QPushButton { background: #107458; color: white; border: none; }"
        "QPushButton:hover { background: #1dc999; }");
    return bt;
}

}  // namespace

TfmFirstLunch::TfmFirstLunch(TSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), FSettings(settings) {
    setObjectName("TfmFirstLunch");
    setWindowTitle("Настройка первого запуска");
    setFixedSize(323, 228);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kGreen);
    setPalette(pal);

    auto* heading = new QLabel("Настройка первого запуска Weekleaf", this);
    heading->setFont(UiFont("Comic Sans MS", 16));
    heading->setStyleSheet("color: white;");
    heading->setGeometry(12, 10, 305, 26);

    cbAutorun = Box("Автозапуск при входе в систему", 50, this);
    cbDrow = Box("Отображать блоки заметок на рабочем столе", 78, this);
    cbHide = Box("Скрывать в трей при запуске", 106, this);
    cbCheckUpdates = Box("Проверять наличие обновлений", 134, this);
    btOK = Button("ОК", 40, this);
    btCancel = Button("Отмена", 178, this);
    connect(btOK, &QPushButton::clicked, this, &TfmFirstLunch::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

void TfmFirstLunch::btOKClick() {
    const bool stored = RunShowingErrors(this, [&] {
        FSettings.SetStartWithOS(cbAutorun->isChecked());
        FSettings.SetShowBloks(cbDrow->isChecked());
        FSettings.SetHideOnStart(cbHide->isChecked());
        FSettings.SetCheckUpdate(cbCheckUpdates->isChecked());
        BlocksVisible = cbDrow->isChecked();
    });
    if (stored) accept();
}

}  // namespace wl
