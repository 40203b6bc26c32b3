// A leader that misbehaves, on 127.0.0.1, for a follower's link to meet: it
// pairs the follower (or sends it elsewhere, or never answers), opens /sync
// (or sends it elsewhere, or never answers the handshake), then sends the
// messages it was given, or floods pings or states as fast as the loopback
// takes them. It counts what reaches it, and what reaches the place it sends
// the follower to.
#pragma once

#include "sync/SyncMessage.h"

#include <QCryptographicHash>
#include <QTcpServer>
#include <QTcpSocket>

class HostileLeader : public QObject {
public:
    enum class Answer { Yes, Redirect, Never };
    enum class Flood { None, Pings, States };

    static constexpr const char* kCookie = "tavrelo_session=hostile0123456789";

    Answer Pairing = Answer::Yes;
    Answer Handshake = Answer::Yes;
    Flood Flooding = Flood::None;
    bool ReadsPongs = true;
    bool Leaves = false; // closes /sync after its messages     // false: what the follower sends is
                         // left unread
    QList<QByteArray> Messages; // sent once /sync is open
    int Batch = 256;            // frames of the flood a write
    SyncState FloodState;       // the flood's states, seq counting up
    int PairRequests = 0;       // POST /api/pair
    QByteArray PairHeads;       // their heads
    int SyncRequests = 0;       // GET /sync
    int Pongs = 0;              // pong frames read
    QByteArray LastPong;        // the last one's payload
    int64_t Flooded = 0;        // frames of the flood sent
    int StolenConnections = 0;  // at the place redirected to
    QByteArray Stolen;          // what was sent there

    HostileLeader() {
        server_.listen(QHostAddress::LocalHost, 0);
        stolen_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                Serve(s);
        });
        connect(&stolen_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = stolen_.nextPendingConnection()) {
                ++StolenConnections;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Stolen += s->readAll(); });
            }
        });
    }
    quint16 Port() const { return server_.serverPort(); }
    // Floods every open /sync from now on, until StopFlood.
    void Start(Flood flood) {
        Flooding = flood;
        for (QTcpSocket* s : open_)
            Fill(s);
    }
    // The flood stops (the connections stay open).
    void StopFlood() { Flooding = Flood::None; }
    // Sent on every open /sync now.
    void Send(int opcode, const QByteArray& payload) {
        for (QTcpSocket* s : open_)
            s->write(Frame(opcode, payload));
    }
    // What the followers sent is read from now on.
    void ReadPongs() {
        ReadsPongs = true;
        for (QTcpSocket* s : open_) {
            s->setReadBufferSize(0);
            emit s->readyRead();
        }
    }

private:
    void Serve(QTcpSocket* s) {
        auto* in = new QByteArray;
        connect(s, &QObject::destroyed, this, [in] { delete in; });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QTcpSocket::readyRead, this, [this, s, in] {
            *in += s->readAll();
            const int end = in->indexOf("\r\n\r\n");
            if (end < 0 || in->isEmpty())
                return;
            const QByteArray head = in->left(end);
            const int length =
                head.contains("Content-Length: ")
                    ? head.mid(head.indexOf("Content-Length: ") + 16).split('\r').first().toInt()
                    : 0;
            if (in->size() < end + 4 + length)
                return;
            in->clear();
            disconnect(s, &QTcpSocket::readyRead, this, nullptr);
            if (head.startsWith("POST /api/pair ")) {
                PairHeads += head + "\r\n\r\n";
                Pair(s);
            } else if (head.startsWith("GET /sync "))
                Open(s, head);
            else
                s->disconnectFromHost();
        });
    }

    QByteArray Elsewhere() const {
        return "HTTP/1.1 307 Temporary Redirect\r\nLocation: http://127.0.0.1:" +
               QByteArray::number(stolen_.serverPort()) +
               "/stolen\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }

    void Pair(QTcpSocket* s) {
        ++PairRequests;
        if (Pairing == Answer::Never)
            return;
        if (Pairing == Answer::Redirect) {
            s->write(Elsewhere());
            return;
        }
        const QByteArray body = R"({"ok":true})";
        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nSet-Cookie: " +
                 QByteArray(kCookie) + "; HttpOnly; SameSite=Strict; Path=/\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }

    void Open(QTcpSocket* s, const QByteArray& head) {
        ++SyncRequests;
        if (Handshake == Answer::Never)
            return;
        if (Handshake == Answer::Redirect) {
            s->write(Elsewhere());
            return;
        }
        const int at = head.indexOf("Sec-WebSocket-Key: ");
        const QByteArray key = head.mid(at + 19).split('\r').first().trimmed();
        const QByteArray accept =
            QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                     QCryptographicHash::Sha1)
                .toBase64();
        s->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: "
                 "Upgrade\r\nSec-WebSocket-Accept: " +
                 accept + "\r\n\r\n");
        for (const QByteArray& m : Messages)
            s->write(Frame(0x1, m));
        if (Leaves) {
            s->write(Frame(0x8, QByteArray("\x03\xe9", 2)));
            s->disconnectFromHost();
            return;
        }
        open_ << s;
        connect(s, &QObject::destroyed, this, [this, s] { open_.removeAll(s); });
        auto* in = new QByteArray;
        connect(s, &QObject::destroyed, this, [in] { delete in; });
        connect(s, &QTcpSocket::readyRead, this, [this, s, in] {
            if (!ReadsPongs)
                return;
            *in += s->readAll();
            ReadFrames(*in);
        });
        if (!ReadsPongs)
            s->setReadBufferSize(4096);
        connect(s, &QTcpSocket::bytesWritten, this, [this, s] { Fill(s); });
        Fill(s);
    }

    // Keeps a quarter MiB waiting in the socket while the flood lasts (one
    // batch when it is a single frame: one a pass of the event loop).
    void Fill(QTcpSocket* s) {
        while (Flooding != Flood::None && s->bytesToWrite() < (Batch > 1 ? 256 * 1024 : 1)) {
            QByteArray batch;
            for (int i = 0; i < Batch; ++i, ++Flooded) {
                if (Flooding == Flood::Pings) {
                    batch += Frame(0x9, {});
                } else {
                    FloodState.Seq += 1;
                    FloodState.Countdown = int(FloodState.Seq % 5);
                    FloodState.Notice = FloodState.Countdown != 0;
                    batch += Frame(0x1, SyncMessage::Encode(FloodState));
                }
            }
            s->write(batch);
        }
    }

    static QByteArray Frame(int opcode, const QByteArray& payload) {
        QByteArray f(1, char(0x80 | opcode));
        if (payload.size() < 126) {
            f += char(payload.size());
        } else {
            f += char(126);
            f += char(payload.size() >> 8);
            f += char(payload.size() & 0xff);
        }
        return f + payload;
    }

    // The follower's frames (masked, short): pongs counted, the rest passed.
    void ReadFrames(QByteArray& in) {
        int at = 0;
        for (;;) {
            if (in.size() - at < 2)
                break;
            int length = in[at + 1] & 0x7f, head = 2;
            if (length == 126) {
                if (in.size() - at < 4)
                    break;
                length = (uchar(in[at + 2]) << 8) | uchar(in[at + 3]);
                head = 4;
            }
            const int whole = head + ((in[at + 1] & 0x80) ? 4 : 0) + length;
            if (length == 127 || in.size() - at < whole)
                break;
            if ((in[at] & 0x0f) == 0xA) {
                ++Pongs;
                // Unmasked with the frame's key.
                LastPong = in.mid(at + head + 4, length);
                for (int i = 0; i < LastPong.size(); ++i)
                    LastPong[i] = char(LastPong[i] ^ in[at + head + i % 4]);
            }
            at += whole;
        }
        in.remove(0, at);
    }

    QList<QTcpSocket*> open_; // sockets with /sync open (before the servers, who hold them)
    QTcpServer server_;
    QTcpServer stolen_;
};
