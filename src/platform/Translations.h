// Translations: Qt's own French texts for the standard buttons and dialogs.
#pragma once
#include <QString>

class QCoreApplication;

// Loads Qt's French catalogue (the qt6-translations-l10n package) into the application, so the
// standard buttons ("Oui", "Non", "Annuler") and the file and print dialogs speak French like
// the rest of the program. Returns false when the catalogue is not installed; the program then
// runs with Qt's English texts.
bool InstallFrenchQtTranslations(QCoreApplication& app, const QString& folder = QString());
