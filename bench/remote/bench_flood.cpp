// A phone's page load while someone holds idle connections open against
// the phone remote, on the loopback only: another process opens 1,100
// connections (8 from each of 138 addresses 127.0.2.x, the remote's share
// per address), sends nothing, and opens again each one the player closes.
// Side by side in one run:
//  1. GET / from 127.0.0.1 (a new connection each, as a phone's browser
//     after the page was closed) with no one else connected;
//  2. the same while the connections are held and re-opened.
// Bounded: kLoads loads each, the holder ends when told or after kHoldSecs.
// Run: build-bench/bench/bench_flood (offscreen).
#include "../../tests/e2e/PlayerKit.h"
#include "../BenchKit.h"

#include "remote/RemoteServer.h"

#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kLoads = 40;
constexpr int kHeld = 1100;
constexpr int kHoldSecs = 120;

// Holds kHeld connections (argv: port, count, seconds); prints "held" once
// all are open, and at the end how many it opened again.
const char* kHolder = R"(
import resource, selectors, socket, sys, time
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 8192)), hard))
port, count, secs = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
sel = selectors.DefaultSelector()
opened = 0
def hold(i):
    global opened
    s = socket.socket()
    s.setblocking(False)
    s.bind(('127.0.2.%d' % (i // 8 + 1), 0))
    try:
        s.connect(('127.0.0.1', port))
    except BlockingIOError:
        pass
    sel.register(s, selectors.EVENT_READ, i)
    opened += 1
for i in range(count):
    hold(i)
print('held', flush=True)
sel.register(sys.stdin, selectors.EVENT_READ, -1)
end = time.time() + secs
done = False
while not done and time.time() < end:
    for key, _ in sel.select(0.2):
        if key.data < 0:
            done = True
            continue
        s = key.fileobj
        try:
            data = s.recv(4096)
        except OSError:
            data = b''
        if not data:
            sel.unregister(s)
            s.close()
            hold(key.data)
print('reopened', opened - count, flush=True)
)";

struct TLoads {
    std::vector<double> Ms;
    int Failed = 0;
};

// kLoads page loads from 127.0.0.1, each on a new connection; a load that
// is reset or takes more than 10 s counts as failed. As a browser does, the
// request goes out as soon as the connection is made (a plain socket: the
// player, in this process, answers from the event loop run meanwhile).
TLoads LoadPages(quint16 port) {
    TLoads out;
    const QByteArray request = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                               "\r\nConnection: close\r\n\r\n";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < kLoads; ++i) {
        QElapsedTimer t;
        t.start();
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        QByteArray in;
        bool sent = false;
        bool closed = false;
        const int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        const bool whole = (rc == 0 || errno == EINPROGRESS) &&
                           WaitUntil(
                               [&] {
                                   if (!sent) {
                                       pollfd p{fd, POLLOUT, 0};
                                       if (::poll(&p, 1, 0) <= 0)
                                           return false;
                                       if (::send(fd, request.constData(), size_t(request.size()),
                                                  MSG_NOSIGNAL) != ssize_t(request.size()))
                                           return closed = true;
                                       sent = true;
                                   }
                                   char buf[65536];
                                   ssize_t n;
                                   while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
                                       in.append(buf, n);
                                   closed = n == 0 || (n < 0 && errno != EAGAIN);
                                   return in.endsWith("</html>\n") || closed;
                               },
                               10000);
        ::close(fd);
        if (whole && in.startsWith("HTTP/1.1 200") && in.endsWith("</html>\n"))
            out.Ms.push_back(t.nsecsElapsed() / 1e6);
        else
            ++out.Failed;
        // A breath between loads, as between a phone's taps.
        WaitUntil([] { return false; }, 50);
    }
    std::sort(out.Ms.begin(), out.Ms.end());
    return out;
}

void Print(const char* what, const TLoads& l) {
    if (l.Ms.empty()) {
        std::printf("  %-34s all %d failed\n", what, l.Failed);
        return;
    }
    std::printf("  %-34s median %7.2f  90%% %7.2f  worst %7.2f  failed %d/%d\n", what,
                l.Ms[l.Ms.size() / 2], l.Ms[l.Ms.size() * 9 / 10], l.Ms.back(), l.Failed, kLoads);
}

} // namespace

int main(int argc, char** argv) {
    UsePrivateBenchEnvironment();
    TApplication app(argc, argv);
    InitPublicModule();
    TRemoteServer server(nullptr, QStringLiteral("246810"));
    if (!server.Listen(QHostAddress::LocalHost, 0))
        return 1;
    if (TRemoteServer::Page().isEmpty()) {
        std::fprintf(stderr, "no page in the resources\n");
        return 1;
    }
    const TLoads alone = LoadPages(server.Port());

    QProcess holder;
    holder.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(kHolder),
                                             QString::number(server.Port()), QString::number(kHeld),
                                             QString::number(kHoldSecs)});
    QByteArray said;
    if (!WaitUntil(
            [&] {
                said += holder.readAllStandardOutput();
                return said.contains("held") || holder.state() == QProcess::NotRunning;
            },
            60000) ||
        !said.contains("held")) {
        std::fprintf(stderr, "holder: %s\n", holder.readAllStandardError().constData());
        return 1;
    }
    const int connections = server.ConnectionCount();
    const TLoads flooded = LoadPages(server.Port());
    holder.closeWriteChannel();
    WaitUntil([&] { return holder.state() == QProcess::NotRunning; }, 30000);
    said += holder.readAllStandardOutput();
    const int at = said.indexOf("reopened ");
    const int reopened = at < 0 ? -1 : said.mid(at + 9).trimmed().toInt();

    std::printf("phone page load (GET /, a new connection each) over the loopback, ms\n");
    Print("no one else connected", alone);
    Print(qPrintable(QStringLiteral("%1 idle held and re-opened").arg(kHeld)), flooded);
    std::printf("  connections the player held at once: %d (at most %d); re-opened by the "
                "holder: %d\n",
                connections, TRemoteServer::kMaxConnections, reopened);
    if (!alone.Ms.empty() && !flooded.Ms.empty())
        std::printf("  ratio held/alone (median) %.1f\n",
                    flooded.Ms[flooded.Ms.size() / 2] /
                        std::max(alone.Ms[alone.Ms.size() / 2], 1e-3));
    return 0;
}
