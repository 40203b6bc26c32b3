#include "sync/SyncSocket.h"

#include "sync/SyncMessage.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <utility>

namespace {
enum Opcode { kContinuation = 0x0, kText = 0x1, kBinary = 0x2, kClose = 0x8, kPing = 0x9 };
constexpr int kPong = 0xA;

QByteArray Accept(const QByteArray& key) {
    return QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                    QCryptographicHash::Sha1)
        .toBase64();
}
} // namespace

SyncSocket::SyncSocket(QObject* parent) : QObject(parent) {}

SyncSocket::~SyncSocket() {
    Abort();
}

void SyncSocket::Open(const QString& host, quint16 port, const QByteArray& cookie) {
    Abort();
    host_ = host;
    port_ = port;
    cookie_ = cookie;
    redirected_ = false;
    socket_ = new QTcpSocket(this);
    // What waits unread stays in the kernel: the leader is slowed, not this
    // player's memory filled.
    socket_->setReadBufferSize(kReadChunk);
    connect(socket_, &QTcpSocket::connected, this, &SyncSocket::OnConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &SyncSocket::ReadSome);
    connect(socket_, &QTcpSocket::bytesWritten, this, &SyncSocket::Answer);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        // What arrived before the close is read first (the leader's last
        // word).
        ReadSome();
        Fail(state_ == State::Open
                 ? QCoreApplication::translate("Messages", "the leader closed the connection")
                 : QStringLiteral("no answer"));
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_ && socket_->error() != QAbstractSocket::RemoteHostClosedError)
            Fail(socket_->errorString().left(200));
    });
    state_ = State::Connecting;
    socket_->connectToHost(host, port);
}

void SyncSocket::Abort() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    if (state_ != State::Idle)
        state_ = State::Closed;
    in_.clear();
    message_.clear();
    fragmented_ = false;
    pingOwed_ = false;
}

void SyncSocket::Fail(const QString& why) {
    if (state_ == State::Closed || state_ == State::Idle)
        return;
    Abort();
    emit Closed(why);
}

void SyncSocket::OnConnected() {
    QByteArray nonce(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(nonce.begin(), nonce.end());
    key_ = nonce.toBase64();
    const QByteArray host = QHostAddress(host_).protocol() == QAbstractSocket::IPv6Protocol
                                ? '[' + host_.toUtf8() + ']'
                                : host_.toUtf8();
    // No Origin: a follower is no browser page (the leader refuses a
    // follower socket that names one).
    socket_->write("GET /sync HTTP/1.1\r\nHost: " + host + ':' + QByteArray::number(port_) +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key_ +
                   "\r\nSec-WebSocket-Version: 13\r\nCookie: " + cookie_ + "\r\n\r\n");
    state_ = State::Handshake;
}

void SyncSocket::ReadSome() {
    readQueued_ = false;
    if (!socket_ || (state_ != State::Handshake && state_ != State::Open))
        return;
    in_ += socket_->read(kReadChunk);
    if (state_ == State::Handshake && !ReadHead())
        return;
    int at = 0;
    while (state_ == State::Open && ReadFrame(at)) {
    }
    if (state_ != State::Open)
        return;
    in_.remove(0, at);
    Answer();
    // The rest on the next pass: the window's events come first.
    if (socket_->bytesAvailable() > 0 && !readQueued_) {
        readQueued_ = true;
        QMetaObject::invokeMethod(this, &SyncSocket::ReadSome, Qt::QueuedConnection);
    }
}

bool SyncSocket::ReadHead() {
    const int end = in_.indexOf("\r\n\r\n");
    if (end > kMaxHead || (end < 0 && in_.size() > kMaxHead)) {
        Fail(QCoreApplication::translate("Messages", "answer too long"));
        return false;
    }
    if (end < 0)
        return false;
    const QList<QByteArray> lines = in_.left(end).split('\n');
    in_.remove(0, end + 4);
    const QList<QByteArray> status = lines.first().trimmed().split(' ');
    const int code = status.value(1).toInt();
    if (!status.first().startsWith("HTTP/1.") || code != 101) {
        // Never followed: the session cookie is this leader's alone.
        redirected_ = code >= 300 && code < 400;
        Fail(redirected_ ? QStringLiteral("redirected")
                         : QString::fromLatin1(lines.first().trimmed().left(80)));
        return false;
    }
    bool upgrade = false, accepted = false;
    for (const QByteArray& line : lines) {
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "upgrade")
            upgrade = value.toLower() == "websocket";
        else if (name == "sec-websocket-accept")
            accepted = value == Accept(key_);
    }
    if (!upgrade || !accepted) {
        Fail(QStringLiteral("not a WebSocket answer"));
        return false;
    }
    state_ = State::Open;
    emit Opened();
    return state_ == State::Open;
}

bool SyncSocket::ReadFrame(int& at) {
    const int left = in_.size() - at;
    if (left < 2)
        return false;
    const uchar b0 = uchar(in_[at]), b1 = uchar(in_[at + 1]);
    const bool fin = b0 & 0x80;
    const int opcode = b0 & 0x0f;
    quint64 length = b1 & 0x7f;
    int head = 2;
    if (length == 126) {
        if (left < 4)
            return false;
        length = (uchar(in_[at + 2]) << 8) | uchar(in_[at + 3]);
        head = 4;
    } else if (length == 127) {
        if (left < 10)
            return false;
        length = 0;
        for (int i = 0; i < 8; ++i)
            length = (length << 8) | uchar(in_[at + 2 + i]);
        head = 10;
    }
    // A leader's frames are never masked, use no extension, and hold no
    // more than a message may.
    if ((b0 & 0x70) || (b1 & 0x80) || length > quint64(SyncMessage::kMaxBytes) ||
        (opcode >= kClose && (!fin || length > 125))) {
        Fail(QCoreApplication::translate("Messages", "a frame no leader sends"));
        return false;
    }
    if (quint64(left) < head + length)
        return false;
    const QByteArray payload = in_.mid(at + head, int(length));
    at += head + int(length);
    switch (opcode) {
    case kPing:
        // Only the latest is answered, when nothing else waits.
        ping_ = payload;
        pingOwed_ = true;
        return true;
    case kPong:
        return true;
    case kClose:
        SendFrame(kClose, payload.left(2));
        socket_->flush();
        Fail(payload.size() > 2 ? QString::fromUtf8(payload.mid(2)).left(200)
                                : QCoreApplication::translate("Messages", "closed by the leader"));
        return false;
    case kContinuation:
        if (!fragmented_ || message_.size() + payload.size() > SyncMessage::kMaxBytes) {
            Fail(QCoreApplication::translate("Messages", "a frame no leader sends"));
            return false;
        }
        message_ += payload;
        break;
    case kText:
    case kBinary:
        if (fragmented_) {
            Fail(QCoreApplication::translate("Messages", "a frame no leader sends"));
            return false;
        }
        message_ = payload;
        binary_ = opcode == kBinary;
        break;
    default:
        Fail(QCoreApplication::translate("Messages", "a frame no leader sends"));
        return false;
    }
    fragmented_ = !fin;
    if (!fin)
        return true;
    const QByteArray whole = std::exchange(message_, {});
    if (binary_) {
        emit BinaryReceived();
        return true;
    }
    emit TextReceived(whole);
    return true;
}

void SyncSocket::SendFrame(int opcode, const QByteArray& payload) {
    // A client masks what it sends (payloads here are short).
    QByteArray frame(2, Qt::Uninitialized);
    frame[0] = char(0x80 | opcode);
    frame[1] = char(0x80 | payload.size());
    const quint32 mask = QRandomGenerator::global()->generate();
    for (int i = 0; i < 4; ++i)
        frame += char(mask >> (8 * i));
    for (int i = 0; i < payload.size(); ++i)
        frame += char(payload[i] ^ frame[2 + i % 4]);
    socket_->write(frame);
}

void SyncSocket::Answer() {
    if (!pingOwed_ || !socket_ || state_ != State::Open || socket_->bytesToWrite() > 0)
        return;
    pingOwed_ = false;
    SendFrame(kPong, ping_);
}
