#include "ui/TfrSettings.h"

#include "ui/TImageButton.h"
#include "ui/TfrTemplate.h"
#include "ui/UiLook.h"

namespace wl {
namespace {
constexpr int kStripH = 80, kPictureW = 121, kPictureH = 72;
// Button name, left, picture name (the selected picture; "W" appended: not selected), hint.
struct Item {
    const char* name;
    int left;
    const char* picture;
    const char* hint;
};
constexpr Item kItems[3] = {{"btTempl", 130, "imgTempl", "Шаблон"},
                            {"btOpt", 251, "imgOpt", "Настройки"},
                            {"btDev", 370, "imgDev", "О программе"}};

QIcon Picture(int index, bool selected) {
    return QIcon(QString(":/wl/icons/%1%2.svg").arg(kItems[index].picture, selected ? "" : "W"));
}
}  // namespace

TfrSettings::TfrSettings(QWidget* parent, TSettingsPages pages) : QWidget(parent), P(std::move(pages)) {
    setObjectName("frSettings");
    resize(500, kStripH);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    auto* line = new QWidget(this);
    line->setObjectName("lnBottom");
    line->setGeometry(0, kStripH - 1, 500, 1);
    line->setStyleSheet("background: #19AE84;");
    TImageButton** fields[3] = {&btTempl, &btOpt, &btDev};
    for (int i = 0; i < 3; ++i) {
        auto* b = new TImageButton(QString(), kItems[i].hint, this);
        b->setObjectName(kItems[i].name);
        b->setIcon(Picture(i, false));
        b->setIconSize({kPictureW, kPictureH});
        b->SetHover(kHoverOnLight);
        b->setGeometry(kItems[i].left - 8, (kStripH - 1 - kPictureH) / 2, kPictureW, kPictureH);
        connect(b, &QAbstractButton::clicked, this, [this, i] { Select(i); });
        *fields[i] = b;
    }
}

void TfrSettings::btTemplClick() {
    Select(0);
}
void TfrSettings::btOptClick() {
    Select(1);
}
void TfrSettings::btDevClick() {
    Select(2);
}

void TfrSettings::Select(int index) {
    FSelected = index;
    TImageButton* buttons[3] = {btTempl, btOpt, btDev};
    for (int i = 0; i < 3; ++i) buttons[i]->setIcon(Picture(i, i == index));
    QWidget* pages[3] = {P.Template, P.Options, P.Developers};
    for (int i = 0; i < 3; ++i) {
        if (pages[i] && i != index) pages[i]->hide();
    }
    if (pages[index]) {
        pages[index]->show();
        pages[index]->raise();
    }
    // Reload what the sub-page shows: a template pushed from another device and the stored
    // options replace whatever was left unsaved there.
    if (index == 0 && P.Template) P.Template->LoadStored();
    if (index == 1 && P.LoadOptions) P.LoadOptions();
}

void TfrSettings::HideWithSubPage() {
    hide();
    for (QWidget* page : {static_cast<QWidget*>(P.Template), P.Options, P.Developers}) {
        if (page) page->hide();
    }
}

}  // namespace wl
