// The application's top-level error display: an error raised inside an event
// handler ends up here, is shown in a message box titled "Tavrelo" that does
// not wait (a practice may be running unattended), and the program goes on.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

class QWidget;

// Whether a message box may be shown: a widget application on a display
// (not Qt's offscreen platform) and TAVRELO_NO_MESSAGE_BOXES not set. Where
// none may, a message goes to standard error only and nothing waits for a
// click.
bool MessageBoxesShown();

// Shows text in a message box with an error icon and the title "Tavrelo"
// and waits for the user to close it. Without a display (offscreen tests, or
// TAVRELO_NO_MESSAGE_BOXES set) the text goes to standard error only.
void ShowErrorMessage(const QString& text);

// The same box, but the call returns at once: for everything that may happen
// while a practice plays or a remote asks (the engine must keep playing, and
// keep its ticks out of a nested dialog loop, while the user reads). A text
// already shown in an open notice raises that one. parent may be null.
void ShowErrorNotice(const QString& text, QWidget* parent);

// Also hands every text shown by either of the two above to observer (empty:
// none). Lets tests see what the user was told.
void SetErrorMessageObserver(std::function<void(const QString&)> observer);

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    // Delivers events; an exception escaping a handler is shown by
    // ShowErrorNotice and the event counts as handled.
    bool notify(QObject* receiver, QEvent* event) override;
};
