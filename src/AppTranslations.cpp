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
    // "zh" (and anything unknown) keeps the Chinese texts; its catalogue
    // only turns the few messages written in English into Chinese.
    const QString name = language == QLatin1String("en") ? language : QStringLiteral("zh");
    auto* translator = new QTranslator(QCoreApplication::instance());
    // Compiled from translations/tavrelo_<language>.ts into the resources.
    if (!translator->load(QStringLiteral(":/i18n/tavrelo_%1.qm").arg(name)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

void InstallTranslations(const QString& language) {
    InstallAppTranslation(language);
    if (language == QLatin1String("en"))
        return; // Qt's own texts are English already
    InstallQtTranslations(QLocale::system());
}
