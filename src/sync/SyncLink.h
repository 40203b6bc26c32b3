// The follower's connection to its leader: pairs with the leader's remote
// server like a phone does (its PIN, POST /api/pair, with the role
// "follower"), then holds the WebSocket /sync open and hands on each valid
// state it receives. Gone (closed, refused, or silent for kSilentMs: the
// leader speaks every half second), it says so once and tries again every
// kRetryMs, pairing afresh when its session is no longer known. A wrong PIN
// is not tried again (LastError says so): a new one is needed.
//
// It goes nowhere but where it was told: a redirect (3xx) is never
// followed and fails the attempt (Trouble::Redirected; tried again after
// kClosedRetryMs), and no cookie is kept but the session's own, sent only
// to the leader that gave it. An attempt (pairing and the /sync handshake)
// with no answer within kHandshakeMs is given up (Trouble::NoAnswer) and
// tried again after kRetryMs, twice as long after each further one in a
// row, up to kClosedRetryMs.
//
// What arrives is bounded (SyncMessage::kMaxBytes a message, a read buffer:
// see SyncSocket) and validated; only the newest message is read and, when
// valid, handed on, at most one every kHandOnMs, however fast they come.
#pragma once

#include "sync/SyncMessage.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;
class SyncSocket;

class SyncLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 1000;
    // Pairing closed on the leader: asked again this often.
    static constexpr int kClosedRetryMs = 15000;
    static constexpr int kSilentMs = 2500;
    static constexpr int kHandshakeMs = 5000;
    static constexpr int kHandOnMs = 50;

    // Why the last attempt failed, where the window says more than the
    // leader's own words.
    enum class Trouble { None, Redirected, NoAnswer };

    explicit SyncLink(QObject* parent = nullptr);
    ~SyncLink() override;

    // Starts (or restarts) following address:port with pin.
    void Start(const QString& address, quint16 port, const QString& pin);
    void Stop();
    bool IsConnected() const { return connected_; }
    QString Address() const { return address_; }
    // Why the last attempt failed ("wrong PIN"...); empty when it did not.
    QString LastError() const { return lastError_; }
    Trouble LastTrouble() const { return trouble_; }
    // Until the next attempt; 0 while one is under way.
    int RetryInMs() const { return retry_.isActive() ? retry_.remainingTime() : 0; }
    // Messages read and refused as invalid since Start (of those that came
    // faster than they are handed on, only the newest is read).
    int Refused() const { return refused_; }

signals:
    void StateReceived(const SyncState& state);
    void Connected();
    // The connection that was up is gone.
    void Lost();

private:
    void Attempt();
    void Pair();
    void OpenSocket();
    void Dropped(const QString& why);
    void GaveUp();
    void OnMessage(const QByteArray& text);
    void HandOn();

    QNetworkAccessManager* net_;
    QPointer<QNetworkReply> pairing_;
    SyncSocket* socket_ = nullptr;
    QString address_;
    quint16 port_ = 0;
    QString pin_;
    QByteArray token_;
    bool running_ = false;
    bool connected_ = false;
    QString lastError_;
    Trouble trouble_ = Trouble::None;
    int unanswered_ = 0; // attempts in a row given up for no answer
    int refused_ = 0;
    uint64_t lastSeq_ = 0;
    QByteArray pendingText_; // the newest message, read when handed on
    QElapsedTimer handedOn_;
    QTimer retry_;
    QTimer silence_;
    QTimer handshake_;
    QTimer handOn_;
};
