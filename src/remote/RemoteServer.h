// The phone remote: one page for a phone's browser on the local network,
// served while the user has switched the remote on. Nothing else is served:
//   GET  /             the page (its style and script inline)
//   POST /api/pair     {"pin":"123456"} -> a session cookie (HttpOnly, SameSite=Strict)
//   POST /api/command  {"cmd":"next"} or {"cmd":"section","n":3}, with the cookie
//   GET  /api/state    the player's state, with the cookie
//   GET  /ws           a WebSocket pushing the state, with the cookie and our own Origin
//   GET  /sync         while leading: a WebSocket pushing the room's state to a
//                      follower (another player paired with {"pin","role":"follower"});
//                      no Origin (a follower is no browser page)
// Every other path is 404; no file is ever read. A request must name the
// server itself in its Host header (the address it came in on, with the
// port): a page of another site that resolves its own name to us is refused.
// Pairing is open for kPairingMs after the remote is switched on or the PIN
// renewed. After kMaxWrongPins wrong PINs an address waits kLockoutMs before
// it may try again, and twice as long after each further kMaxWrongPins; the
// others pair on (wrong PINs from elsewhere never lock out the owner's phone
// or the room). While leading, a follower with the PIN pairs after that
// time too (a room's screens are switched on when they are, and come back
// after a restart), under the same counts of wrong PINs. Request bodies are small JSON (at most
// kMaxBodyBytes); a request larger than kMaxRequestBytes is cut off while it
// arrives. Commands are carried out after their answer has been sent: a
// command that starts a section waits inside the player, and the connection
// may be gone by then. One that arrives while the player follows a leader,
// which steers it, is answered 409 instead of "ok".
#pragma once

#include "remote/RemotePlayer.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

class QWebSocket;

class TRemoteServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr int kMaxBodyBytes = 1024;
    static constexpr int kMaxRequestBytes = 16 * 1024;
    static constexpr int kMaxWrongPins = 5; // from one address, then it waits
    static constexpr int kLockoutMs = 30 * 1000;
    static constexpr int kMaxLockoutMs = 60 * 60 * 1000;
    // Addresses whose wrong PINs are remembered at once (the longest-locked
    // are kept when more arrive).
    static constexpr int kMaxPinAddresses = 4096;
    static constexpr int kPairingMs = 2 * 60 * 1000;
    static constexpr int kMaxSessions = 16;
    static constexpr int kMaxClients = 8;
    // Connections held at once; a phone's browser uses a handful. When all
    // are taken, a newcomer takes the place of the oldest that has sent no
    // whole request (then of the oldest idle one never paired).
    static constexpr int kMaxConnections = 32;
    static constexpr int kMaxConnectionsPerAddress = 8;
    static constexpr int kListenBacklog = 4096;
    // A request must be complete this long after the connection was made
    // (or the last answer written); an idle connection is closed after
    // kIdleMs. A WebSocket is pinged every kPingMs and closed when it has
    // not answered for kIdleMs.
    static constexpr int kRequestMs = 10 * 1000;
    static constexpr int kIdleMs = 30 * 1000;
    static constexpr int kPingMs = 10 * 1000;
    static constexpr const char* kCookieName = "tavrelo_session";
    // A room: followers connected at once, their sessions kept, and what
    // may wait unsent for one (a slow or dead follower misses states, the
    // next one says it all, and never holds the leader up).
    static constexpr int kMaxFollowers = 32;
    static constexpr int kMaxFollowerSessions = 64;
    static constexpr int kMaxFollowerBacklog = 16 * 1024;

    // pin: six digits.
    TRemoteServer(TRemotePlayer* player, const QString& pin, QObject* parent = nullptr);
    ~TRemoteServer() override;

    // Starts listening; false with the reason in *error (a port in use).
    bool Listen(const QHostAddress& address, quint16 port, QString* error = nullptr);
    quint16 Port() const;
    int ClientCount() const { return int(clients_.size()); }
    // Opens pairing for ms from now, with no wrong PINs counted (the remote
    // switched on, the PIN shown anew); 0 closes it, for followers too.
    void OpenPairing(int ms = kPairingMs);
    bool PairingOpen() const;
    // The first wait of an address after its wrong PINs (kLockoutMs unless
    // set; each later one of the same address is twice the one before).
    void SetLockout(int ms) { lockoutMs_ = ms; }
    // Whether address waits now; how long its last wait was (0: none yet).
    bool PinLocked(const QString& address) const;
    qint64 LastPinWaitMs(const QString& address) const;
    // Connections accepted and not yet closed.
    int ConnectionCount() const;

    // How often a WebSocket is pinged, and how long it may stay unheard
    // before it is closed (kPingMs and kIdleMs unless set; a test's are
    // shorter).
    void SetKeepAlive(int pingMs, int idleMs);

    // Leading: /sync is served, and every Publish goes to the followers.
    void SetLeading(bool on);
    bool Leading() const { return leading_; }
    int FollowerCount() const { return int(followers_.size()); }
    // The most bytes waiting unsent for one follower.
    qint64 FollowerBacklog() const;
    // Sends message to every follower whose backlog allows (see
    // kMaxFollowerBacklog), and to each follower that joins later.
    void PublishSync(const QByteArray& message);
    // Hands what waits to the system at once (the program is about to end).
    void FlushFollowers();

    // The commands a page may send.
    static const QStringList& Commands();
    // The state as the page reads it.
    static QJsonObject StateJson(const TRemoteState& s);
    static QByteArray Page();

signals:
    void FollowersChanged(int count);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void Pair(const QHttpServerRequest& request, QTcpSocket* socket);
    void Command(const QHttpServerRequest& request, QTcpSocket* socket);
    // Empty when the body is a valid command; otherwise why not.
    QString ParseCommand(const QByteArray& body, QString* cmd, int* n) const;
    void Run(const QString& cmd, int n);
    bool HasSession(const QHttpServerRequest& request) const;
    bool SameOrigin(const QHttpServerRequest& request) const;
    static bool OwnHost(const QHttpServerRequest& request, const QTcpSocket* socket);
    void AcceptWebSockets();
    bool AcceptFollower(std::unique_ptr<QWebSocket>& ws);
    void WatchSocket(QWebSocket* raw, std::vector<std::unique_ptr<QWebSocket>>& list);
    void PushState();
    // The phones' and the followers' sockets as they are now: a walk that
    // may close one (which drops it from its list at once) goes over this.
    std::vector<QPointer<QWebSocket>> Sockets(bool phones = true, bool followers = true) const;

    QPointer<TRemotePlayer> player_;
    QString pin_;
    QSet<QByteArray> sessions_;
    QSet<QByteArray> followerSessions_;
    std::deque<QByteArray> followerOrder_;
    std::deque<QByteArray> sessionOrder_; // oldest first, to drop beyond kMaxSessions
    // Wrong PINs by address since pairing opened: how many since its last
    // wait, how many waits, the last one's length and end (clock_ ms).
    struct TWrongPins {
        int Count = 0;
        int Waits = 0;
        qint64 WaitMs = 0;
        qint64 Until = 0;
    };
    QHash<QString, TWrongPins> wrongPins_;
    // One more wrong PIN from address.
    void CountWrongPin(const QString& address);
    int lockoutMs_ = kLockoutMs;
    qint64 pairingUntil_ = -1; // clock_ ms
    bool pairingShut_ = true;  // closed outright, not only by time: followers too
    QElapsedTimer clock_;
    std::vector<std::unique_ptr<QWebSocket>> clients_;
    std::vector<std::unique_ptr<QWebSocket>> followers_;
    bool leading_ = false;
    QByteArray sync_;                  // the last state published
    QHash<QWebSocket*, qint64> heard_; // clock_ ms a client was last heard from
    qint64 pinged_ = 0;
    int pingMs_ = kPingMs;
    int idleMs_ = kIdleMs;
    QTimer tick_; // the position while playing, once a second; pings
};
