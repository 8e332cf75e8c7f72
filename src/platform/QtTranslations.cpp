#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace wl {

namespace {

bool Install(QCoreApplication& app, const char* catalogue) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), catalogue, "_", folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace

bool InstallQtTranslations(QCoreApplication& app) {
    const bool base = Install(app, "qtbase");
    Install(app, "qtwebengine");
    return base;
}

}  // namespace wl
