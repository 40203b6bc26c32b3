#include "AppTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>

QTranslator* InstallQtTranslations(const QLocale& locale) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    // The widgets' texts are in Qt's base module (Debian's
    // qt6-translations-l10n).
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
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

QList<QTranslator*> InstallTranslations(const QString& language) {
    QList<QTranslator*> installed;
    if (QTranslator* t = InstallAppTranslation(language))
        installed << t;
    // Qt's texts are written in English; in a Chinese window they are
    // Chinese whatever the system's language.
    if (language != QLatin1String("en"))
        if (QTranslator* t = InstallQtTranslations(
                QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China)))
            installed << t;
    return installed;
}
