#include "remote/RemoteServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <cmath>
#include <sys/socket.h>
#include <unistd.h>

using Status = QHttpServerResponder::StatusCode;

namespace {

// Bounds what a connection may hold before the HTTP layer sees it:
//  - at most kMaxConnections at once, kMaxConnectionsPerAddress of them from
//    one address; one beyond is closed as soon as it is accepted, so that
//    idle connections cannot use up the process's descriptors. When all are
//    taken, a newcomer (from an address with room) whose request is there
//    takes the place of the oldest that has not sent a whole request yet,
//    else of the oldest idle one that never showed a paired session:
//    connections held open by someone who says nothing never shut a phone
//    out, and a paired phone's are never cut for someone new. Those closed
//    at once are closed before anything is made for them, and connections
//    are accepted in batches: a flood of them, opened again as fast as they
//    are closed, leaves the player its event loop;
//  - a request must be complete within kRequestMs of the connection (or of
//    the last answer), and a connection idle for kIdleMs is closed (a
//    WebSocket, once upgraded, is kept alive by pings instead);
//  - a request growing beyond kMaxRequestBytes is cut off while it arrives:
//    the HTTP layer would otherwise hold all of it in memory before anyone
//    could look at its size. The count starts again with every answer.
class TLimitedTcpServer : public QTcpServer {
    static constexpr const char* kPeerName = "tavrelo_peer";

public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override {
        // Connections keep coming as fast as they are closed in a flood:
        // after a batch, the others wait for the event loop's next pass (the
        // player, its timers and the answers go on meanwhile).
        if (++batch_ == kAcceptBatch) {
            pauseAccepting();
            QTimer::singleShot(0, this, [this] {
                batch_ = 0;
                resumeAccepting();
            });
        }
        // An address over its share is closed before anything is made for
        // it: a flood of them is closed as fast as it comes.
        // All taken, a newcomer that has sent nothing yet (as one held
        // open by someone who says nothing) is closed as well; one whose
        // request is there (a browser sends it with the connection) takes
        // the place of an older one (see MakeRoom).
        sockaddr_storage from{};
        socklen_t size = sizeof from;
        char first = 0;
        if (::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&from), &size) != 0 ||
            perAddress_.value(QHostAddress(reinterpret_cast<sockaddr*>(&from)).toString()) >=
                TRemoteServer::kMaxConnectionsPerAddress ||
            (total_ >= TRemoteServer::kMaxConnections &&
             (::recv(int(descriptor), &first, 1, MSG_PEEK | MSG_DONTWAIT) <= 0 || !MakeRoom()))) {
            ::close(int(descriptor));
            return;
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(int(descriptor));
            delete socket;
            return;
        }
        const QString peer = socket->peerAddress().toString();
        ++total_;
        ++perAddress_[peer];
        socket->setProperty(kPeerName, peer);
        held_.push_back(socket);
        connect(socket, &QObject::destroyed, this, [this, socket] { Release(socket); });
        auto* deadline = new QTimer(socket);
        deadline->setObjectName(QLatin1String(kDeadlineName));
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        deadline->start(TRemoteServer::kRequestMs);
        // Connected before the HTTP layer's own handler: sees every chunk
        // before it is consumed.
        auto received = std::make_shared<qint64>(0);
        connect(socket, &QTcpSocket::readyRead, socket, [socket, received] {
            *received += socket->bytesAvailable();
            if (*received > TRemoteServer::kMaxRequestBytes)
                socket->abort();
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, [received, deadline] {
            *received = 0;
            if (deadline->isActive())
                deadline->start(TRemoteServer::kIdleMs);
        });
        addPendingConnection(socket);
    }

public:
    static constexpr const char* kDeadlineName = "tavrelo_deadline";
    int Connections() const { return total_; }
    // A whole request came in on socket (paired: with a paired session, or
    // pairing): it is no longer the first to make room for a newcomer
    // (paired: never).
    static void Answered(QTcpSocket* socket, bool paired) {
        socket->setProperty(kAnsweredName, true);
        if (paired)
            socket->setProperty(kPairedName, true);
    }
    // No longer counted: closed, or become a WebSocket (counted among the
    // clients from then on; the HTTP layer lets go of its signals).
    void Release(QTcpSocket* socket) {
        const QVariant peer = socket->property(kPeerName);
        if (!peer.isValid())
            return;
        socket->setProperty(kPeerName, QVariant());
        held_.erase(std::find(held_.begin(), held_.end(), socket));
        --total_;
        if (--perAddress_[peer.toString()] <= 0)
            perAddress_.remove(peer.toString());
    }

private:
    static constexpr const char* kAnsweredName = "tavrelo_answered";
    static constexpr const char* kPairedName = "tavrelo_paired";

    // What socket has received and the HTTP layer not yet read: -1 none, 0
    // part of a request head, 1 a whole head (its request is answered in a
    // moment; a phone's browser sends it with the connection).
    static int Pending(QTcpSocket* socket) {
        QByteArray in = socket->peek(socket->bytesAvailable());
        static thread_local char kernel[TRemoteServer::kMaxRequestBytes];
        const ssize_t n =
            ::recv(int(socket->socketDescriptor()), kernel, sizeof kernel, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0)
            in.append(kernel, n);
        return in.isEmpty() ? -1 : in.contains("\r\n\r\n") ? 1 : 0;
    }

    // Closes the connection whose place a newcomer takes: the oldest that
    // has sent nothing, else the oldest with part of a request head, else
    // the oldest idle one after its answers; never a paired one, nor one
    // whose whole request is there. False when none may be closed.
    bool MakeRoom() {
        QTcpSocket* silent = nullptr;
        QTcpSocket* partial = nullptr;
        QTcpSocket* idle = nullptr;
        for (QTcpSocket* s : held_) {
            if (s->property(kPairedName).isValid())
                continue;
            const int pending = Pending(s);
            if (pending == 1)
                continue;
            if (s->property(kAnsweredName).isValid()) {
                if (!idle && pending < 0)
                    idle = s;
            } else if (pending < 0) {
                silent = s;
                break;
            } else if (!partial) {
                partial = s;
            }
        }
        QTcpSocket* cut = silent ? silent : partial ? partial : idle;
        if (!cut)
            return false;
        // Counted out before it is closed (its end is said at once, and the
        // HTTP layer deletes it later).
        Release(cut);
        cut->abort();
        return true;
    }

    static constexpr int kAcceptBatch = 64;
    int batch_ = 0;
    int total_ = 0;
    QHash<QString, int> perAddress_;
    std::vector<QTcpSocket*> held_; // counted, oldest first
};

QByteArray Json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject Error(const QString& text) {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

// The page's own inline style and script, and requests to where it came from.
const QByteArray kPolicy = "default-src 'none'; style-src 'unsafe-inline'; "
                           "script-src 'unsafe-inline'; connect-src 'self'; base-uri 'none'; "
                           "form-action 'none'; frame-ancestors 'none'";

// Every answer: never cached, never sniffed into another type, never framed.
// Written piece by piece (as the responder's one-call write does) so that the
// cookie is a header only when there is one.
void Reply(QHttpServerResponder& responder, Status status, const QByteArray& body,
           const QByteArray& type = "application/json", const QByteArray& cookie = {}) {
    responder.writeStatusLine(status);
    responder.writeHeaders({{"Content-Type", type},
                            {"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"X-Frame-Options", "DENY"},
                            {"Referrer-Policy", "no-referrer"},
                            {"Content-Security-Policy", kPolicy}});
    if (!cookie.isEmpty())
        responder.writeHeader("Set-Cookie", cookie);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(body);
}

void ReplyError(QHttpServerResponder& responder, Status status, const QString& text) {
    Reply(responder, status, Json(Error(text)));
}

// The session token of a request's Cookie header, if it has one.
QByteArray SessionCookie(const QByteArray& header) {
    for (const QByteArray& part : header.split(';')) {
        const QByteArray kv = part.trimmed();
        const int eq = kv.indexOf('=');
        if (eq > 0 && kv.left(eq) == TRemoteServer::kCookieName)
            return kv.mid(eq + 1);
    }
    return {};
}

QByteArray NewToken() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

} // namespace

TRemoteServer::TRemoteServer(TRemotePlayer* player, const QString& pin, QObject* parent)
    : QAbstractHttpServer(parent), player_(player), pin_(pin) {
    clock_.start();
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &TRemoteServer::AcceptWebSockets);
    if (player)
        connect(player, &TRemotePlayer::StateChanged, this, &TRemoteServer::PushState);
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, [this] {
        const qint64 now = clock_.elapsed();
        // Gone without a word: its disconnect drops it from its list, at
        // once (abort() says so before it returns), so that the sockets to
        // cut are picked first and cut from that copy.
        std::vector<QPointer<QWebSocket>> quiet;
        for (const QPointer<QWebSocket>& c : Sockets())
            if (now - heard_.value(c.get()) > idleMs_)
                quiet.push_back(c);
        for (const QPointer<QWebSocket>& c : quiet)
            if (c)
                c->abort();
        if (now - pinged_ >= pingMs_) {
            pinged_ = now;
            for (const QPointer<QWebSocket>& c : Sockets())
                if (c)
                    c->ping();
        }
        if (player_ && player_->State().Status == QLatin1String("Playing"))
            PushState();
    });
    OpenPairing();
}

TRemoteServer::~TRemoteServer() {
    // Taken out of the lists before they are closed: a closing socket says
    // so to whoever still listens.
    for (auto* list : {&clients_, &followers_}) {
        std::vector<std::unique_ptr<QWebSocket>> closing;
        closing.swap(*list);
        for (auto& c : closing)
            c->disconnect(this);
    }
}

std::vector<QPointer<QWebSocket>> TRemoteServer::Sockets(bool phones, bool followers) const {
    std::vector<QPointer<QWebSocket>> out;
    if (phones)
        for (const auto& c : clients_)
            out.emplace_back(c.get());
    if (followers)
        for (const auto& f : followers_)
            out.emplace_back(f.get());
    return out;
}

void TRemoteServer::SetKeepAlive(int pingMs, int idleMs) {
    pingMs_ = pingMs;
    idleMs_ = idleMs;
}

bool TRemoteServer::Listen(const QHostAddress& address, quint16 port, QString* error) {
    auto* server = new TLimitedTcpServer(this);
    // Connections waiting to be accepted: room for many (those over the
    // bounds are closed as soon as they are accepted), so that a phone's
    // connection is queued behind someone's flood of them, not dropped and
    // tried again by its system a second later.
    server->setListenBacklogSize(TRemoteServer::kListenBacklog);
    if (!server->listen(address, port)) {
        if (error)
            *error = server->errorString();
        delete server;
        return false;
    }
    bind(server);
    return true;
}

quint16 TRemoteServer::Port() const {
    const QList<QTcpServer*> list = servers();
    return list.isEmpty() ? 0 : list.first()->serverPort();
}

void TRemoteServer::OpenPairing(int ms) {
    pairingUntil_ = clock_.elapsed() + ms;
    pairingShut_ = ms <= 0;
    wrongPins_.clear();
}

bool TRemoteServer::PairingOpen() const {
    return clock_.elapsed() < pairingUntil_;
}

bool TRemoteServer::PinLocked(const QString& address) const {
    const auto it = wrongPins_.constFind(address);
    return it != wrongPins_.cend() && clock_.elapsed() < it->Until;
}

qint64 TRemoteServer::LastPinWaitMs(const QString& address) const {
    return wrongPins_.value(address).WaitMs;
}

void TRemoteServer::CountWrongPin(const QString& address) {
    const qint64 now = clock_.elapsed();
    if (!wrongPins_.contains(address) && wrongPins_.size() >= kMaxPinAddresses) {
        // Full: those no longer waiting go first, else the one whose wait
        // ends soonest.
        for (auto it = wrongPins_.begin(); it != wrongPins_.end();)
            it = it->Until <= now ? wrongPins_.erase(it) : std::next(it);
        if (wrongPins_.size() >= kMaxPinAddresses) {
            auto soonest = wrongPins_.begin();
            for (auto it = wrongPins_.begin(); it != wrongPins_.end(); ++it)
                if (it->Until < soonest->Until)
                    soonest = it;
            wrongPins_.erase(soonest);
        }
    }
    TWrongPins& w = wrongPins_[address];
    if (++w.Count < kMaxWrongPins)
        return;
    w.Count = 0;
    w.WaitMs = std::min<qint64>(qint64(lockoutMs_) << std::min(w.Waits, 20), kMaxLockoutMs);
    w.Until = now + w.WaitMs;
    ++w.Waits;
}

int TRemoteServer::ConnectionCount() const {
    int n = 0;
    for (QTcpServer* server : servers())
        if (auto* limited = dynamic_cast<TLimitedTcpServer*>(server))
            n += limited->Connections();
    return n;
}

namespace {

// Every command a page may send and what it asks of the player; the one list
// the validation and the dispatch both read. n is the section number of
// "section", checked before.
struct TRemoteCommand {
    const char* Name;
    void (*Run)(TRemotePlayer* p, int n);
};

const TRemoteCommand kRemoteCommands[] = {
    {"playpause", [](TRemotePlayer* p, int) { p->PlayPause(); }},
    {"play", [](TRemotePlayer* p, int) { p->Play(); }},
    {"pause", [](TRemotePlayer* p, int) { p->Pause(); }},
    {"stop", [](TRemotePlayer* p, int) { p->Stop(); }},
    {"back", [](TRemotePlayer* p, int) { p->Skip(-10); }},
    {"forward", [](TRemotePlayer* p, int) { p->Skip(10); }},
    {"prev", [](TRemotePlayer* p, int) { p->PreviousSection(); }},
    {"next", [](TRemotePlayer* p, int) { p->NextSection(); }},
    {"restart", [](TRemotePlayer* p, int) { p->RestartSection(); }},
    {"section", [](TRemotePlayer* p, int n) { p->PlaySectionNumber(n); }},
    {"slower", [](TRemotePlayer* p, int) { p->RateStep(-1); }},
    {"faster", [](TRemotePlayer* p, int) { p->RateStep(1); }},
    {"quieter", [](TRemotePlayer* p, int) { p->VolumeStep(-5); }},
    {"louder", [](TRemotePlayer* p, int) { p->VolumeStep(5); }},
    {"controls", [](TRemotePlayer* p, int) { p->ToggleControls(); }},
};

} // namespace

const QStringList& TRemoteServer::Commands() {
    static const QStringList commands = [] {
        QStringList names;
        for (const TRemoteCommand& c : kRemoteCommands)
            names << QLatin1String(c.Name);
        return names;
    }();
    return commands;
}

QJsonObject TRemoteServer::StateJson(const TRemoteState& s) {
    return {{QStringLiteral("type"), QStringLiteral("state")},
            {QStringLiteral("status"), s.Status},
            {QStringLiteral("file"), s.File},
            {QStringLiteral("section"), s.Section},
            {QStringLiteral("sections"), s.SectionCount},
            {QStringLiteral("description"), s.Description},
            {QStringLiteral("repeat"), s.RepeatText()},
            {QStringLiteral("positionMs"), double(s.PositionMs)},
            {QStringLiteral("durationMs"), double(s.DurationMs)},
            {QStringLiteral("rate"), s.Rate},
            {QStringLiteral("volume"), int(std::lround(s.Volume / 100.0))},
            {QStringLiteral("endMode"), s.EndMode},
            {QStringLiteral("controls"), s.ControlsVisible}};
}

QByteArray TRemoteServer::Page() {
    QFile f(QStringLiteral(":/remote/RemotePage.html"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray page = f.readAll();
    // The page follows the window's language: the catalogue in use names
    // it, and the page's script picks its texts by <html lang>.
    const QString lang = QCoreApplication::translate(
        "TRemoteServer", "zh", "the language code of the phone page in this catalogue");
    if (lang == QLatin1String("en"))
        page.replace("<html lang=\"zh\">", "<html lang=\"en\">");
    return page;
}

bool TRemoteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // Only these exact paths exist; "/../x", "/%2e%2e/x" and the like are
    // simply other paths.
    const QString path = request.url().path(QUrl::FullyEncoded);
    const auto method = request.method();
    QHttpServerResponder responder = makeResponder(request, socket);
    auto refuse = [&responder](Status status, const QString& text) {
        ReplyError(responder, status, text);
        return true;
    };
    TLimitedTcpServer::Answered(socket, HasSession(request));
    if (!OwnHost(request, socket))
        return refuse(Status::MisdirectedRequest, QStringLiteral("unknown host"));
    // A WebSocket handshake, taken as handled without an answer, is taken
    // over by the HTTP layer and reaches AcceptWebSockets, which checks it
    // and keeps it alive by pings from then on.
    if ((path == QLatin1String("/ws") || (path == QLatin1String("/sync") && leading_)) &&
        request.value("Upgrade").toLower() == "websocket") {
        if (auto* deadline = socket->findChild<QTimer*>(TLimitedTcpServer::kDeadlineName))
            deadline->stop();
        for (QTcpServer* server : servers())
            if (auto* limited = dynamic_cast<TLimitedTcpServer*>(server))
                limited->Release(socket);
        return true;
    }
    if (path == QLatin1String("/")) {
        if (method != QHttpServerRequest::Method::Get)
            return refuse(Status::MethodNotAllowed, QStringLiteral("GET only"));
        Reply(responder, Status::Ok, Page(), "text/html; charset=utf-8");
    } else if (path == QLatin1String("/api/pair")) {
        if (method != QHttpServerRequest::Method::Post)
            return refuse(Status::MethodNotAllowed, QStringLiteral("POST only"));
        if (!SameOrigin(request))
            return refuse(Status::Forbidden, QStringLiteral("foreign origin"));
        const QString peer = socket->peerAddress().toString();
        const QByteArray body = request.body();
        if (body.size() > kMaxBodyBytes)
            return refuse(Status::PayloadTooLarge, QStringLiteral("too large"));
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
        const QJsonObject o = doc.object();
        const QJsonValue pin = o.value(QStringLiteral("pin"));
        // A follower names its role; a phone names none.
        const QJsonValue role = o.value(QStringLiteral("role"));
        const bool follower = role == QJsonValue(QStringLiteral("follower"));
        if (error.error != QJsonParseError::NoError || !doc.isObject() || !pin.isString() ||
            o.size() != (o.contains(QStringLiteral("role")) ? 2 : 1) ||
            (o.contains(QStringLiteral("role")) && !follower))
            return refuse(Status::BadRequest, QStringLiteral("expected {\"pin\"}"));
        if (follower && !leading_)
            return refuse(Status::Forbidden, QStringLiteral("not leading"));
        if (!(PairingOpen() || (follower && !pairingShut_)))
            return refuse(Status::Forbidden,
                          QStringLiteral("pairing is closed: renew the PIN on the player"));
        if (PinLocked(peer)) {
            const qint64 seconds = (wrongPins_.value(peer).Until - clock_.elapsed() + 999) / 1000;
            Reply(responder, Status::TooManyRequests,
                  Json({{QStringLiteral("ok"), false},
                        {QStringLiteral("error"),
                         QCoreApplication::translate("Messages",
                                                     "too many wrong PINs: try again in %1 s")
                             .arg(seconds)},
                        {QStringLiteral("retryAfter"), double(seconds)}}));
            return true;
        }
        if (pin.toString() != pin_ || pin_.size() != 6) {
            CountWrongPin(peer);
            return refuse(Status::Forbidden, QStringLiteral("wrong PIN"));
        }
        TLimitedTcpServer::Answered(socket, true);
        const QByteArray token = NewToken();
        // Followers' sessions are kept apart: they open /sync only, and a
        // room of them never pushes the phones' sessions out.
        QSet<QByteArray>& kept = follower ? followerSessions_ : sessions_;
        std::deque<QByteArray>& order = follower ? followerOrder_ : sessionOrder_;
        const int most = follower ? kMaxFollowerSessions : kMaxSessions;
        kept.insert(token);
        order.push_back(token);
        while (int(order.size()) > most) {
            kept.remove(order.front());
            order.pop_front();
        }
        Reply(responder, Status::Ok, Json({{QStringLiteral("ok"), true}}), "application/json",
              QByteArray(kCookieName) + '=' + token + "; Path=/; HttpOnly; SameSite=Strict");
    } else if (path == QLatin1String("/api/command")) {
        if (method != QHttpServerRequest::Method::Post)
            return refuse(Status::MethodNotAllowed, QStringLiteral("POST only"));
        if (!SameOrigin(request))
            return refuse(Status::Forbidden, QStringLiteral("foreign origin"));
        if (!HasSession(request))
            return refuse(Status::Unauthorized, QStringLiteral("not paired"));
        const QByteArray body = request.body();
        if (body.size() > kMaxBodyBytes)
            return refuse(Status::PayloadTooLarge, QStringLiteral("too large"));
        QString cmd;
        int n = 0;
        const QString why = ParseCommand(body, &cmd, &n);
        if (!why.isEmpty())
            return refuse(Status::BadRequest, why);
        if (player_ && player_->Busy())
            return refuse(Status::Conflict,
                          QStringLiteral("following a leader, which steers: not done"));
        Reply(responder, Status::Ok, Json({{QStringLiteral("ok"), true}}));
        QTimer::singleShot(0, this, [this, cmd, n] { Run(cmd, n); });
    } else if (path == QLatin1String("/api/state")) {
        if (method != QHttpServerRequest::Method::Get)
            return refuse(Status::MethodNotAllowed, QStringLiteral("GET only"));
        if (!HasSession(request))
            return refuse(Status::Unauthorized, QStringLiteral("not paired"));
        Reply(responder, Status::Ok, Json(StateJson(player_ ? player_->State() : TRemoteState{})));
    } else {
        ReplyError(responder, Status::NotFound, QStringLiteral("not found"));
    }
    return true;
}

void TRemoteServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    TLimitedTcpServer::Answered(socket, false);
    QHttpServerResponder responder = makeResponder(request, socket);
    ReplyError(responder, Status::NotFound, QStringLiteral("not found"));
}

bool TRemoteServer::HasSession(const QHttpServerRequest& request) const {
    const QByteArray token = SessionCookie(request.value("Cookie"));
    return !token.isEmpty() && sessions_.contains(token);
}

bool TRemoteServer::OwnHost(const QHttpServerRequest& request, const QTcpSocket* socket) {
    // The address the connection came in on, as a browser names it.
    const QHostAddress local = socket->localAddress();
    const QString address = local.protocol() == QAbstractSocket::IPv6Protocol
                                ? QLatin1Char('[') + local.toString() + QLatin1Char(']')
                                : local.toString();
    const QByteArray host = request.value("Host").toLower();
    return host == QStringLiteral("%1:%2").arg(address).arg(socket->localPort()).toLatin1() ||
           (socket->localPort() == 80 && host == address.toLatin1());
}

bool TRemoteServer::SameOrigin(const QHttpServerRequest& request) const {
    // A browser names the page that sends a request; one of another site
    // may not pair or command. Clients that are no browser send none.
    const QByteArray origin = request.value("Origin");
    if (origin.isEmpty())
        return true;
    return origin == "http://" + request.value("Host");
}

QString TRemoteServer::ParseCommand(const QByteArray& body, QString* cmd, int* n) const {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return QStringLiteral("not a JSON object");
    const QJsonObject o = doc.object();
    for (const QString& key : o.keys())
        if (key != QLatin1String("cmd") && key != QLatin1String("n"))
            return QStringLiteral("unknown field %1").arg(key.left(32));
    const QJsonValue c = o.value(QStringLiteral("cmd"));
    if (!c.isString() || !Commands().contains(c.toString()))
        return QStringLiteral("unknown command");
    *cmd = c.toString();
    const bool wantsNumber = *cmd == QLatin1String("section");
    if (!wantsNumber)
        return o.contains(QStringLiteral("n")) ? QStringLiteral("unexpected n") : QString();
    const QJsonValue v = o.value(QStringLiteral("n"));
    const double d = v.toDouble(-1);
    const int sections = player_ ? player_->State().SectionCount : 0;
    if (!v.isDouble() || d != std::floor(d) || d < 1 || d > sections)
        return QStringLiteral("n must be a section number 1..%1").arg(sections);
    *n = int(d);
    return {};
}

void TRemoteServer::Run(const QString& cmd, int n) {
    if (!player_)
        return;
    for (const TRemoteCommand& c : kRemoteCommands)
        if (cmd == QLatin1String(c.Name))
            return c.Run(player_, n);
}

void TRemoteServer::AcceptWebSockets() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> ws = nextPendingWebSocketConnection();
        if (!ws)
            continue;
        // The page's own origin only (a page of another site could otherwise
        // open it with the phone's cookie), and a paired session.
        const QUrl url = ws->requestUrl();
        if (url.path() == QLatin1String("/sync")) {
            if (!AcceptFollower(ws)) {
                ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("refused"));
                QWebSocket* raw = ws.release();
                raw->deleteLater();
            }
            continue;
        }
        QString expected = QStringLiteral("http://") + url.host();
        if (url.port() >= 0)
            expected += QStringLiteral(":%1").arg(url.port());
        const QByteArray token = SessionCookie(ws->request().rawHeader("Cookie"));
        const bool ok = url.path() == QLatin1String("/ws") && ws->origin() == expected &&
                        !token.isEmpty() && sessions_.contains(token) &&
                        int(clients_.size()) < kMaxClients;
        if (!ok) {
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("refused"));
            QWebSocket* raw = ws.release();
            raw->deleteLater();
            continue;
        }
        ws->setMaxAllowedIncomingMessageSize(kMaxBodyBytes);
        ws->setMaxAllowedIncomingFrameSize(kMaxBodyBytes);
        QWebSocket* raw = ws.get();
        WatchSocket(raw, clients_);
        raw->sendTextMessage(
            QString::fromUtf8(Json(StateJson(player_ ? player_->State() : TRemoteState{}))));
        clients_.push_back(std::move(ws));
        tick_.start();
    }
}

void TRemoteServer::WatchSocket(QWebSocket* raw, std::vector<std::unique_ptr<QWebSocket>>& list) {
    heard_.insert(raw, clock_.elapsed());
    connect(raw, &QWebSocket::pong, this, [this, raw] { heard_[raw] = clock_.elapsed(); });
    connect(raw, &QWebSocket::textMessageReceived, this,
            [this, raw] { heard_[raw] = clock_.elapsed(); });
    connect(raw, &QWebSocket::disconnected, this, [this, raw, &list] {
        heard_.remove(raw);
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->get() == raw) {
                it->release()->deleteLater();
                list.erase(it);
                break;
            }
        if (&list == &followers_)
            emit FollowersChanged(int(followers_.size()));
        if (clients_.empty() && followers_.empty())
            tick_.stop();
    });
}

bool TRemoteServer::AcceptFollower(std::unique_ptr<QWebSocket>& ws) {
    // A player paired as a follower, while leading; no browser page (a
    // page always names its origin).
    const QByteArray token = SessionCookie(ws->request().rawHeader("Cookie"));
    if (!leading_ || !ws->origin().isEmpty() || token.isEmpty() ||
        !followerSessions_.contains(token) || int(followers_.size()) >= kMaxFollowers)
        return false;
    // A follower only listens: anything it says beyond a short word closes it.
    ws->setMaxAllowedIncomingMessageSize(64);
    ws->setMaxAllowedIncomingFrameSize(64);
    QWebSocket* raw = ws.get();
    WatchSocket(raw, followers_);
    if (!sync_.isEmpty())
        raw->sendTextMessage(QString::fromUtf8(sync_));
    followers_.push_back(std::move(ws));
    tick_.start();
    emit FollowersChanged(int(followers_.size()));
    return true;
}

void TRemoteServer::SetLeading(bool on) {
    if (leading_ == on)
        return;
    leading_ = on;
    sync_.clear();
    if (on)
        return;
    // Their sessions stay: leading again, they come back without pairing.
    // A close may drop a follower from the list at once: closed from a copy.
    for (const QPointer<QWebSocket>& f : Sockets(false, true))
        if (f)
            f->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("not leading"));
}

void TRemoteServer::PublishSync(const QByteArray& message) {
    if (!leading_)
        return;
    sync_ = message;
    const QString text = QString::fromUtf8(message);
    // (A send that fails closes its socket: from a copy, as every walk
    // that may close.)
    for (const QPointer<QWebSocket>& f : Sockets(false, true))
        if (f && f->bytesToWrite() <= kMaxFollowerBacklog)
            f->sendTextMessage(text);
}

qint64 TRemoteServer::FollowerBacklog() const {
    qint64 most = 0;
    for (const auto& f : followers_)
        most = std::max(most, f->bytesToWrite());
    return most;
}

void TRemoteServer::FlushFollowers() {
    for (const QPointer<QWebSocket>& f : Sockets(false, true))
        if (f)
            f->flush();
}

void TRemoteServer::PushState() {
    if (clients_.empty() || !player_)
        return;
    const QString text = QString::fromUtf8(Json(StateJson(player_->State())));
    for (const QPointer<QWebSocket>& c : Sockets(true, false))
        if (c)
            c->sendTextMessage(text);
}
