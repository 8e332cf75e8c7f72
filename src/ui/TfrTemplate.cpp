#include "ui/TfrTemplate.h"

#include "ui/EditingRules.h"
#include "ui/TPanelButton.h"

namespace wl {
namespace {
constexpr int kBottomH = 45;
}

TfrTemplate::TfrTemplate(QWidget* parent, TTextPageLinks links)
    : TTextPage(parent, std::move(links), 0, kBottomH) {
    setObjectName("frTemplate");
    resize(500, 415);
    btOK->resize(50, 30);
    // The template's OK keeps still when held.
    btOK->SetPressShift(false);
}

QString TfrTemplate::ToEditorHtml(const std::string& stored) const {
    return TemplateToHtml(QString::fromStdString(stored));
}

void TfrTemplate::PlaceButtons(int bandTop) {
    btOK->move(width() - 10 - btOK->width(), bandTop + 8);
}

}  // namespace wl
