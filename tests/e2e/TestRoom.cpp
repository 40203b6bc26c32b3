// A room on loopback, three processes: this one leads (the control window
// with "领播"), two copies of the program follow it ("跟播"). What each
// follower plays is read from its own phone remote's state.
#include "AppStartup.h"
#include "PlayerKit.h"
#include "media/GraphPlayback.h"
#include "remote/RemoteServer.h"
#include "uFrmMainSync.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

// Waits until cond holds once. The room's conditions ask the followers over
// the network each time; QTRY_ asks once more after a success and failed
// where a follower moved in between.
#define ROOM_WAIT(cond, ms) QVERIFY2(QTest::qWaitFor([&] { return bool(cond); }, ms), #cond)

namespace {

const QByteArray kLeaderPin = "246810";
const QByteArray kFollowerPin = "135790";

quint16 FreePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// One request on its own connection, the event loop running (this process
// leads: it must keep answering its followers meanwhile); the answer's body.
QByteArray Http(quint16 port, const QByteArray& request, QByteArray* head = nullptr) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return s.state() == QAbstractSocket::ConnectedState; }, 5000))
        return {};
    s.write(request);
    QByteArray in;
    // Complete once the body has its Content-Length.
    (void)QTest::qWaitFor(
        [&] {
            in += s.readAll();
            const int end = in.indexOf("\r\n\r\n");
            if (end < 0)
                return s.state() == QAbstractSocket::UnconnectedState;
            const int at = in.indexOf("Content-Length: ");
            const int length = at < 0 || at > end ? 0 : in.mid(at + 16).split('\r').first().toInt();
            return in.size() >= end + 4 + length;
        },
        5000);
    const int end = in.indexOf("\r\n\r\n");
    if (head)
        *head = in.left(end);
    return end < 0 ? QByteArray() : in.mid(end + 4);
}

struct TFollower {
    QProcess Process;
    quint16 Port = 0;
    QByteArray Cookie;

    // Its state as its phone page reads it; empty while it does not answer.
    QJsonObject State() {
        const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(Port) + "\r\n";
        if (Cookie.isEmpty()) {
            const QByteArray body = R"({"pin":")" + kFollowerPin + R"("})";
            QByteArray head;
            Http(Port,
                 "POST /api/pair HTTP/1.1\r\nConnection: close\r\n" + host +
                     "Content-Type: application/json\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n\r\n" + body,
                 &head);
            const int at = head.indexOf("Set-Cookie: ");
            if (at < 0)
                return {};
            Cookie = head.mid(at + 12).split(';').first();
        }
        return QJsonDocument::fromJson(
                   Http(Port, "GET /api/state HTTP/1.1\r\nConnection: close\r\n" + host +
                                  "Cookie: " + Cookie + "\r\n\r\n"))
            .object();
    }
};

} // namespace

class TestRoom : public QObject, private TPlayerFolder {
    Q_OBJECT

    TFollower followers_[2];
    quint16 leaderPort_ = 0;

    int64_t LeaderMs() const { return frm_->Graph->KnownPositionMs().value_or(-1); }

    // Every follower plays the leader's file, within 250 ms of the
    // leader's position (the requests' own time included), `also` holding.
    bool AllInStep(const std::function<bool(const QJsonObject&)>& also = {}) {
        for (TFollower& f : followers_) {
            const QJsonObject s = f.State();
            const int64_t leader = LeaderMs();
            if (s.value(QStringLiteral("status")).toString() != QLatin1String("Playing") ||
                s.value(QStringLiteral("file")).toString() != QLatin1String("tones.mp4") ||
                std::llabs(int64_t(s.value(QStringLiteral("positionMs")).toDouble()) - leader) >
                    250)
                return false;
            if (also && !also(s))
                return false;
        }
        return true;
    }
    bool AllHeld() {
        for (TFollower& f : followers_) {
            const QJsonObject s = f.State();
            if (s.value(QStringLiteral("status")).toString() != QLatin1String("Paused"))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() {
        const QString run = dir_.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(run));
        QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        MakeToneClip(QStringLiteral("tones.mp4"), 12, 1, SmallPicture());
        // Section 1 plays twice: a repeat to follow.
        WriteSchedule(clip_, {{QStringLiteral("2"), QStringLiteral("00:00"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:05"), {}},
                              {QStringLiteral("1"), QStringLiteral("00:08"), {}}});
        leaderPort_ = FreePort();
        const QString leaderIni = IniFileName;
        for (int i = 0; i < 2; ++i) {
            TFollower& f = followers_[i];
            const QString folder = dir_.filePath(QStringLiteral("follower%1").arg(i));
            QVERIFY(QDir().mkpath(folder));
            const QString exe = QDir(folder).filePath(QStringLiteral("tavrelo"));
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), exe));
            IniFileName = QDir(folder).filePath(QStringLiteral("system.INI"));
            WriteSettings(clip_, {});
            f.Port = FreePort();
            const QString s = QStringLiteral("START");
            WriteIniStr(IniFileName, s, QStringLiteral("chkFollow"), QStringLiteral("YES"));
            WriteIniStr(IniFileName, s, QStringLiteral("FollowAddress"),
                        QStringLiteral("127.0.0.1:%1").arg(leaderPort_));
            WriteIniStr(IniFileName, s, QStringLiteral("FollowPin"),
                        QString::fromLatin1(kLeaderPin));
            WriteIniStr(IniFileName, s, QStringLiteral("chkRemote"), QStringLiteral("YES"));
            WriteIniStr(IniFileName, s, QStringLiteral("RemotePort"), QString::number(f.Port));
            WriteIniStr(IniFileName, s, QStringLiteral("RemotePin"),
                        QString::fromLatin1(kFollowerPin));
        }
        IniFileName = leaderIni;
        WriteSettings(clip_, {});
        const QString s = QStringLiteral("START");
        WriteIniStr(IniFileName, s, QStringLiteral("chkLead"), QStringLiteral("YES"));
        WriteIniStr(IniFileName, s, QStringLiteral("chkRemote"), QStringLiteral("YES"));
        WriteIniStr(IniFileName, s, QStringLiteral("RemotePort"), QString::number(leaderPort_));
        WriteIniStr(IniFileName, s, QStringLiteral("RemotePin"), QString::fromLatin1(kLeaderPin));
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        QVERIFY(frm_->Sync->Leading());
        QCOMPARE(frm_->Sync->ClockPort(), leaderPort_); // one port number for a firewall
        frm_->PlaySection(1, false);
        for (int i = 0; i < 2; ++i) {
            QProcess& p = followers_[i].Process;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(dir_.filePath(QStringLiteral("follower%1/tavrelo").arg(i)),
                    {QStringLiteral("--player")});
            QVERIFY(p.waitForStarted(10000));
        }
    }
    void cleanupTestCase() {
        for (TFollower& f : followers_) {
            f.Process.terminate();
            if (!f.Process.waitForFinished(10000))
                f.Process.kill();
        }
        frm_.reset();
    }

    // Joined: both followers open the leader's file (found by its size and
    // contents) and play it where the leader is; a repeat of the leader's
    // takes them back to the section's start too.
    void joinAndFollowARepeat() {
        ROOM_WAIT(AllInStep(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(
            frm_->Engine->CurRow() == 1 && frm_->Engine->Repeat() == 2 && LeaderMs() < 3000, 60000);
        ROOM_WAIT(AllInStep([](const QJsonObject& s) {
                      return s.value(QStringLiteral("positionMs")).toDouble() < 4000;
                  }),
                  WaitMs);
    }

    // Garbage in the leader's channel changes nothing: the followers refuse
    // it and stay in step.
    void hostileMessagesRefused() {
        for (const QByteArray& m :
             {QByteArray("not json"), QByteArray("{}"), QByteArray(R"({"v":1,"play":"ended"})"),
              QByteArray(R"({"v":1,"seq":99999999,"play":"run","file":{"name":"../../x",)"
                         R"("size":1,"hash":"00"},"rate":100})"),
              QByteArray(1500, '{')})
            frm_->RemoteServer->PublishSync(m);
        // All of it handed to the followers' connections: what they answer
        // next comes after they read it.
        QTRY_COMPARE_WITH_TIMEOUT(frm_->RemoteServer->FollowerBacklog(), qint64(0), WaitMs);
        ROOM_WAIT(AllInStep(), WaitMs);
        for (TFollower& f : followers_)
            QCOMPARE(f.Process.state(), QProcess::Running);
    }

    // Every start of the leader's is told ahead: at the moment it is made,
    // the leader's own run lies kStartAheadMs ahead on the shared clock, at
    // the section's very start, and the followers play that section in step.
    void startsAnnounced_data() {
        QTest::addColumn<bool>("repeat");
        QTest::newRow("a repeat after its pause") << true;
        QTest::newRow("a jump to the next section (PgDn)") << false;
    }
    void startsAnnounced() {
        QFETCH(bool, repeat);
        ROOM_WAIT(AllInStep(), WaitMs);
        if (!repeat && frm_->Engine->CurRow() >= 3) {
            frm_->Engine->PlaySection(1, false);
            ROOM_WAIT(AllInStep(), WaitMs);
        }
        const int row = repeat ? frm_->Engine->CurRow() : frm_->Engine->CurRow() + 1;
        const int64_t startMs = row == 1 ? 0 : row == 2 ? 5000 : 8000;
        const auto before = frm_->Graph->ClockNowNs();
        QVERIFY(before.has_value());
        std::optional<SyncGraph::Mapping> start;
        const QMetaObject::Connection watch =
            connect(frm_->Engine, &SectionEngine::StateChanged, this, [&](SectionEngine::State st) {
                if (st == SectionEngine::State::Playing && !start)
                    start = frm_->Graph->ClockMapping();
            });
        if (repeat)
            frm_->Engine->PlaySection(row, true);
        else
            frm_->Engine->PlayNext();
        QTRY_VERIFY_WITH_TIMEOUT(start.has_value(), WaitMs);
        disconnect(watch);
        QCOMPARE(frm_->Engine->CurRow(), row);
        QVERIFY2(start->clockNs - *before >= int64_t(SyncGraph::kStartAheadMs) * 1000000,
                 qPrintable(QString::number(start->clockNs - *before)));
        QVERIFY2(std::llabs(start->positionNs - startMs * 1000000) < 1000000,
                 qPrintable(QString::number(start->positionNs)));
        // In that section (a follower's own engine rests: its position tells).
        const int64_t endMs = row == 1 ? 5000 : row == 2 ? 8000 : 12000;
        ROOM_WAIT(AllInStep([startMs, endMs](const QJsonObject& s) {
                      const double at = s.value(QStringLiteral("positionMs")).toDouble();
                      return at >= double(startMs) && at < double(endMs);
                  }),
                  WaitMs);
    }

    // The leader gone: each follower plays to the end of its section and
    // holds; back, they rejoin by themselves.
    void leaderLostAndBack() {
        frm_->Sync->chkLead->setChecked(false);
        ROOM_WAIT(AllHeld(), 30000);
        frm_->Sync->chkLead->setChecked(true);
        ROOM_WAIT(AllInStep(), 60000);
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--player") == 0) {
        SetAudioOutput(TAudioOutputKind::Discard);
        int n = 1;
        return RunTavrelo(n, argv);
    }
    return RunE2eTests<TestRoom>(argc, argv);
}

#include "TestRoom.moc"
