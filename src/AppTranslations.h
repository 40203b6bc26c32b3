// The languages of the window: the program's own texts are written in
// Chinese; an English catalogue (translations/tavrelo_en.ts, compiled into
// the program) replaces them when the setting "Language" is "en". Qt's own
// texts (dialog buttons, "Look in", message-box buttons) come from the
// translations the system installed with Qt.
#pragma once

#include <QList>

class QLocale;
class QString;
class QTranslator;

// Installs Qt's translations (qtbase_<locale>.qm) for locale into the
// application (which owns them); null, and the texts stay English, when the
// system has none for it.
QTranslator* InstallQtTranslations(const QLocale& locale);

// Installs the program's catalogue for language into the application, which
// owns it: "en" turns the texts into English; "zh" and anything else keep
// the Chinese texts as written and turn the few messages written in English
// (file errors) into Chinese. Null when nothing was installed.
QTranslator* InstallAppTranslation(const QString& language);

// Sets the language of the program and of Qt's texts (the open dialog, the
// message boxes' buttons) for this run: "en" gives English everywhere; "zh"
// (and an unknown value) keeps the program's Chinese, with Qt's texts in
// Chinese too (Qt's catalogue qtbase_zh_CN). Returns what it installed.
QList<QTranslator*> InstallTranslations(const QString& language);
