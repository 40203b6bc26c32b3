#include "utPublic/ErrorDisplay.h"

#include "utPublic/IniFile.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>

namespace {

constexpr const char* kNoticeProperty = "tavrelo_notice";

std::function<void(const QString&)>& Observer() {
    static std::function<void(const QString&)> observer;
    return observer;
}

// Writes the text to standard error and tells the observer; false when no
// box can be shown.
bool Announce(const QString& text) {
    std::fprintf(stderr, "Tavrelo: %s\n", text.toLocal8Bit().constData());
    if (Observer())
        Observer()(text);
    return MessageBoxesShown();
}

} // namespace

bool MessageBoxesShown() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) &&
           QGuiApplication::platformName() != QLatin1String("offscreen") &&
           !qEnvironmentVariableIsSet("TAVRELO_NO_MESSAGE_BOXES");
}

void ShowErrorMessage(const QString& text) {
    if (Announce(text))
        QMessageBox::critical(nullptr, QStringLiteral("Tavrelo"), text);
}

void ShowErrorNotice(const QString& text, QWidget* parent) {
    if (!Announce(text))
        return;
    // The same text again (a refusal repeated by a remote, a failing tick)
    // brings the notice already open to the front instead of another one.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* open = qobject_cast<QMessageBox*>(w);
        if (open && open->isVisible() && open->property(kNoticeProperty).toBool() &&
            open->text() == text) {
            open->raise();
            return;
        }
    }
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Tavrelo"), text,
                                QMessageBox::Ok, parent);
    box->setProperty(kNoticeProperty, true);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    box->raise();
}

void SetErrorMessageObserver(std::function<void(const QString&)> observer) {
    Observer() = std::move(observer);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    IniFile::SetUnreadableReport([](const QString& text) { ShowErrorNotice(text, nullptr); });
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowErrorNotice(QString::fromUtf8(e.what()), nullptr);
    } catch (...) {
        ShowErrorNotice(QCoreApplication::translate("Messages", "Unknown error"), nullptr);
    }
    return true;
}
