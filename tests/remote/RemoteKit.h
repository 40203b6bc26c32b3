// Shared by the remote-control tests: a control window playing a short clip
// of three sections, and running a client program while the event loop
// keeps answering it (the player it talks to lives in this process).
#pragma once

#include "../e2e/PlayerKit.h"

#include <QProcess>

// Runs program with args, the event loop running, until it exits; its
// standard output (trimmed), or a null string when it did not finish; its
// standard error in *errors.
inline QString RunClient(const QString& program, const QStringList& args, int* exitCode = nullptr,
                         int timeoutMs = 20000, QString* errors = nullptr) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start();
    if (!p.waitForStarted(10000))
        return {};
    const bool done = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, timeoutMs);
    if (!done) {
        p.kill();
        p.waitForFinished(2000);
        return {};
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errors)
        *errors = QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A 12 s clip cut into sections at 0 s (played twice), 4 s and 8 s.
class TRemoteFixture : public TPlayerFolder {
protected:
    void MakeClip() { MakeToneClip(QStringLiteral("tones.mp4"), 12, 1, SmallPicture()); }

    // The window on a fresh schedule and settings; playing when play.
    void Open(bool play) {
        frm_.reset();
        WriteSchedule(
            clip_, {{QStringLiteral("2"), QStringLiteral("00:00"), QStringLiteral("warm up")},
                    {QStringLiteral("1"), QStringLiteral("00:04"), QStringLiteral("steps")},
                    {QStringLiteral("1"), QStringLiteral("00:08"), QStringLiteral("cool down")}});
        WriteSettings(clip_, {});
        frm_ = std::make_unique<TFrmMain>();
        frm_->show();
        if (!play)
            return;
        frm_->PlaySection(1, false);
        QTRY_VERIFY_WITH_TIMEOUT(frm_->FGBrowse->State() == gsPlaying, WaitMs);
    }
};
