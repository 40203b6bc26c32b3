#include "sync/SyncLink.h"

#include "sync/SyncSocket.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

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
    net_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &SyncLink::Attempt);
    silence_.setSingleShot(true);
    silence_.setInterval(kSilentMs);
    connect(&silence_, &QTimer::timeout, this,
            [this] { Dropped(QCoreApplication::translate("Messages", "the leader fell silent")); });
    handshake_.setSingleShot(true);
    handshake_.setInterval(kHandshakeMs);
    connect(&handshake_, &QTimer::timeout, this, &SyncLink::GaveUp);
    handOn_.setSingleShot(true);
    connect(&handOn_, &QTimer::timeout, this, &SyncLink::HandOn);
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
    unanswered_ = 0;
    lastError_.clear();
    trouble_ = Trouble::None;
    Attempt();
}

void SyncLink::Stop() {
    running_ = false;
    retry_.stop();
    silence_.stop();
    handshake_.stop();
    handOn_.stop();
    if (pairing_)
        pairing_->abort();
    if (socket_) {
        socket_->disconnect(this);
        socket_->Abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    connected_ = false;
    token_.clear();
    pendingText_.clear();
}

void SyncLink::Attempt() {
    if (!running_)
        return;
    handshake_.start();
    if (token_.isEmpty())
        Pair();
    else
        OpenSocket();
}

void SyncLink::Pair() {
    QNetworkRequest request(
        QUrl(QStringLiteral("http://%1:%2/api/pair").arg(HostPart(address_)).arg(port_)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // Answered here or nowhere; and no cookie jar: the session's cookie is
    // taken from this answer and sent to this leader only.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("pin"), pin_},
                                  {QStringLiteral("role"), QStringLiteral("follower")}})
            .toJson(QJsonDocument::Compact);
    QNetworkReply* reply = net_->post(request, body);
    // A longer answer stalls, and the attempt is given up.
    reply->setReadBufferSize(16 * 1024);
    pairing_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (!running_ || reply != pairing_)
            return;
        const QByteArray answer = reply->read(4096);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray cookie = reply->rawHeader("Set-Cookie");
        QByteArray token;
        for (const QByteArray& part : cookie.split(';')) {
            const QByteArray kv = part.trimmed();
            if (kv.startsWith(QByteArray(kCookieName) + '='))
                token = kv.mid(int(qstrlen(kCookieName)) + 1);
        }
        if (status >= 300 && status < 400) {
            handshake_.stop();
            lastError_ = QStringLiteral("redirected");
            trouble_ = Trouble::Redirected;
            retry_.start(kClosedRetryMs);
            return;
        }
        if (reply->error() != QNetworkReply::NoError || status != 200 || token.isEmpty() ||
            token.size() > 128) {
            handshake_.stop();
            trouble_ = Trouble::None;
            const QJsonObject o = QJsonDocument::fromJson(answer).object();
            lastError_ = o.value(QStringLiteral("error")).toString().left(200);
            if (lastError_.isEmpty())
                lastError_ = reply->errorString().left(200);
            // A PIN the leader refused is not tried again and again: every
            // wrong try counts against pairing for all (a room of followers
            // with an old PIN would close it). Pairing closed is asked again
            // now and then; anything else (no answer yet, a player that does
            // not lead yet) soon.
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
    socket_ = new SyncSocket(this);
    SyncSocket* ws = socket_;
    connect(ws, &SyncSocket::Opened, this, [this] {
        handshake_.stop();
        connected_ = true;
        lastError_.clear();
        trouble_ = Trouble::None;
        unanswered_ = 0;
        lastSeq_ = 0;
        silence_.start();
        emit Connected();
    });
    connect(ws, &SyncSocket::TextReceived, this, &SyncLink::OnMessage);
    connect(ws, &SyncSocket::BinaryReceived, this, [this] { ++refused_; });
    connect(ws, &SyncSocket::Closed, this, [this, ws](const QString& why) {
        if (ws != socket_)
            return;
        const bool redirected = ws->Redirected();
        Dropped(why);
        if (redirected) {
            trouble_ = Trouble::Redirected;
            if (running_)
                retry_.start(kClosedRetryMs);
        }
    });
    ws->Open(address_, port_, QByteArray(kCookieName) + '=' + token_);
}

void SyncLink::Dropped(const QString& why) {
    const bool wasUp = connected_;
    connected_ = false;
    silence_.stop();
    handshake_.stop();
    trouble_ = Trouble::None;
    if (socket_) {
        socket_->disconnect(this);
        socket_->Abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    // Never connected with this session: it is not known (any more); pair
    // again next time.
    if (!wasUp)
        token_.clear();
    if (!why.isEmpty())
        lastError_ = why;
    if (wasUp) {
        // What came before the loss is handed on before it (the leader's
        // last word), never after: a state handed on later would have the
        // follower play on as if the leader were there.
        if (handOn_.isActive()) {
            handOn_.stop();
            HandOn();
        }
        emit Lost();
    }
    if (running_)
        retry_.start(kRetryMs);
}

void SyncLink::GaveUp() {
    // No answer: a leader that is busy, or something that is not one. Asked
    // again later and later.
    if (QNetworkReply* reply = pairing_) {
        pairing_ = nullptr;
        reply->abort();
    }
    Dropped(QCoreApplication::translate("Messages", "no answer in %1 s").arg(kHandshakeMs / 1000));
    trouble_ = Trouble::NoAnswer;
    ++unanswered_;
    if (running_)
        retry_.start(std::min(kRetryMs << std::min(unanswered_ - 1, 4), kClosedRetryMs));
}

void SyncLink::OnMessage(const QByteArray& text) {
    silence_.start();
    // Read when it is handed on: of a flood, only the newest message is
    // ever decoded, at most one every kHandOnMs.
    pendingText_ = text;
    if (!handOn_.isActive())
        handOn_.start(handedOn_.isValid()
                          ? int(std::clamp<qint64>(kHandOnMs - handedOn_.elapsed(), 0, kHandOnMs))
                          : 0);
}

void SyncLink::HandOn() {
    if (pendingText_.isEmpty())
        return;
    const QByteArray text = std::exchange(pendingText_, {});
    handedOn_.start();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(text);
    const std::optional<SyncState> s = utf8.hasError() ? std::nullopt : SyncMessage::Decode(text);
    if (!s || s->Seq <= lastSeq_) {
        ++refused_;
        return;
    }
    lastSeq_ = s->Seq;
    emit StateReceived(*s);
}
