#include "AppTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>

QTranslator* InstallQtTranslations(const QLocale& locale) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qt_<language>" gathers the catalogues of every Qt module.
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

QTranslator* InstallAppTranslation(const QString& language) {
    if (language != QLatin1String("en"))
        return nullptr;
    auto* translator = new QTranslator(QCoreApplication::instance());
    // Compiled from translations/tavrelo_<language>.ts into the resources.
    if (!translator->load(QStringLiteral(":/i18n/tavrelo_%1.qm").arg(language)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

void InstallTranslations(const QString& language) {
    if (InstallAppTranslation(language))
        return; // Qt's own texts are English already
    InstallQtTranslations(QLocale::system());
}
