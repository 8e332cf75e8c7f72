#include "platform/QtScreens.h"

#include <QGuiApplication>
#include <QScreen>

namespace wl {

QScreen* ScreenNamed(const std::string& name) {
    if (!name.empty()) {
        const QString wanted = QString::fromStdString(name);
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->name() == wanted) return screen;
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace wl
