#pragma once
// Qt's own texts (standard buttons, file and colour dialogs, the editor's built-in menus) in the
// program's language, Russian, whatever locale the session runs in.
class QCoreApplication;

namespace wl {

// Installs Qt's Russian translations (qtbase, and the browser's when present) from Qt's
// translations folder onto app; the translators live as long as app. Returns whether qtbase's
// translation was found: without it (qt6-translations-l10n missing) Qt's texts stay English and
// the program runs on.
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace wl
