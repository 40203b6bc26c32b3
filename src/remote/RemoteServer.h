// The phone remote: one page for a phone's browser on the local network,
// served while the user has switched the remote on. Nothing else is served:
//   GET  /             the page (its style and script inline)
//   POST /api/pair     {"pin":"123456"} -> a session cookie (HttpOnly, SameSite=Strict)
//   POST /api/command  {"cmd":"next"} or {"cmd":"section","n":3}, with the cookie
//   GET  /api/state    the player's state, with the cookie
//   GET  /ws           a WebSocket pushing the state, with the cookie and our own Origin
// Every other path is 404; no file is ever read. Five wrong PINs within a
// minute lock pairing for a minute. Request bodies are small JSON (at most
// kMaxBodyBytes); a request larger than kMaxRequestBytes is cut off while it
// arrives. Commands are carried out after their answer has been sent: a
// command that starts a section waits inside the player, and the connection
// may be gone by then.
#pragma once

#include "remote/RemotePlayer.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
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
    static constexpr int kMaxWrongPins = 5;
    static constexpr int kLockMs = 60 * 1000; // also the window the wrong PINs are counted in
    static constexpr int kMaxSessions = 16;
    static constexpr int kMaxClients = 8;
    static constexpr const char* kCookieName = "tavrelo_session";

    // pin: six digits.
    TRemoteServer(TRemotePlayer* player, const QString& pin, QObject* parent = nullptr);
    ~TRemoteServer() override;

    // Starts listening; false with the reason in *error (a port in use).
    bool Listen(const QHostAddress& address, quint16 port, QString* error = nullptr);
    quint16 Port() const;
    int ClientCount() const { return int(clients_.size()); }
    bool PairingLocked() const;

    // The commands a page may send.
    static const QStringList& Commands();
    // The state as the page reads it.
    static QJsonObject StateJson(const TRemoteState& s);
    static QByteArray Page();

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
    void AcceptWebSockets();
    void PushState();

    QPointer<TRemotePlayer> player_;
    QString pin_;
    QSet<QByteArray> sessions_;
    std::deque<QByteArray> sessionOrder_; // oldest first, to drop beyond kMaxSessions
    std::deque<qint64> wrongPins_;        // clock_ ms of recent wrong PINs
    qint64 lockedUntil_ = -1;
    QElapsedTimer clock_;
    std::vector<std::unique_ptr<QWebSocket>> clients_;
    QTimer tick_; // the position while playing, once a second
};
