#include "ui/TfrNote.h"

#include <QLabel>

#include "ui/TPanelButton.h"
#include "ui/UiLook.h"

namespace wl {
namespace {
constexpr int kTitleH = 65, kBottomH = 50;
}

TfrNote::TfrNote(QWidget* parent, TTextPageLinks links)
    : TTextPage(parent, std::move(links), kTitleH + 1, kBottomH) {
    setObjectName("frNote");
    resize(500, 455);
    lbTitle = new QLabel("Заметки", this);
    lbTitle->setObjectName("lbTitle");
    lbTitle->setGeometry(20, 0, 460, kTitleH);
    lbTitle->setFont(UiFont("Segoe UI Semibold", 24, true));
    lbTitle->setStyleSheet("QLabel { color: #19AE84; }");
    auto* line = new QWidget(this);
    line->setObjectName("lnTitle");
    line->setGeometry(0, kTitleH, 500, 1);
    line->setStyleSheet("background: #19AE84;");
    btOK->resize(70, 30);
    btCancel = new TPanelButton("Отмена", this);
    btCancel->setObjectName("btCancel");
    btCancel->setToolTip("Отменить действие");
    btCancel->resize(70, 30);
    connect(btCancel, &QAbstractButton::clicked, this, &TfrNote::btCancelClick);
}

void TfrNote::PlaceButtons(int bandTop) {
    btOK->move(width() - 10 - btOK->width(), bandTop + 10);
    btCancel->move(10, bandTop + 10);
}

void TfrNote::btCancelClick() {
    emit Closed();
}

}  // namespace wl
