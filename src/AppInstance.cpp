#include "AppInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {
// A player that does not answer within this time is taken as hung, and the
// new start goes on as a player of its own rather than waiting forever.
constexpr int kAnswerMs = 5000;
} // namespace

QString InstanceSocketPath(const QString& settingsFile) {
    const QByteArray key = QFile::encodeName(QFileInfo(settingsFile).absoluteFilePath());
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("tavrelo-%1.sock").arg(hash));
}

TSingleInstance::TSingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), path_(socketPath) {}

bool TSingleInstance::HandOver(const QString& message) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kAnswerMs))
        return false;
    socket.write(message.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(kAnswerMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(kAnswerMs))
            return false;
    return socket.readLine().trimmed() == "ok";
}

bool TSingleInstance::Listen(QString* error) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path_)) {
        // A player that accepts connections but did not answer in time
        // keeps its socket; one left by a player that did not end cleanly
        // refuses them and is removed.
        QLocalSocket probe;
        probe.connectToServer(path_);
        if (probe.waitForConnected(kAnswerMs)) {
            if (error)
                *error = QStringLiteral("another player on these settings does not answer");
            return false;
        }
        QLocalServer::removeServer(path_);
        if (!server_->listen(path_)) {
            if (error)
                *error = server_->errorString();
            return false;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (!s->canReadLine())
                    return;
                const QString message = QString::fromUtf8(s->readLine()).chopped(1);
                s->write("ok\n");
                s->flush();
                emit Received(message);
            });
        }
    });
    return true;
}
