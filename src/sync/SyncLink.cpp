#include "sync/SyncLink.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

namespace {
constexpr const char* kCookieName = "tavrelo_session";

QString HostPart(const QString& address) {
    // An IPv6 address is bracketed in a URL.
    return QHostAddress(address).protocol() == QAbstractSocket::IPv6Protocol
               ? QLatin1Char('[') + address + QLatin1Char(']')
               : address;
}
} // namespace

SyncLink::SyncLink(QObject* parent) : QObject(parent), net_(new QNetworkAccessManager(this)) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &SyncLink::Attempt);
    silence_.setSingleShot(true);
    silence_.setInterval(kSilentMs);
    connect(&silence_, &QTimer::timeout, this,
            [this] { Dropped(QCoreApplication::translate("Messages", "the leader fell silent")); });
}

SyncLink::~SyncLink() {
    Stop();
}

void SyncLink::Start(const QString& address, quint16 port, const QString& pin) {
    Stop();
    address_ = address;
    port_ = port;
    pin_ = pin;
    running_ = true;
    refused_ = 0;
    lastError_.clear();
    Attempt();
}

void SyncLink::Stop() {
    running_ = false;
    retry_.stop();
    silence_.stop();
    if (pairing_)
        pairing_->abort();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    connected_ = false;
    token_.clear();
    pending_.reset();
}

void SyncLink::Attempt() {
    if (!running_)
        return;
    if (token_.isEmpty())
        Pair();
    else
        OpenSocket();
}

void SyncLink::Pair() {
    QNetworkRequest request(
        QUrl(QStringLiteral("http://%1:%2/api/pair").arg(HostPart(address_)).arg(port_)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(kSilentMs);
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("pin"), pin_},
                                  {QStringLiteral("role"), QStringLiteral("follower")}})
            .toJson(QJsonDocument::Compact);
    QNetworkReply* reply = net_->post(request, body);
    pairing_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (!running_)
            return;
        const QByteArray answer = reply->read(4096);
        const QByteArray cookie = reply->rawHeader("Set-Cookie");
        QByteArray token;
        for (const QByteArray& part : cookie.split(';')) {
            const QByteArray kv = part.trimmed();
            if (kv.startsWith(QByteArray(kCookieName) + '='))
                token = kv.mid(int(qstrlen(kCookieName)) + 1);
        }
        if (reply->error() != QNetworkReply::NoError || token.isEmpty() || token.size() > 128) {
            const QJsonObject o = QJsonDocument::fromJson(answer).object();
            lastError_ = o.value(QStringLiteral("error")).toString().left(200);
            if (lastError_.isEmpty())
                lastError_ = reply->errorString().left(200);
            // A PIN the leader refused is not tried again and again: every
            // wrong try counts against pairing for all (a room of followers
            // with an old PIN would close it). Pairing closed is asked again
            // now and then; anything else (no answer yet, a player that does
            // not lead yet) soon.
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status == 429 || (status == 403 && lastError_ == QLatin1String("wrong PIN")))
                return;
            const bool closed = status == 403 && lastError_ != QLatin1String("not leading");
            retry_.start(closed ? kClosedRetryMs : kRetryMs);
            return;
        }
        token_ = token;
        OpenSocket();
    });
}

void SyncLink::OpenSocket() {
    // No Origin: a follower is no browser page (the server refuses a
    // follower socket that names one).
    socket_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    socket_->setMaxAllowedIncomingMessageSize(SyncMessage::kMaxBytes);
    socket_->setMaxAllowedIncomingFrameSize(SyncMessage::kMaxBytes);
    QNetworkRequest request(
        QUrl(QStringLiteral("ws://%1:%2/sync").arg(HostPart(address_)).arg(port_)));
    request.setRawHeader("Cookie", QByteArray(kCookieName) + '=' + token_);
    QWebSocket* ws = socket_;
    connect(ws, &QWebSocket::connected, this, [this] {
        connected_ = true;
        lastError_.clear();
        lastSeq_ = 0;
        silence_.start();
        emit Connected();
    });
    connect(ws, &QWebSocket::textMessageReceived, this, &SyncLink::OnMessage);
    connect(ws, &QWebSocket::binaryMessageReceived, this, [this] { ++refused_; });
    connect(ws, &QWebSocket::disconnected, this, [this, ws] {
        if (ws == socket_)
            Dropped(socket_->closeReason().left(200));
    });
    connect(ws, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, [this, ws] {
        if (ws == socket_)
            Dropped(socket_->errorString().left(200));
    });
    ws->open(request);
}

void SyncLink::Dropped(const QString& why) {
    const bool wasUp = connected_;
    connected_ = false;
    silence_.stop();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    // Never connected with this session: it is not known (any more); pair
    // again next time.
    if (!wasUp)
        token_.clear();
    if (!why.isEmpty())
        lastError_ = why;
    if (wasUp)
        emit Lost();
    if (running_)
        retry_.start(kRetryMs);
}

void SyncLink::OnMessage(const QString& text) {
    silence_.start();
    QString why;
    const std::optional<SyncState> s = SyncMessage::Decode(text.toUtf8(), &why);
    if (!s || s->Seq <= lastSeq_) {
        ++refused_;
        return;
    }
    lastSeq_ = s->Seq;
    const bool scheduled = pending_.has_value();
    pending_ = s;
    if (!scheduled)
        QTimer::singleShot(0, this, &SyncLink::HandOn);
}

void SyncLink::HandOn() {
    if (!pending_)
        return;
    const SyncState s = *pending_;
    pending_.reset();
    emit StateReceived(s);
}
