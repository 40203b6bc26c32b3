// The phone remote against hostile requests on the loopback (each refused,
// nothing changed in the player or on disk), its switch on the control
// window, and a real browser (headless Chromium) pairing with the PIN and
// pressing the page's buttons.
#include "RemoteKit.h"

#include "AppInstance.h"
#include "controls/FlatCtrls.h"
#include "controls/uTransTrackBar.h"
#include "engine/SectionEngine.h"
#include "remote/RemoteServer.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

namespace {

const QString kPin = QStringLiteral("493817");

struct THttpAnswer {
    int Status = 0; // 0: no answer (connection cut)
    QByteArray Head;
    QByteArray Body;
};

// Sends request bytes as they are (no client tidies the path; ":PORT" becomes
// the server's port) from the given loopback address and reads the answer
// until the server closes or the answer is complete.
THttpAnswer Raw(quint16 port, QByteArray request, const QHostAddress& from = {}) {
    QTcpSocket s;
    if (!from.isNull())
        s.bind(from);
    s.connectToHost(QHostAddress::LocalHost, port);
    THttpAnswer a;
    // The request is sent with the connection, before the server accepts
    // it, as a browser's is.
    if (!s.waitForConnected(WaitMs))
        return a;
    s.write(request.replace(":PORT", ':' + QByteArray::number(port)));
    s.flush();
    QByteArray in;
    // An answer cut short is told apart below.
    (void)QTest::qWaitFor(
        [&] {
            in += s.readAll();
            const int end = in.indexOf("\r\n\r\n");
            if (end >= 0) {
                const QByteArray head = in.left(end);
                const int at = head.toLower().indexOf("content-length:");
                const int length =
                    at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toInt();
                if (in.size() >= end + 4 + length)
                    return true;
            }
            return s.state() == QAbstractSocket::UnconnectedState;
        },
        WaitMs);
    const int end = in.indexOf("\r\n\r\n");
    if (!in.startsWith("HTTP/1.1 ") || end < 0)
        return a;
    a.Status = in.mid(9, 3).toInt();
    a.Head = in.left(end);
    a.Body = in.mid(end + 4);
    return a;
}

QByteArray Request(const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                   const QByteArray& extraHeaders = {}) {
    QByteArray r = method + ' ' + path + " HTTP/1.1\r\nConnection: close\r\n";
    if (!extraHeaders.contains("Host: "))
        r += "Host: 127.0.0.1:PORT\r\n";
    if (!body.isEmpty() || method == "POST")
        r +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\n";
    return r + extraHeaders + "\r\n" + body;
}

// Whether an answer's head forbids caching, sniffing and framing.
bool Hardened(const QByteArray& head) {
    for (const char* h :
         {"Cache-Control: no-store", "X-Content-Type-Options: nosniff", "X-Frame-Options: DENY",
          "Referrer-Policy: no-referrer", "Content-Security-Policy: default-src 'none'"})
        if (!head.contains(h))
            return false;
    return true;
}

// Every file under dir with its size and a digest of its bytes.
QStringList DiskSnapshot(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            out << it.filePath() + QLatin1Char(' ') +
                       QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
    }
    out.sort();
    return out;
}

QString PlayerSnapshot(const TRemoteState& s) {
    return QStringList{s.Status,
                       s.File,
                       QString::number(s.Section),
                       s.RepeatText(),
                       QString::number(s.Rate),
                       QString::number(s.Volume),
                       QString::number(s.ControlsVisible)}
        .join(QLatin1Char('|'));
}

} // namespace

class TestRemoteServer : public QObject, private TRemoteFixture {
    Q_OBJECT

    std::unique_ptr<TRemoteServer> server_;
    QByteArray cookie_; // "tavrelo_session=..." of a paired session

    void StartServer() {
        server_ = std::make_unique<TRemoteServer>(frm_->RemotePlayer, kPin);
        QVERIFY(server_->Listen(QHostAddress::LocalHost, 0));
    }
    // A pairing request's body, as a phone or a following player.
    static QByteArray PairBody(const QByteArray& pin, bool follower) {
        return "{\"pin\":\"" + pin + (follower ? "\",\"role\":\"follower\"}" : "\"}");
    }
    int PairFrom(const QHostAddress& from, const QString& pin, bool follower = false) {
        return Raw(server_->Port(),
                   Request("POST", "/api/pair", PairBody(pin.toLatin1(), follower)), from)
            .Status;
    }
    QByteArray pairHead_; // of the last pairing answer
    // The session cookie of a pairing (empty when refused), as a phone or a
    // following player.
    QByteArray Pair(const QByteArray& pin, int* status = nullptr, bool follower = false) {
        const THttpAnswer a =
            Raw(server_->Port(), Request("POST", "/api/pair", PairBody(pin, follower)));
        if (status)
            *status = a.Status;
        pairHead_ = a.Head;
        const int at = a.Head.indexOf("Set-Cookie: ");
        return at < 0 ? QByteArray() : a.Head.mid(at + 12).split(';').first();
    }

private slots:
    void initTestCase() {
        MakeClip();
        Open(false);
        StartServer();
        int status = 0;
        cookie_ = Pair(kPin.toLatin1(), &status);
        QCOMPARE(status, 200);
        QVERIFY(cookie_.startsWith("tavrelo_session="));
        QVERIFY2(Hardened(pairHead_), pairHead_.constData());
    }
    void cleanupTestCase() {
        server_.reset();
        frm_.reset();
    }

    void hostile_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray big(TRemoteServer::kMaxBodyBytes + 1, ' ');
        const QByteArray forged = "Cookie: tavrelo_session=" + QByteArray(64, 'a') + "\r\n";
        const QByteArray good = "Cookie: " + QByteArray("COOKIE") + "\r\n";
        QTest::newRow("wrong PIN") << Request("POST", "/api/pair", R"({"pin":"000000"})") << 403;
        QTest::newRow("pair: unknown role")
            << Request("POST", "/api/pair", R"({"pin":"493817","role":"leader"})") << 400;
        QTest::newRow("pair: follower while not leading")
            << Request("POST", "/api/pair", R"({"pin":"493817","role":"follower"})") << 403;
        QTest::newRow("pair: a third field")
            << Request("POST", "/api/pair", R"({"pin":"493817","role":"follower","x":1})") << 400;
        QTest::newRow("PIN as number") << Request("POST", "/api/pair", R"({"pin":493817})") << 400;
        QTest::newRow("pair: malformed") << Request("POST", "/api/pair", "{pin:") << 400;
        QTest::newRow("pair: oversized")
            << Request("POST", "/api/pair", "{\"pin\":\"1\"}" + big) << 413;
        QTest::newRow("no token") << Request("POST", "/api/command", R"({"cmd":"next"})") << 401;
        QTest::newRow("forged token")
            << Request("POST", "/api/command", R"({"cmd":"next"})", forged) << 401;
        QTest::newRow("state, no token") << Request("GET", "/api/state") << 401;
        QTest::newRow("oversized command")
            << Request("POST", "/api/command", "{\"cmd\":\"next\"}" + big, good) << 413;
        QTest::newRow("malformed command") << Request("POST", "/api/command", "[1,", good) << 400;
        QTest::newRow("unknown command")
            << Request("POST", "/api/command", R"({"cmd":"quit"})", good) << 400;
        QTest::newRow("extra field")
            << Request("POST", "/api/command", R"({"cmd":"next","file":"/etc/passwd"})", good)
            << 400;
        QTest::newRow("section out of range")
            << Request("POST", "/api/command", R"({"cmd":"section","n":4})", good) << 400;
        QTest::newRow("section not whole")
            << Request("POST", "/api/command", R"({"cmd":"section","n":1.5})", good) << 400;
        QTest::newRow("section as text")
            << Request("POST", "/api/command", R"({"cmd":"section","n":"2"})", good) << 400;
        QTest::newRow("foreign origin") << Request("POST", "/api/command", R"({"cmd":"next"})",
                                                   good + "Origin: http://evil.example\r\n")
                                        << 403;
        QTest::newRow("command by GET") << Request("GET", "/api/command", {}, good) << 405;
        QTest::newRow("/../") << Request("GET", "/../../../etc/passwd", {}, good) << 404;
        QTest::newRow("%2e%2e") << Request("GET", "/%2e%2e/%2e%2e/etc/passwd", {}, good) << 404;
        QTest::newRow("/etc/passwd") << Request("GET", "/etc/passwd", {}, good) << 404;
        QTest::newRow("the media") << Request("GET", "/tones.mp4", {}, good) << 404;
        QTest::newRow("folder") << Request("GET", "/api/", {}, good) << 404;
        QTest::newRow("foreign host")
            << Request("GET", "/api/state", {}, good + "Host: attacker.example:PORT\r\n") << 421;
        QTest::newRow("rebound page")
            << Request("POST", "/api/pair", R"({"pin":"493817"})",
                       "Host: attacker.example:PORT\r\nOrigin: http://attacker.example:PORT\r\n")
            << 421;
        QTest::newRow("host without port")
            << Request("GET", "/api/state", {}, good + "Host: 127.0.0.1\r\n") << 421;
        QTest::newRow("huge request")
            << Request("POST", "/api/command", QByteArray(TRemoteServer::kMaxRequestBytes * 2, 'x'),
                       good)
            << 0;
    }
    void hostile() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        request.replace("Cookie: COOKIE", "Cookie: " + cookie_);
        const QString player = PlayerSnapshot(frm_->PlayerState());
        const QStringList disk = DiskSnapshot(dir_.path());
        const THttpAnswer a = Raw(server_->Port(), request);
        QCOMPARE(a.Status, status);
        QVERIFY(!a.Head.contains("Set-Cookie"));
        if (status != 0)
            QVERIFY2(Hardened(a.Head), a.Head.constData());
        QVERIFY(!a.Body.contains("root:"));
        // A command is carried out right after its answer has been sent.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(PlayerSnapshot(frm_->PlayerState()), player);
        QCOMPARE(DiskSnapshot(dir_.path()), disk);
    }

    // Wrong PINs make their own address wait (kMaxWrongPins of them; twice
    // as long each time after), never another: a phone or a follower with
    // the PIN pairs from any other address, the owner's phone among them.
    // Each row: addresses (127.0.1.1 ...) sending kMaxWrongPins wrong PINs,
    // rounds of that, then the PIN from probe.
    void wrongPins_data() {
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<bool>("follower");
        QTest::addColumn<int>("status");
        QTest::newRow("one address") << 1 << 1 << "127.0.1.1" << false << 429;
        QTest::newRow("one address, as follower") << 1 << 1 << "127.0.1.1" << true << 429;
        QTest::newRow("one address, twice") << 1 << 2 << "127.0.1.1" << false << 429;
        QTest::newRow("four addresses") << 4 << 1 << "127.0.1.4" << false << 429;
        QTest::newRow("four addresses, a fifth") << 4 << 1 << "127.0.1.5" << false << 200;
        QTest::newRow("four addresses, a follower from a fifth")
            << 4 << 1 << "127.0.1.5" << true << 200;
        QTest::newRow("four addresses, the owner's phone") << 4 << 1 << "127.0.0.1" << false << 200;
    }
    void wrongPins() {
        QFETCH(int, addresses);
        QFETCH(int, rounds);
        QFETCH(QString, probe);
        QFETCH(bool, follower);
        QFETCH(int, status);
        StartServer();
        server_->SetLeading(true);
        int paired = 0;
        cookie_ = Pair(kPin.toLatin1(), &paired);
        QCOMPARE(paired, 200);
        const QString first = QStringLiteral("127.0.1.1");
        for (int round = 1; round <= rounds; ++round) {
            // A first wait short enough to see it end.
            server_->SetLockout(round < rounds ? 200 : TRemoteServer::kLockoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(!server_->PinLocked(first), WaitMs);
            for (int a = 1; a <= addresses; ++a)
                for (int i = 0; i < TRemoteServer::kMaxWrongPins; ++i)
                    QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.1.%1").arg(a)),
                                      QStringLiteral("11111%1").arg(i)),
                             403);
        }
        QVERIFY(server_->PinLocked(first));
        QCOMPARE(server_->LastPinWaitMs(first), qint64(TRemoteServer::kLockoutMs) << (rounds - 1));
        QCOMPARE(PairFrom(QHostAddress(probe), kPin, follower), status);
        // The owner's phone paired before goes on.
        QCOMPARE(
            Raw(server_->Port(), Request("GET", "/api/state", {}, "Cookie: " + cookie_ + "\r\n"))
                .Status,
            200);
        server_->SetLeading(false);
    }

    // Pairing closes for phones with time (a follower of a leading player
    // pairs on), and outright for all; renewing opens it again.
    void pairingCloses() {
        int status = 0;
        server_->OpenPairing(0);
        QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.0.4")), kPin), 403);
        // Leading, a follower (a screen switched on late) pairs once the
        // time is over, but not once pairing was closed outright.
        server_->SetLeading(true);
        QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.0.4")), kPin, true), 403);
        server_->OpenPairing(1);
        QTRY_VERIFY_WITH_TIMEOUT(!server_->PairingOpen(), WaitMs);
        QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.0.5")), kPin), 403);
        QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.0.5")), kPin, true), 200);
        server_->SetLeading(false);
        QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.0.5")), kPin, true), 403);
        server_->OpenPairing();
        QCOMPARE(PairFrom(QHostAddress(QStringLiteral("127.0.0.3")), kPin), 200);
        // The sessions paired before are no longer known to this server.
        StartServer();
        cookie_ = Pair(kPin.toLatin1(), &status);
        QCOMPARE(status, 200);
    }

    // Hundreds of idle connections (no request sent, or one request and then
    // kept open) hold no more than their addresses' share of descriptors,
    // and never all of them: the page loads on a phone from another
    // address, its command and the player go on. Held by another process,
    // as an attacker would.
    void idleConnectionsFlood_data() {
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("each");
        QTest::addColumn<bool>("request"); // each sends one whole request first
        QTest::newRow("one address") << 1 << 400 << false;
        QTest::newRow("four addresses") << 4 << 8 << false;
        QTest::newRow("four addresses, answered") << 4 << 8 << true;
        QTest::newRow("eight addresses") << 8 << 16 << false;
    }
    void idleConnectionsFlood() {
        QFETCH(int, addresses);
        QFETCH(int, each);
        QFETCH(bool, request);
        const QString script =
            QStringLiteral(
                "import socket,sys\n"
                "held=[]\n"
                "for a in range(%2):\n"
                "  for i in range(%3):\n"
                "    s=socket.socket(); s.bind(('127.0.1.%d'%(a+1),0)); s.settimeout(5)\n"
                "    s.connect(('127.0.0.1',%1)); held.append(s)\n"
                "    if %4:\n"
                "      s.sendall(b'GET / HTTP/1.1\\r\\nHost: 127.0.0.1:%1\\r\\n\\r\\n')\n"
                "      while not s.recv(65536).endswith(b'</html>\\n'): pass\n"
                "print('held',flush=True)\n"
                "sys.stdin.read()\n")
                .arg(server_->Port())
                .arg(addresses)
                .arg(each)
                .arg(request ? 1 : 0);
        auto descriptors = [] {
            return QDir(QStringLiteral("/proc/self/fd"))
                .entryList(QDir::Files | QDir::System)
                .size();
        };
        const qsizetype before = descriptors();
        QProcess attacker;
        attacker.start(QStringLiteral("python3"), {QStringLiteral("-c"), script});
        QVERIFY(attacker.waitForStarted(WaitMs));
        QByteArray said;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         said += attacker.readAllStandardOutput();
                         return said.contains("held") || attacker.state() != QProcess::Running;
                     },
                     WaitMs * 4),
                 attacker.readAllStandardError().constData());
        QVERIFY2(said.contains("held"), attacker.readAllStandardError().constData());
        // (Those held may already have been cut for sending no request.)
        const int share = std::min(TRemoteServer::kMaxConnections,
                                   addresses * TRemoteServer::kMaxConnectionsPerAddress);
        QVERIFY(server_->ConnectionCount() <= share);
        QVERIFY2(descriptors() < before + share + 8,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(descriptors())));
        // A phone from another address.
        const THttpAnswer page =
            Raw(server_->Port(), Request("GET", "/"), QHostAddress(QStringLiteral("127.0.0.9")));
        QCOMPARE(page.Status, 200);
        const double rate = frm_->PlayerState().Rate;
        const THttpAnswer a =
            Raw(server_->Port(), Request("POST", "/api/command", R"({"cmd":"slower"})",
                                         "Cookie: " + cookie_ + "\r\n"));
        QCOMPARE(a.Status, 200);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->PlayerState().Rate < rate, WaitMs);
        frm_->RemotePlayer->RateStep(1);
        QCOMPARE(frm_->PlayerState().Rate, rate);
        // The "]" key once aborted here: GLib found no descriptor for a pipe.
        frm_->RunPlayerKey(pkFaster);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->PlayerState().Rate > rate, WaitMs);
        frm_->RemotePlayer->RateStep(-1);
        attacker.closeWriteChannel();
        QVERIFY(attacker.waitForFinished(WaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(server_->ConnectionCount(), 0, WaitMs);
    }

    // A "next" arriving while a section is starting is not lost: the start
    // goes on to the section after the one it was going to.
    void commandWhileStarting() {
        int status = 0;
        bool waiting = false;
        QTimer::singleShot(0, this, [&] {
            waiting = frm_->Engine->Waiting();
            status = Raw(server_->Port(), Request("POST", "/api/command", R"({"cmd":"next"})",
                                                  "Cookie: " + cookie_ + "\r\n"))
                         .Status;
        });
        frm_->RemotePlayer->PlaySectionNumber(2);
        QTRY_VERIFY_WITH_TIMEOUT(status != 0, WaitMs);
        QVERIFY(waiting);
        QCOMPARE(status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(frm_->CurRow(), 3, WaitMs);
    }

    // The phone's /ws, and /sync for the followers of a leading player
    // (token: p a phone's session, f a follower's, none without; says: what
    // the client sends once served).
    void webSocket_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("says");
        QTest::addColumn<bool>("served");
        const QString page = QStringLiteral("http://127.0.0.1:%1");
        QTest::newRow("page's origin") << "/ws" << page << "p" << QByteArray() << true;
        QTest::newRow("unknown origin")
            << "/ws" << QStringLiteral("http://evil.example") << "p" << QByteArray() << false;
        QTest::newRow("no origin") << "/ws" << QString() << "p" << QByteArray() << false;
        QTest::newRow("no token") << "/ws" << page << "" << QByteArray() << false;
        QTest::newRow("follower") << "/sync" << QString() << "f" << QByteArray() << true;
        QTest::newRow("follower from a page") << "/sync" << page << "f" << QByteArray() << false;
        QTest::newRow("phone's session as follower")
            << "/sync" << QString() << "p" << QByteArray() << false;
        QTest::newRow("follower, no token") << "/sync" << QString() << "" << QByteArray() << false;
        QTest::newRow("follower's session as phone")
            << "/ws" << page << "f" << QByteArray() << false;
        QTest::newRow("follower says too much")
            << "/sync" << QString() << "f" << QByteArray(100, 'x') << false;
    }
    void webSocket() {
        QFETCH(QString, path);
        QFETCH(QString, origin);
        QFETCH(QString, token);
        QFETCH(QByteArray, says);
        QFETCH(bool, served);
        server_->SetLeading(true);
        const auto notLeading = qScopeGuard([this] { server_->SetLeading(false); });
        server_->PublishSync(R"({"file":"tones.mp4"})");
        int status = 0;
        const QByteArray followerCookie = Pair(kPin.toLatin1(), &status, true);
        QCOMPARE(status, 200);
        QWebSocket ws(origin.contains(QLatin1String("%1")) ? origin.arg(server_->Port()) : origin);
        QNetworkRequest request(
            QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(server_->Port()).arg(path)));
        if (!token.isEmpty())
            request.setRawHeader("Cookie", token == QLatin1String("p") ? cookie_ : followerCookie);
        QStringList messages;
        bool closed = false;
        connect(&ws, &QWebSocket::textMessageReceived, this,
                [&](const QString& m) { messages << m; });
        connect(&ws, &QWebSocket::disconnected, this, [&] { closed = true; });
        ws.open(request);
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty() || closed, WaitMs);
        if (!says.isEmpty() && !closed) {
            ws.sendTextMessage(QString::fromLatin1(says));
            QTRY_VERIFY_WITH_TIMEOUT(closed, WaitMs);
            messages.clear();
        }
        QCOMPARE(!messages.isEmpty(), served);
        if (served)
            QCOMPARE(QJsonDocument::fromJson(messages.first().toUtf8())["file"].toString(),
                     QStringLiteral("tones.mp4"));
        // Its connection no longer counts against the address once closed.
        ws.close();
        QTRY_COMPARE_WITH_TIMEOUT(server_->ConnectionCount(), 0, WaitMs);
    }

    // A follower that stops reading (a frozen machine, a cable pulled) gets
    // no more than a bounded backlog: the leader's memory and time are never
    // its to hold.
    void deadFollowerNeverHoldsTheLeader() {
        server_->SetLeading(true);
        const auto notLeading = qScopeGuard([this] { server_->SetLeading(false); });
        int status = 0;
        const QByteArray cookie = Pair(kPin.toLatin1(), &status, true);
        QCOMPARE(status, 200);
        QTcpSocket dead;
        dead.setReadBufferSize(1);
        dead.connectToHost(QHostAddress::LocalHost, server_->Port());
        QVERIFY(dead.waitForConnected(WaitMs));
        dead.write("GET /sync HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(server_->Port()) +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nCookie: " +
                   cookie + "\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(server_->FollowerCount(), 1, WaitMs);
        // Far more than the sockets' own buffers hold.
        const QByteArray state(1500, 'x');
        for (int i = 0; i < 40000; ++i) {
            server_->PublishSync(state);
            if (i % 1000 == 0)
                QCoreApplication::processEvents();
        }
        QVERIFY2(server_->FollowerBacklog() <= TRemoteServer::kMaxFollowerBacklog + state.size(),
                 qPrintable(QString::number(server_->FollowerBacklog())));
    }

    // Phones and followers that go quiet at once (phones falling asleep, a
    // Wi-Fi drop taking out a room's screens) are each closed once unheard
    // for the idle time, and the server goes on answering. They complete
    // the handshake and then never say a word (no answer to pings).
    void quietClients_data() {
        QTest::addColumn<int>("phones");
        QTest::addColumn<int>("followers");
        QTest::newRow("1 phone") << 1 << 0;
        QTest::newRow("2 phones") << 2 << 0;
        QTest::newRow("8 phones") << TRemoteServer::kMaxClients << 0;
        QTest::newRow("2 followers") << 0 << 2;
        QTest::newRow("32 followers") << 0 << TRemoteServer::kMaxFollowers;
        QTest::newRow("mixed") << TRemoteServer::kMaxClients << TRemoteServer::kMaxFollowers;
    }
    void quietClients() {
        QFETCH(int, phones);
        QFETCH(int, followers);
        server_->SetKeepAlive(300, 1200);
        server_->SetLeading(true);
        const auto restore = qScopeGuard([this] {
            server_->SetLeading(false);
            server_->SetKeepAlive(TRemoteServer::kPingMs, TRemoteServer::kIdleMs);
        });
        int status = 0;
        const QByteArray followerCookie = Pair(kPin.toLatin1(), &status, true);
        QCOMPARE(status, 200);
        const QByteArray host = "127.0.0.1:" + QByteArray::number(server_->Port());
        std::vector<std::unique_ptr<QTcpSocket>> quiet;
        for (int i = 0; i < phones + followers; ++i) {
            const bool phone = i < phones;
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QHostAddress::LocalHost, server_->Port());
            QVERIFY(s->waitForConnected(WaitMs));
            s->write(
                QByteArray(phone ? "GET /ws" : "GET /sync") + " HTTP/1.1\r\nHost: " + host +
                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
                (phone ? "Origin: http://" + host + "\r\nCookie: " + cookie_
                       : "Cookie: " + followerCookie) +
                "\r\n\r\n");
            quiet.push_back(std::move(s));
            QTRY_COMPARE_WITH_TIMEOUT(server_->ClientCount() + server_->FollowerCount(), i + 1,
                                      WaitMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server_->ClientCount() + server_->FollowerCount(), 0, WaitMs);
        for (const auto& s : quiet)
            QTRY_COMPARE_WITH_TIMEOUT(s->state(), QAbstractSocket::UnconnectedState, WaitMs);
        // Still serving: the page, and a phone's live state.
        QCOMPARE(Raw(server_->Port(), Request("GET", "/")).Status, 200);
        QWebSocket ws(QStringLiteral("http://") + QString::fromLatin1(host));
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1/ws").arg(QString::fromLatin1(host))));
        request.setRawHeader("Cookie", cookie_);
        QStringList messages;
        connect(&ws, &QWebSocket::textMessageReceived, this,
                [&](const QString& m) { messages << m; });
        ws.open(request);
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), WaitMs);
        ws.close();
        QTRY_COMPARE_WITH_TIMEOUT(server_->ClientCount(), 0, WaitMs);
    }

    // The switch serves only while on; the settings file holding the PIN is
    // the owner's alone, whether it was new or readable by all before. A new
    // PIN drops the paired phones.
    void windowSwitch() {
        QFile::remove(IniFileName);
        frm_->chkRemote->setChecked(true);
        QCOMPARE(QFile::permissions(IniFileName) & 0x0077, QFileDevice::Permissions());
        frm_->chkRemote->setChecked(false);
        QFile::setPermissions(IniFileName, QFile::permissions(IniFileName) | QFile::ReadOther);
        frm_->btnRemotePin->click(); // a new PIN while the remote is off
        QCOMPARE(QFile::permissions(IniFileName) & 0x0077, QFileDevice::Permissions());
        frm_->chkRemote->setChecked(true);
        // The remote switched on again (as at a start) with its PIN and its
        // switch already there, nothing to write: the file is made private.
        QFile::setPermissions(IniFileName, QFile::permissions(IniFileName) | QFile::ReadOther);
        frm_->chkRemoteClick(frm_->chkRemote);
        QCOMPARE(QFile::permissions(IniFileName) & 0x0077, QFileDevice::Permissions());
        // Not covering the control window, at its designed size and at its
        // smallest, where the screen has room beside it.
        frm_->show(); // the panel goes with the control window
        frm_->move(frm_->screen()->availableGeometry().topLeft());
        for (const int height : {frm_->height(), frm_->minimumHeight()}) {
            frm_->resize(frm_->width(), height);
            const QRect panel = frm_->plRemote->frameGeometry();
            QVERIFY(frm_->screen()->availableGeometry().contains(panel));
            if (frm_->screen()->availableGeometry().width() >= frm_->width() + panel.width())
                QVERIFY2(!frm_->frameGeometry().intersects(panel),
                         qPrintable(QStringLiteral("window %1,%2 %3x%4, panel %5,%6 %7x%8")
                                        .arg(frm_->x())
                                        .arg(frm_->y())
                                        .arg(frm_->width())
                                        .arg(frm_->height())
                                        .arg(panel.x())
                                        .arg(panel.y())
                                        .arg(panel.width())
                                        .arg(panel.height())));
        }
        frm_->resize(frm_->width(), 522);
        const QString pin =
            ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("RemotePin"));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]{6}$")).match(pin).hasMatch(),
                 qPrintable(pin));
        QVERIFY(frm_->plRemote->isVisible());
        frm_->chkRemote->setChecked(false);
        QCOMPARE(ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("chkRemote")),
                 QStringLiteral("NO"));

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        WriteIniStr(IniFileName, QStringLiteral("START"), QStringLiteral("RemotePort"),
                    QString::number(port));
        frm_->chkRemote->setChecked(true);
        QVERIFY(frm_->RemoteServer);
        QVERIFY(frm_->lbRemote->text().contains(QStringLiteral(":%1/").arg(port)));
        QVERIFY(frm_->lbRemote->text().contains(pin));
        QVERIFY(!frm_->imgRemoteQr->pixmap().isNull());
        QCOMPARE(Raw(port, Request("GET", "/")).Status, 200);
        const THttpAnswer paired =
            Raw(port, Request("POST", "/api/pair", R"({"pin":")" + pin.toLatin1() + R"("})"));
        QCOMPARE(paired.Status, 200);
        const QByteArray session =
            "Cookie: " + paired.Head.mid(paired.Head.indexOf("Set-Cookie: ") + 12).split(';')[0];
        QCOMPARE(Raw(port, Request("GET", "/api/state", {}, session + "\r\n")).Status, 200);
        frm_->btnRemotePin->click();
        QCOMPARE(Raw(port, Request("GET", "/api/state", {}, session + "\r\n")).Status, 401);
        QVERIFY(frm_->lbRemote->text().contains(
            ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("RemotePin"))));
        frm_->chkRemote->setChecked(false);
        QVERIFY(!frm_->RemoteServer);
        QVERIFY(!frm_->plRemote->isVisible());
        QCOMPARE(Raw(port, Request("GET", "/")).Status, 0);
    }

    // What a later start hands to the running player over the local socket:
    // a name is taken whole (a newline in it names no second file), refused
    // with one line, and a message too long is refused from its length.
    void handOver_data() {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("delivered"); // null: nothing
        // Idle connections held open before (another program of the user's
        // holding them); an answer that is null: cut without one.
        QTest::addColumn<int>("held");
        auto frame = [](const QByteArray& b) {
            QByteArray out(4, '\0');
            qToBigEndian<quint32>(quint32(b.size()), out.data());
            return out + b;
        };
        const QByteArray clip = QFile::encodeName(clip_);
        QTest::newRow("a media file") << frame(clip) << QByteArray("ok") << clip_ << 0;
        QTest::newRow("no file") << frame({}) << QByteArray("ok") << QString(QLatin1String(""))
                                 << 0;
        QTest::newRow("newline in a name")
            << frame(clip + "\n" + clip) << QByteArray("refused: it does not exist") << QString()
            << 0;
        QTest::newRow("a folder") << frame(QFile::encodeName(dir_.path()))
                                  << QByteArray("refused: it is a folder") << QString() << 0;
        QTest::newRow("not UTF-8")
            << frame("/tmp/\xff\xfe") << QByteArray("refused: ") << QString() << 0;
        // Its first 64 KB: the player reads no further than the length.
        QTest::newRow("10 MB") << frame(QByteArray(10 << 20, '/')).left(64 << 10)
                               << QByteArray("refused: a file name is at most 4096 bytes")
                               << QString() << 0;
        QTest::newRow("lines, no length") << clip + "\n"
                                          << QByteArray("refused: a file name") << QString() << 0;
        const int most = TSingleInstance::kMaxConnections;
        QTest::newRow("others held, one free")
            << frame(clip) << QByteArray("ok") << clip_ << most - 1;
        QTest::newRow("others held, none free") << frame(clip) << QByteArray() << QString() << most;
    }
    void handOver() {
        QFETCH(QByteArray, wire);
        QFETCH(QByteArray, answer);
        QFETCH(QString, delivered);
        QFETCH(int, held);
        TSingleInstance instance(dir_.filePath(QStringLiteral("instance.sock")));
        instance.SetCheck(&TFrmMain::MediaFileRefusal);
        QVERIFY(instance.Listen(nullptr));
        QStringList received;
        connect(&instance, &TSingleInstance::Received, this,
                [&](const QString& m) { received << m; });
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < held; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(dir_.filePath(QStringLiteral("instance.sock")));
            QVERIFY(idle.back()->waitForConnected(WaitMs));
            QTRY_COMPARE_WITH_TIMEOUT(instance.ConnectionCount(), i + 1, WaitMs);
        }
        QLocalSocket s;
        s.connectToServer(dir_.filePath(QStringLiteral("instance.sock")));
        QVERIFY(s.waitForConnected(WaitMs));
        s.write(wire);
        if (answer.isNull()) {
            QTRY_COMPARE_WITH_TIMEOUT(s.state(), QLocalSocket::UnconnectedState, WaitMs);
            QVERIFY(!s.canReadLine());
            QCOMPARE(instance.ConnectionCount(), held);
            QCoreApplication::processEvents();
            QVERIFY(received.isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(s.canReadLine(), WaitMs);
        const QByteArray line = s.readLine();
        QVERIFY2(line.startsWith(answer) && line.count('\n') == 1, line.constData());
        if (delivered.isNull()) {
            QCoreApplication::processEvents();
            QVERIFY(received.isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(received, QStringList{delivered}, WaitMs);
        }
    }

    void browser();
};

// Headless Chromium opens the page with the PIN in the address's fragment
// (the page pairs with it), and the test presses the page's buttons through
// the browser's debugging protocol.
void TestRemoteServer::browser() {
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");
    Open(true);
    StartServer();
    QTemporaryDir profile;
    QProcess browser;
    browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString url =
        QStringLiteral("http://127.0.0.1:%1/#pin=%2").arg(server_->Port()).arg(kPin);
    browser.start(chromium,
                  {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                   QStringLiteral("--disable-gpu"),
                   QStringLiteral("--disable-background-networking"),
                   QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                   QStringLiteral("--no-first-run"), QStringLiteral("--remote-debugging-port=0"),
                   QStringLiteral("--remote-allow-origins=*"),
                   QStringLiteral("--user-data-dir=") + profile.path(), url});
    QVERIFY(browser.waitForStarted(10000));
    auto stop = qScopeGuard([&] {
        browser.terminate();
        if (!browser.waitForFinished(5000))
            browser.kill();
        browser.waitForFinished(2000);
    });
    // The browser writes its debugging port into the profile.
    QFile portFile(profile.filePath(QStringLiteral("DevToolsActivePort")));
    QTRY_VERIFY_WITH_TIMEOUT(portFile.exists() && portFile.size() > 0, 30000);
    QVERIFY(portFile.open(QIODevice::ReadOnly));
    const int devPort = portFile.readLine().trimmed().toInt();

    QNetworkAccessManager net;
    QString pageSocket;
    QVERIFY(QTest::qWaitFor(
        [&] {
            QNetworkReply* r = net.get(QNetworkRequest(
                QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(devPort))));
            (void)QTest::qWaitFor([&] { return r->isFinished(); }, WaitMs);
            for (const QJsonValue& t : QJsonDocument::fromJson(r->readAll()).array())
                if (t[QStringLiteral("type")] == QStringLiteral("page"))
                    pageSocket = t[QStringLiteral("webSocketDebuggerUrl")].toString();
            r->deleteLater();
            return !pageSocket.isEmpty();
        },
        30000));
    QWebSocket devtools;
    QJsonObject answer;
    int id = 0;
    connect(&devtools, &QWebSocket::textMessageReceived, this, [&](const QString& m) {
        const QJsonObject o = QJsonDocument::fromJson(m.toUtf8()).object();
        if (o[QStringLiteral("id")].toInt() == id)
            answer = o;
    });
    devtools.open(QUrl(pageSocket));
    QTRY_VERIFY_WITH_TIMEOUT(devtools.state() == QAbstractSocket::ConnectedState, WaitMs);
    // Evaluates a script expression in the page; its value as text.
    auto eval = [&](const QString& expression) {
        answer = {};
        ++id;
        const QJsonObject call{
            {QStringLiteral("id"), id},
            {QStringLiteral("method"), QStringLiteral("Runtime.evaluate")},
            {QStringLiteral("params"), QJsonObject{{QStringLiteral("expression"), expression}}}};
        devtools.sendTextMessage(QString::fromUtf8(QJsonDocument(call).toJson()));
        (void)QTest::qWaitFor([&] { return !answer.isEmpty(); }, WaitMs);
        return answer[QStringLiteral("result")][QStringLiteral("result")][QStringLiteral("value")]
            .toVariant()
            .toString();
    };
    auto text = [&](const char* id) {
        return eval(
            QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id)));
    };
    auto press = [&](const char* id) {
        eval(QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(id)));
    };
    // Paired through the fragment; the live state arrives over the WebSocket.
    QTRY_VERIFY2_WITH_TIMEOUT(text("section") == QStringLiteral("第 1 节"),
                              qPrintable(text("message")), 30000);
    QCOMPARE(text("repeat"), QStringLiteral("第 1 / 2 遍"));
    QTRY_COMPARE_WITH_TIMEOUT(eval(QStringLiteral("String(socket && socket.readyState)")),
                              QStringLiteral("1"), WaitMs);

    press("btn-playpause");
    QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPaused, WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(text("status") == QStringLiteral("已暂停"), WaitMs);
    press("btn-playpause");
    QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPlaying, WaitMs);

    const double volume = frm_->SoundLevel2->Position();
    press("btn-quieter");
    QTRY_VERIFY_WITH_TIMEOUT(frm_->SoundLevel2->Position() == volume - 500, WaitMs);
    const int rate = frm_->cbRate->ItemIndex();
    press("btn-slower");
    QTRY_VERIFY_WITH_TIMEOUT(frm_->cbRate->ItemIndex() == rate - 1, WaitMs);
    press("btn-next");
    QTRY_VERIFY_WITH_TIMEOUT(frm_->CurRow() == 2, WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(text("description") == QStringLiteral("steps"), WaitMs);
}

TAVRELO_E2E_MAIN(TestRemoteServer)

#include "TestRemoteServer.moc"
