#include "ui/UiLook.h"

#include <QFontDatabase>
#include <QStringList>

#include "wallpaper/TextLook.h"

namespace wl {

QFont UiFont(const char* family, int pixelSize, bool bold) {
    QFont font;
    // Fall-backs in order: metric-compatible or look-alike faces, then whatever sans is installed.
    font.setFamilies(
        {QString::fromUtf8(family), "Comic Neue", "Liberation Sans", "DejaVu Sans", "Sans Serif"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QString SansFamily() {
    // The same face the wallpaper draws the week's text in.
    return QString::fromStdString(InstalledFace(""));
}

QString CheckBoxStyle() {
    return "QCheckBox { color: white; spacing: 8px; }"
           "QCheckBox::indicator { width: 18px; height: 18px; }"
           "QCheckBox::indicator:unchecked { image: url(:/wl/icons/checkOff.svg); }"
           "QCheckBox::indicator:checked { image: url(:/wl/icons/checkOn.svg); }"
           "QCheckBox::indicator:disabled { image: none; }";
}

}  // namespace wl
