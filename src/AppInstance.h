// One running player per settings file: the first start listens on a local
// socket named after the settings file; a later start hands its message (the
// file it was asked to open) to it and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// The socket path for a settings file: in the user's runtime folder, named
// after a hash of the file's absolute path.
QString InstanceSocketPath(const QString& settingsFile);

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& socketPath, QObject* parent = nullptr);

    // Hands message to a player already listening and waits for its answer:
    // true when it took it. A socket left behind by a player that ended
    // without removing it counts as no player.
    bool HandOver(const QString& message);
    // Starts listening; a stale socket is removed first. False (with the
    // reason in error) when the socket cannot be made.
    bool Listen(QString* error);

signals:
    // A later start handed over its message (empty: it named no file).
    void Received(const QString& message);

private:
    QString path_;
    QLocalServer* server_ = nullptr;
};
