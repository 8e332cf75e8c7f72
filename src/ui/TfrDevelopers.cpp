#include "ui/TfrDevelopers.h"

#include <QLabel>

#include "ui/TPanelButton.h"
#include "ui/UiLook.h"

namespace wl {
namespace {

struct Component {
    const char* name;
    const char* use;
    const char* licence;
};
constexpr Component kComponents[] = {
    {"Qt 6", "окна и элементы управления", "LGPL-3.0"},
    {"Qt WebEngine (Chromium)", "редактор заметок", "LGPL-3.0; BSD-3-Clause"},
    {"litehtml", "разметка блоков на обоях", "BSD-3-Clause"},
    {"Gumbo", "разбор HTML", "Apache-2.0"},
    {"Cairo, Pango", "рисование текста", "LGPL-2.1 / MPL-1.1"},
    {"libjpeg-turbo", "чтение JPEG", "IJG, BSD-3-Clause"},
    {"libpng, zlib", "чтение PNG", "libpng, zlib"},
    {"GLib / GIO", "настройки рабочего стола", "LGPL-2.1"},
    {"Xlib", "рабочий стол X11", "MIT"},
};

QString CreditsHtml(const QString& version) {
    QString html = QString(
                       "<p style='font-size:18px'><b>Weekleaf %1</b></p>"
                       "<p>Еженедельник на обоях рабочего стола.</p>"
                       "<p><b>Свободные компоненты</b></p><table cellspacing='0' cellpadding='2'>")
                       .arg(version.toHtmlEscaped());
    for (const Component& c : kComponents) {
        html += QString("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2&nbsp;&nbsp;</td><td>%3</td></tr>")
                    .arg(QString::fromUtf8(c.name).toHtmlEscaped(), QString::fromUtf8(c.use).toHtmlEscaped(),
                         QString::fromUtf8(c.licence).toHtmlEscaped());
    }
    return html + "</table><p>Тексты лицензий: /usr/share/common-licenses и /usr/share/doc.</p>";
}

}  // namespace

TfrDevelopers::TfrDevelopers(const QString& version, QWidget* parent) : QWidget(parent) {
    setObjectName("frDevelopers");
    resize(500, 445);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    lbText = new QLabel(CreditsHtml(version), this);
    lbText->setObjectName("lbText");
    lbText->setTextFormat(Qt::RichText);
    lbText->setWordWrap(true);
    lbText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbText->setFont(UiFont("Tahoma", 13));
    btOK = new TPanelButton("OK", this);
    btOK->setObjectName("btOK");
    btOK->resize(70, 30);
    connect(btOK, &QAbstractButton::clicked, this, &TfrDevelopers::Closed);
}

void TfrDevelopers::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    lbText->setGeometry(20, 12, width() - 40, height() - 70);
    btOK->move(width() - 10 - btOK->width(), height() - 40);
}

}  // namespace wl
