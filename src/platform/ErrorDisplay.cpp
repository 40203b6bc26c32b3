#include "platform/ErrorDisplay.h"

#include "utPublic.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>

void ShowErrorMessage(const QString& text) {
    std::fprintf(stderr, "Tavrelo: %s\n", text.toLocal8Bit().constData());
    if (QGuiApplication::platformName() == QLatin1String("offscreen") ||
        qEnvironmentVariableIsSet("TAVRELO_NO_MESSAGE_BOXES"))
        return;
    QMessageBox::critical(nullptr, QStringLiteral("Tavrelo"), text);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowErrorMessage(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorMessage(QStringLiteral("Unknown error"));
    }
    return true;
}
