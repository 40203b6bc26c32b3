#include "AppInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>
#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A player that does not answer within this time is taken as hung, and the
// new start goes on as a player of its own rather than waiting forever. A
// connection that has not sent its whole message by then is cut.
constexpr int kAnswerMs = 5000;
// How often a message waiting for the player to be ready is offered again.
constexpr int kRetryMs = 100;

// A folder of this user that no one else may enter: a socket in it can be
// neither reached nor replaced by another user.
bool IsPrivateFolder(const QByteArray& dir) {
    struct stat st {};
    return ::lstat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

QString SocketFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    // Made by us with no access for others; a name another user took first
    // fails the owner check and nothing is handed over.
    const QByteArray dir =
        QFile::encodeName(QDir::tempPath()) + "/tavrelo-" + QByteArray::number(::geteuid());
    ::mkdir(dir.constData(), 0700);
    return IsPrivateFolder(dir) ? QFile::decodeName(dir) : QString();
}

QByteArray Frame(const QByteArray& payload) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(payload.size()), out.data());
    return out + payload;
}
} // namespace

QString InstanceSocketPath(const QString& settingsFile) {
    const QString dir = SocketFolder();
    if (dir.isEmpty())
        return {};
    const QByteArray key = QFile::encodeName(QFileInfo(settingsFile).absoluteFilePath());
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    return QDir(dir).filePath(QStringLiteral("tavrelo-%1.sock").arg(hash));
}

TSingleInstance::TSingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), path_(socketPath) {}

TSingleInstance::THandOver TSingleInstance::HandOver(const QString& message, QString* answer) {
    if (path_.isEmpty())
        return THandOver::NoPlayer;
    const QByteArray payload = message.toUtf8();
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kAnswerMs))
        return THandOver::NoPlayer;
    socket.write(Frame(payload));
    if (!socket.waitForBytesWritten(kAnswerMs))
        return THandOver::NoPlayer;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(kAnswerMs))
            return THandOver::NoPlayer;
    const QString line = QString::fromUtf8(socket.readLine(1024)).trimmed();
    if (line == QLatin1String("ok"))
        return THandOver::Taken;
    if (answer)
        *answer = line;
    return THandOver::Refused;
}

bool TSingleInstance::Listen(QString* error) {
    if (path_.isEmpty()) {
        if (error)
            *error = QStringLiteral("no folder of this user's alone for its socket");
        return false;
    }
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
            if (connections_ >= kMaxConnections) {
                s->abort();
                delete s;
                continue;
            }
            ++connections_;
            connect(s, &QObject::destroyed, this, [this] { --connections_; });
            s->setReadBufferSize(4 + kMaxMessageBytes);
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] { Take(s); });
            QTimer::singleShot(kAnswerMs, s, [s] { s->abort(); });
        }
    });
    return true;
}

// Answers a connection once its whole message is there and lets it go; the
// message itself is delivered from the event loop, never from inside the
// socket's own signal (the open it starts waits with events running, and
// the socket may be deleted meanwhile).
void TSingleInstance::Take(QLocalSocket* s) {
    if (s->bytesAvailable() < 4)
        return;
    quint32 length = 0;
    s->peek(reinterpret_cast<char*>(&length), 4);
    length = qFromBigEndian(length);
    QString refusal;
    QString message;
    if (length > quint32(kMaxMessageBytes)) {
        refusal = QStringLiteral("a file name is at most %1 bytes").arg(kMaxMessageBytes);
    } else {
        if (s->bytesAvailable() < 4 + qint64(length))
            return;
        const QByteArray payload = s->read(4 + length).mid(4);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        message = utf8(payload);
        if (utf8.hasError() || payload.contains('\0'))
            refusal = QStringLiteral("the file name is not valid UTF-8");
        else if (!message.isEmpty() && check_)
            refusal = check_(message);
    }
    s->disconnect(this);
    s->write(refusal.isEmpty()
                 ? QByteArray("ok\n")
                 : "refused: " + refusal.left(512).toUtf8().replace('\n', ' ') + '\n');
    s->disconnectFromServer();
    if (!refusal.isEmpty())
        return;
    pending_ = message;
    if (queued_ || emitting_)
        return;
    queued_ = true;
    QTimer::singleShot(0, this, &TSingleInstance::Deliver);
}

void TSingleInstance::Deliver() {
    queued_ = false;
    emitting_ = true;
    // A message that arrives while one is being opened waits for it.
    while (pending_) {
        // The player may be in the middle of starting a section, which
        // would drop an open: the message waits until it is done.
        if (ready_ && !ready_()) {
            queued_ = true;
            QTimer::singleShot(kRetryMs, this, &TSingleInstance::Deliver);
            break;
        }
        emit Received(*std::exchange(pending_, std::nullopt));
    }
    emitting_ = false;
}
