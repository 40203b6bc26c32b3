// Qt's own texts (dialog buttons, "Look in", message-box buttons) in the
// user's language, from the translations the system installed with Qt.
#pragma once

class QLocale;
class QTranslator;

// Installs Qt's translations for locale into the application (which owns
// them); null, and the texts stay English, when the system has none for it.
QTranslator* InstallQtTranslations(const QLocale& locale);
