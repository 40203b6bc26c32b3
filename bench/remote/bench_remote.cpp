// Command-to-action latency of the phone remote over the loopback, with the
// page's own protocol (a POST to /api/command with the session cookie, the
// state pushed back over the WebSocket), over 100 presses of the volume
// buttons while a clip plays:
//  1. POST sent -> the player's StateChanged (the action has been taken);
//  2. POST sent -> the new state received on the WebSocket (what the page shows);
//  3. the same action called in the process (no network), for the ratio.
// Run: build-bench/bench/bench_remote (offscreen).
#include "../../tests/e2e/PlayerKit.h"
#include "../BenchKit.h"

#include "remote/RemoteServer.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QWebSocket>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kPresses = 100;
const QString kPin = QStringLiteral("246810");

struct TFigures {
    double Median = 0;
    double Worst = 0;
};

TFigures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

} // namespace

int main(int argc, char** argv) {
    UsePrivateBenchEnvironment();
    TApplication app(argc, argv);
    InitPublicModule();
    QTemporaryDir dir;
    QString error;
    const QString clip = MakeOneSectionFolder(dir, &error);
    if (clip.isEmpty()) {
        std::fprintf(stderr, "clip: %s\n", qPrintable(error));
        return 1;
    }
    TFrmMain frm;
    frm.PlaySection(1, false);
    WaitUntil([&] { return frm.FGBrowse->State() == gsPlaying; });

    TRemoteServer server(frm.RemotePlayer, kPin);
    if (!server.Listen(QHostAddress::LocalHost, 0))
        return 1;
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.Port());
    QNetworkAccessManager net;
    auto post = [&](const QString& path, const QByteArray& body) {
        QNetworkRequest r{QUrl(base + path)};
        r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        return net.post(r, body);
    };
    QNetworkReply* pair = post(QStringLiteral("/api/pair"), "{\"pin\":\"246810\"}");
    WaitUntil([&] { return pair->isFinished(); });
    if (pair->error() != QNetworkReply::NoError)
        return 1;
    pair->deleteLater(); // the cookie stays in the manager's jar

    QWebSocket ws(base);
    QNetworkRequest wsRequest{QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(server.Port()))};
    wsRequest.setRawHeader("Cookie",
                           QByteArray(TRemoteServer::kCookieName) + '=' +
                               net.cookieJar()->cookiesForUrl(QUrl(base)).value(0).value());
    QElapsedTimer clock;
    double actedAt = -1, pushedAt = -1;
    int pushes = 0;
    QObject::connect(&ws, &QWebSocket::textMessageReceived, [&](const QString&) {
        ++pushes;
        // The first push after the action carries it.
        if (actedAt >= 0 && pushedAt < 0)
            pushedAt = clock.nsecsElapsed() / 1e6;
    });
    ws.open(wsRequest);
    if (!WaitUntil([&] { return pushes > 0; }))
        return 1;

    QObject::connect(&frm, &TFrmMain::StateChanged, [&](int reasons) {
        if ((reasons & rcVolume) && actedAt < 0)
            actedAt = clock.nsecsElapsed() / 1e6;
    });
    std::vector<double> toAction, toPage, direct;
    for (int i = 0; i < kPresses; ++i) {
        const bool up = i % 2 == 0;
        actedAt = pushedAt = -1;
        clock.start();
        QNetworkReply* r = post(QStringLiteral("/api/command"),
                                up ? "{\"cmd\":\"louder\"}" : "{\"cmd\":\"quieter\"}");
        WaitUntil([&] { return pushedAt >= 0 && r->isFinished(); });
        toAction.push_back(actedAt);
        toPage.push_back(pushedAt);
        r->deleteLater();

        actedAt = -1;
        clock.start();
        frm.ActVolumeStep(up ? 5 : -5);
        direct.push_back(actedAt);
    }
    const TFigures a = Summarise(toAction), p = Summarise(toPage), d = Summarise(direct);
    std::printf("phone remote over the loopback, %d presses (ms)\n", kPresses);
    std::printf("  command -> action        median %7.2f  worst %7.2f\n", a.Median, a.Worst);
    std::printf("  command -> state on page median %7.2f  worst %7.2f\n", p.Median, p.Worst);
    std::printf("  in-process action        median %7.3f  worst %7.3f\n", d.Median, d.Worst);
    std::printf("  ratio remote/in-process (median) %.0f\n", a.Median / std::max(d.Median, 1e-3));
    return 0;
}
