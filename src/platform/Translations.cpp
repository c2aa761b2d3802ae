// Translations: Qt's own French texts for the standard buttons and dialogs.
#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallFrenchQtTranslations(QCoreApplication& app, const QString& folder)
{
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    bool any = false;
    // qtbase holds the buttons and the standard dialogs; qtmultimedia a few sound texts.
    for (const char* catalogue : {"qtbase", "qtmultimedia"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QLocale(QLocale::French, QLocale::France), QString::fromLatin1(catalogue),
                             QStringLiteral("_"), where)
            && QCoreApplication::installTranslator(translator)) {
            any = true;
        } else {
            delete translator;
        }
    }
    return any;
}
