// Qt's own texts (file and folder dialogs, context menus, the buttons of message boxes) in
// Russian, as everything else the program shows. Called once by the tray application at
// start-up, on the UI thread.
#pragma once

class QCoreApplication;
class QTranslator;

namespace ornel
{

// Loads Qt's Russian catalogue into `translator` (which must outlive the application's use
// of it) and installs it; also makes Russian the default locale. False when the catalogue
// is not installed (Debian's qt6-translations-l10n): Qt's texts then stay English.
bool InstallRussianQtTexts(QCoreApplication& app, QTranslator& translator);

} // namespace ornel
