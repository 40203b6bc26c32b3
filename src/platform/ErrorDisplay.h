// The application's top-level error display: an error raised inside an event
// handler is not caught there; it ends up here, is shown in a message box
// titled "Tavrelo", and the program goes on.
#pragma once

#include <QApplication>
#include <QString>

// Shows text in a message box with an error icon and the title "Tavrelo".
// Without a display (offscreen tests) the text goes to standard error only.
void ShowErrorMessage(const QString& text);

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    // Delivers events; an exception escaping a handler is shown by
    // ShowErrorMessage and the event counts as handled.
    bool notify(QObject* receiver, QEvent* event) override;
};
