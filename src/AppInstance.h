// One running player per settings file: the first start listens on a local
// socket named after the settings file; a later start hands its message (the
// file it was asked to open) to it and ends.
//
// A message is a 4-byte big-endian length followed by that many bytes of
// UTF-8 (a file name may hold any character, a newline too); the player
// answers one line: "ok", or "refused: <why>". A message longer than
// kMaxMessageBytes is refused from its length alone, before any of it is read.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// The socket path for a settings file: in the user's runtime folder, or in a
// folder of the temporary folder that this user made and alone may enter;
// named after a hash of the file's absolute path. Empty when there is no such
// folder (another user owns the name): then no file is handed over.
QString InstanceSocketPath(const QString& settingsFile);

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // A file name is at most PATH_MAX bytes.
    static constexpr int kMaxMessageBytes = 4096;
    // Connections held at once (a later start makes one); one beyond is
    // closed as soon as it is accepted.
    static constexpr int kMaxConnections = 16;

    explicit TSingleInstance(const QString& socketPath, QObject* parent = nullptr);

    enum class THandOver { NoPlayer, Taken, Refused };
    // Hands message to a player already listening and waits for its answer.
    // A socket left behind by a player that ended without removing it counts
    // as no player. Refused: the player's one-line answer is in *answer.
    THandOver HandOver(const QString& message, QString* answer = nullptr);
    // Starts listening; a stale socket is removed first. False (with the
    // reason in error) when the socket cannot be made.
    bool Listen(QString* error);
    // Why a handed file is refused (empty: taken); checked before the
    // answer, so that the later start can say so. None set: all are taken.
    void SetCheck(std::function<QString(const QString&)> check) { check_ = std::move(check); }
    // Whether the player can take a message now; until it can, a message
    // waits. None set: always.
    void SetReady(std::function<bool()> ready) { ready_ = std::move(ready); }
    // Connections accepted and not yet closed.
    int ConnectionCount() const { return connections_; }

signals:
    // A later start handed over its message (empty: it named no file).
    // Emitted from the event loop after the connection was answered; of
    // messages arriving faster than the player takes them, the last one.
    void Received(const QString& message);

private:
    void Take(QLocalSocket* s);
    void Deliver();

    QString path_;
    QLocalServer* server_ = nullptr;
    std::function<QString(const QString&)> check_;
    std::function<bool()> ready_;
    std::optional<QString> pending_; // the last message not yet delivered
    bool queued_ = false;
    bool emitting_ = false;
    int connections_ = 0;
};
