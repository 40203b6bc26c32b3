// The follower's end of /sync: the client side of a WebSocket, only as much
// of it as a follower needs, and careful with a leader that is not one. It
// sends its request once, with the session cookie given; anything but
// "101 Switching Protocols" with the right accept key fails it (a 3xx is
// never followed: Redirected says so). Open, it reads text messages of at
// most SyncMessage::kMaxBytes (a longer one or a frame it cannot take closes
// it), at most kReadChunk bytes an event-loop pass, so that a flood leaves
// the window its turns and its memory. A ping is answered at once when
// nothing waits to be sent, otherwise once that is out, for the latest ping
// only: a peer that sends pings and reads nothing never makes answers pile
// up.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

class SyncSocket : public QObject {
    Q_OBJECT
public:
    // Read from the network per pass of the event loop, at most.
    static constexpr int kReadChunk = 64 * 1024;
    // The answer to the request: its head, at most.
    static constexpr int kMaxHead = 8 * 1024;

    explicit SyncSocket(QObject* parent = nullptr);
    ~SyncSocket() override;

    // host: a name or an address (IPv6 without brackets).
    void Open(const QString& host, quint16 port, const QByteArray& cookie);
    void Abort();
    bool IsOpen() const { return state_ == State::Open; }
    // The answer was a redirect (3xx).
    bool Redirected() const { return redirected_; }

signals:
    void Opened();
    // A text message, as it came (its UTF-8 not yet checked).
    void TextReceived(const QByteArray& text);
    // A binary message (no leader sends one).
    void BinaryReceived();
    // Closed, refused or failed: why (once).
    void Closed(const QString& why);

private:
    enum class State { Idle, Connecting, Handshake, Open, Closed };
    void OnConnected();
    void ReadSome();
    bool ReadHead();
    // The frame at `at` of what was read, when it is whole; at moves past it.
    bool ReadFrame(int& at);
    void SendFrame(int opcode, const QByteArray& payload);
    void Answer();
    void Fail(const QString& why);

    QTcpSocket* socket_ = nullptr;
    State state_ = State::Idle;
    QString host_;
    quint16 port_ = 0;
    QByteArray cookie_;
    QByteArray key_;
    QByteArray in_;           // read, not yet taken apart
    QByteArray message_;      // a fragmented message so far
    bool fragmented_ = false; // message_ holds the start of one
    bool binary_ = false;     // ... of a binary one
    QByteArray ping_;         // the latest ping, not yet answered
    bool pingOwed_ = false;
    bool readQueued_ = false;
    bool redirected_ = false;
};
