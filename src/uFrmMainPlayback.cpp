// The section engine: plays the schedule section by section, repeats a
// section after a muted pause, runs on into the next one, and applies the end
// mode when the media has played to its end. Driven by PlaySection calls, the
// tracker's 500 ms position tick and the graph's end-of-media event, all on
// the user-interface thread. DelayMs keeps handling events while it waits, so
// ticks, clicks and graph events can run inside a waiting PlaySection.
#include "uFrmMain.h"

#include "MyExitWin/MyExitWin.h"
#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/Schedule.h"
#include "media/DSTrackBar.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "media/SampleGrabber.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

using FrmMainText::StrToIntDef;
using FrmMainText::Trunc;

namespace {

// The section end timer takes over from the 500 ms tick this long before the
// end (wall-clock ms): a tick and some lateness of it.
constexpr double kSectionEndLeadMs = 700;
// How long a start waits for its seek to have prerolled at the target.
constexpr int kSeekWaitMs = 5000;
} // namespace

bool TFrmMain::RowExists(int row) const {
    return sgV && row >= 1 && row < sgV->RowCount();
}

void TFrmMain::ConnectPlaybackHandlers() {
    if (FGBrowse && Graph) {
        // The graph's end notification, as the end of the media or an error.
        FGBrowse->OnGraphComplete =
            Guarded([this](auto*, int32_t status, auto*) { Graph->GraphComplete(status); });
        connect(Graph, &PlaybackGraph::EndOfMedia, this, Guarded(&TFrmMain::FGBrowseGraphComplete));
        connect(Graph, &PlaybackGraph::Error, this, Guarded(&TFrmMain::FGBrowseGraphError));
    }
    if (DSTrackBar1)
        DSTrackBar1->SetOnTimer(Guarded(&TFrmMain::DSTrackBar1Timer));
    // Called on the framework's streaming thread, where no box may be shown;
    // it raises nothing.
    if (SampleGrabber)
        SampleGrabber->SetOnBuffer([this](QObject* s, double t, uint8_t* buf, int32_t len) {
            SampleGrabberBuffer(s, t, buf, len);
        });

    if (btnSelFile)
        btnSelFile->OnClick = Guarded(&TFrmMain::btnSelFileClick);
    if (btnPause)
        btnPause->OnClick = Guarded(&TFrmMain::btnPauseClick);
    if (btnBack)
        btnBack->OnClick = Guarded(&TFrmMain::btnBackClick);
    if (btnNext)
        btnNext->OnClick = Guarded(&TFrmMain::btnNextClick);
    if (cbRate)
        cbRate->OnChange = Guarded(&TFrmMain::cbRateChange);
    if (btnSelAudioChl2)
        btnSelAudioChl2->OnClick = Guarded(&TFrmMain::btnSelAudioChl2Click);
    if (lbLeft2)
        lbLeft2->OnClick = Guarded(&TFrmMain::lbLeft2Click);
    if (lbCenter2)
        lbCenter2->OnClick = Guarded(&TFrmMain::lbCenter2Click);
    if (lbRight2)
        lbRight2->OnClick = Guarded(&TFrmMain::lbRight2Click);
    if (SoundLevel2)
        SoundLevel2->OnChange = Guarded(&TFrmMain::SoundLevel2Change);
    if (tbZoom)
        tbZoom->OnChange = Guarded(&TFrmMain::tbZoomChange);
    // lbPos's double click reaches lbPosDblClick through the window's own
    // event filter.
    // A check box raises its click event whenever its state changes, also
    // when the program sets it (LoadSettings).
    if (chkOn2Monitor)
        connect(chkOn2Monitor, &QCheckBox::toggled, this,
                Guarded([this] { chkOn2MonitorClick(chkOn2Monitor); }));
}

int TFrmMain::CurRow() const {
    return FGBrowse ? FGBrowse->Tag() : 0;
}

void TFrmMain::SetCurRow(int row) {
    if (FGBrowse)
        FGBrowse->SetTag(row);
}

bool TFrmMain::OpenMedia() {
    // A named pipe or a device would block the file source's open for good.
    if (const QString why = MediaFileRefusal(CurFile); !why.isEmpty()) {
        FGBrowse->Stop();
        if (FrmPlay)
            FrmPlay->hide();
        show();
        ReportUnplayable(QCoreApplication::translate("Messages", "Cannot play %1: %2")
                             .arg(QDir::toNativeSeparators(CurFile), why));
        return false;
    }
    if (FrmPlay)
        FrmPlay->show();
    // On a fresh graph. Superseded: a handler run during the open started
    // something newer (another file, a stop); that newer state stays and
    // nothing is reported.
    const PlaybackGraph::OpenResult opened = Graph->Open(CurFile);
    if (opened.status == PlaybackGraph::OpenStatus::Superseded)
        return false;
    if (opened.status == PlaybackGraph::OpenStatus::Failed) {
        // A file that cannot be played must not leave a black full-screen
        // window in front of hidden controls: say why, with the controls.
        ReportPlaybackBroke(opened.reason);
        return false;
    }
    openedSize_ = QFileInfo(CurFile).size();
    return true;
}

void TFrmMain::ReportUnplayable(const QString& text) {
    LastPlaybackError = text;
    // Not modal: the engine is often called from a tick or the end-of-media
    // event, and a nested dialog loop would let further ticks run into it.
    ShowErrorNotice(text, this);
}

void TFrmMain::PlaySection(int row, bool isRepeat) {
    if (!FGBrowse || !sgV)
        return;
    // An open file plays on from its handle even when its name is gone:
    // repeats seek in the open graph.
    const bool open = FGBrowse->State() == gsPlaying || FGBrowse->State() == gsPaused;
    if (!open && !QFile::exists(CurFile))
        return;
    // Only rows of the table are played; rows deleted during playback are
    // handled by the callers (the section then runs to the end of the media).
    if (!RowExists(row))
        return;
    const int32_t startMs = Schedule::TimePointMs(sgV->Cell(4, row));
    // The stall watch waits for the start to be over; the media plays again.
    ++engineWaits_;
    const auto started = qScopeGuard([this] { --engineWaits_; });
    mediaEnded_ = false;
    const GraphState state = FGBrowse->State();
    if (state == gsPlaying || state == gsPaused) {
        // The media is open: mute, pause, wait, seek, play.
        FGBrowse->SetVolume(0);
        const auto unmute = qScopeGuard([this] { RestoreVolume(); });
        FGBrowse->Pause();
        if (FrmPlay) {
            FrmPlay->plHint->setVisible(chkRePlay->isChecked() && isRepeat);
            if (FrmPlay->plHint->isVisible())
                FrmPlay->plHint->raise();
        }
        if (isRepeat)
            RepeatPause(StrToIntDef(cbDelay->Text(), 1000));
        // Paused, nothing reaches the output; the seek flushes what was
        // decoded before it. So the volume comes back before the seek: the
        // sound at the section's start is then made at the chosen volume,
        // not muted (which cut the first buffer of every repeat). A pause
        // the graph refused leaves the sound muted until the run.
        if (FGBrowse->State() == gsPaused)
            RestoreVolume();
        SeekTo(uint32_t(startMs));
        ApplySectionRate(isRepeat && row == CurRow() ? repeatOf_ - Engine.RemainCount : 0);
        // A repetition's pause keeps its fixed 200 ms after the seek; a jump
        // the user asked for goes on as soon as the new position is there.
        if (isRepeat) {
            DelayMs(200);
            WaitSeekDone();
        } else {
            FGBrowse->WaitSeekDone(200);
        }
        FGBrowse->Play();
    } else {
        // Nothing open (or stopped): open the media on a fresh graph. It
        // opens paused at its beginning; nothing of that is ever played.
        // Track, channel, rate and volume are set while it is paused, then
        // the seek flushes everything decoded before it, and the run starts
        // once the sound at the section's start waits at the output: the
        // first sound heard is the section's, at its full volume.
        if (!OpenMedia())
            return;
        FGBrowse->Pause();
        if (FrmPlay)
            FrmPlay->ApplyZoom(Trunc(tbZoom->Position()));
        lbLen->setText(SecToTimeStr(FGBrowse->Duration() / 1000));
        RefreshAudioTracks();
        if (lbLeft2->Checked())
            lbLeft2Click(lbLeft2);
        else if (lbRight2->Checked())
            lbRight2Click(lbRight2);
        else
            lbCenter2Click(lbCenter2);
        bool ok = false;
        const double rate = cbRate->Text().toDouble(&ok);
        ApplyRate(ok ? rate : 1.0);
        RestoreVolume();
        SeekTo(uint32_t(startMs));
        WaitSeekDone();
        FGBrowse->Play();
        hide();
    }
    // Bookkeeping. A wait above may have let the user delete rows.
    if (FrmPlay && !FrmPlay->isVisible())
        FrmPlay->show();
    if (FrmPlay)
        FrmPlay->plHint->hide();
    if (!RowExists(row)) {
        Engine.SectEndPos = 0;
        Engine.RemainCount = 0;
        return;
    }
    // The rate was set above: a repeat's own step with the speed trainer, the
    // chosen rate otherwise.
    EnterRow(row);
}

void TFrmMain::WaitSeekDone() {
    // Handling events, as every wait of the engine does. The graph stops
    // counting a seek that never reports back as under way, and a start
    // that takes longer than this plays on anyway: the seek has flushed
    // what came before it, so only the section is heard, a little later.
    if (FGBrowse)
        FGBrowse->WaitSeekDone(kSeekWaitMs);
}

void TFrmMain::RepeatPause(int ms) {
    // With the notice up and a pause of 2 s or more, the whole seconds left
    // count down under it. Each wait runs to the next whole second before
    // the end, so the pause as a whole stays ms long.
    const bool countdown = FrmPlay && FrmPlay->plHint->isVisible() && ms >= 2000;
    if (!countdown) {
        DelayMs(ms);
        return;
    }
    const auto hide = qScopeGuard([this] {
        if (FrmPlay)
            FrmPlay->ShowCountdown(0);
    });
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int64_t left = ms - clock.elapsed();
        if (left <= 0 || !FrmPlay)
            break;
        const int64_t seconds = (left + 999) / 1000;
        FrmPlay->ShowCountdown(int(seconds));
        DelayMs(int(left - (seconds - 1) * 1000));
    }
}

double TFrmMain::PlaybackRate() const {
    return Graph ? Graph->Rate() : 1.0;
}

double TFrmMain::SectionRate(int steps) const {
    const QList<double> rates = RateChoices();
    const int chosen = cbRate ? cbRate->ItemIndex() : -1;
    if (chosen < 0 || chosen >= rates.size())
        return 1.0;
    if (steps <= 0 || !chkSpeedUp || !chkSpeedUp->isChecked() || rates[chosen] >= 1.0)
        return rates[chosen];
    // One list step faster for each repetition played, up to 1.00.
    const double faster = rates[std::min<int>(chosen + steps, int(rates.size()) - 1)];
    return std::min(faster, 1.0);
}

void TFrmMain::ApplySectionRate(int steps) {
    if (!chkSpeedUp || !chkSpeedUp->isChecked() || !FGBrowse)
        return;
    const double rate = SectionRate(steps);
    if (std::abs(PlaybackRate() - rate) > 1e-6)
        ApplyRate(rate);
}

void TFrmMain::RestoreLoopCounts() {
    if (!ReadBoolSetting(IniFileName, Setting::chkLoopCounts))
        return;
    for (int r = 1; RowExists(r) && r <= loopCounts_.size(); ++r)
        sgV->SetCell(1, r, loopCounts_[r - 1]);
}

void TFrmMain::KeepLoopCounts() {
    loopCounts_.clear();
    for (int r = 1; RowExists(r); ++r)
        loopCounts_ << sgV->Cell(1, r);
}

void TFrmMain::RestoreVolume() {
    if (FGBrowse && SoundLevel2)
        FGBrowse->SetVolume(RoundHalfEven(SoundLevel2->Position()));
}

void TFrmMain::EnterRow(int row) {
    sgV->SetRow(row);
    SetCurRow(row);
    // 64 bits: the most negative count a file can hold must not wrap round
    // into an endless repeat.
    Engine.RemainCount =
        int32_t(std::max<int64_t>(int64_t(StrToIntDef(sgV->Cell(1, row), 1)) - 1, 0));
    sgV->SetCell(1, row, QString::number(Engine.RemainCount));
    Engine.SectEndPos =
        row < sgV->RowCount() - 1 ? Schedule::TimePointMs(sgV->Cell(4, row + 1)) : 0;
    SectionEntered(row);
    // A section shorter than a tick ends before the next one.
    ArmSectionEnd(CurrentPositionMs());
}

void TFrmMain::NextSection() {
    const int row = CurRow() + 1;
    if (!RowExists(row)) {
        // The next row was deleted during playback: run to the end of the
        // media, as the last row does.
        Engine.SectEndPos = 0;
        if (!RowExists(CurRow()))
            Engine.RemainCount = 0;
        HoldSectionEnd(0);
        return;
    }
    ApplySectionRate(-1);
    EnterRow(row);
}

void TFrmMain::DSTrackBar1Timer(QObject* /*Sender*/, uint32_t CurrentPos, uint32_t StopPos) {
    Engine.LastTickPos = CurrentPos;
    Engine.LastTickDuration = StopPos;
    if (WatchProgress(CurrentPos))
        return;
    if (!FGBrowse || FGBrowse->State() != gsPlaying)
        return;
    lbPos->setText(SecToTimeStr(int(CurrentPos / 1000)));
    if (Engine.SectEndPos <= 0 || int64_t(CurrentPos) < int64_t(Engine.SectEndPos)) {
        ArmSectionEnd(CurrentPos);
        return;
    }
    SectionEndReached();
}

void TFrmMain::ArmSectionEnd(int64_t positionMs) {
    // The tick alone would notice an end up to 500 ms late, and that much of
    // the next section would be heard before a repeat. Within the last tick
    // before the end a single precise timer takes over, aimed at the end by
    // the pipeline's own position and rate; when it fires it asks the
    // position again, so a seek or a rate change in between only moves it.
    HoldSectionEnd(positionMs);
    if (!sectionEndTimer_) {
        sectionEndTimer_ = new QTimer(this);
        sectionEndTimer_->setSingleShot(true);
        sectionEndTimer_->setTimerType(Qt::PreciseTimer);
        connect(sectionEndTimer_, &QTimer::timeout, this, Guarded([this] { SectionEndTimer(); }));
    }
    if (Engine.SectEndPos <= 0 || !FGBrowse || FGBrowse->State() != gsPlaying) {
        sectionEndTimer_->stop();
        return;
    }
    const double rate = PlaybackRate();
    const double wallMs = double(int64_t(Engine.SectEndPos) - positionMs) / rate;
    if (wallMs > kSectionEndLeadMs) {
        sectionEndTimer_->stop();
        return;
    }
    sectionEndTimer_->start(std::max(0, int(wallMs)));
}

void TFrmMain::HoldSectionEnd(int64_t positionMs) {
    // The sound reaches the output in buffers (40 ms each from a WAV file,
    // 21 ms from AAC), each handed over whole once the clock reaches its
    // start and long past the volume by then: a pause even a millisecond
    // late lets the next section's first buffer be heard. So before a repeat
    // the graph holds the sound at the end itself, whenever the pause comes.
    // A section that runs on into the next one is never held (no gap there);
    // a seek clears the hold and the next tick or row entered sets it again.
    if (!FGBrowse)
        return;
    const bool repeats = Engine.RemainCount > 0 && Engine.SectEndPos > 0 &&
                         positionMs < int64_t(Engine.SectEndPos) && RowExists(CurRow()) &&
                         RowExists(CurRow() + 1);
    FGBrowse->SetSoundEnd(repeats ? int64_t(Engine.SectEndPos) : -1);
}

void TFrmMain::SectionEndTimer() {
    if (!FGBrowse || FGBrowse->State() != gsPlaying || Engine.SectEndPos <= 0)
        return;
    const int64_t pos = CurrentPositionMs();
    // A millisecond more counts: the timer's own resolution.
    if (double(int64_t(Engine.SectEndPos) - pos) / PlaybackRate() > 1) {
        ArmSectionEnd(pos);
        return;
    }
    SectionEndReached();
}

void TFrmMain::SectionEndReached() {
    if (sectionEndTimer_)
        sectionEndTimer_->stop();
    if (Engine.RemainCount > 0) {
        if (RowExists(CurRow()) && RowExists(CurRow() + 1)) {
            PlaySection(CurRow(), true);
        } else {
            // Rows deleted during playback: the section runs to the end.
            Engine.SectEndPos = 0;
            if (!RowExists(CurRow()))
                Engine.RemainCount = 0;
            HoldSectionEnd(0);
        }
        return;
    }
    NextSection();
}

void TFrmMain::FGBrowseGraphError(const QString& reason) {
    // Playback broke off (a sound output that went away, a decoder error):
    // the routine is not over. Say why, with the controls in sight, and
    // stop; no repeat and no end action follows, so a failure never switches
    // the computer off or quits.
    ReportPlaybackBroke(reason);
}

void TFrmMain::FGBrowseGraphComplete() {
    // A file cut short under the player ends early; that is no end of the
    // routine either.
    if (CutWhilePlaying()) {
        ReportPlaybackBroke(
            QCoreApplication::translate("Messages", "the file was cut short while playing"));
        return;
    }
    // The position stands still at the end from now on, also while a
    // power-off asks for a password and after one that failed: no stall.
    mediaEnded_ = true;
    if (Engine.SectEndPos == 0 && Engine.RemainCount >= 1 && RowExists(CurRow())) {
        PlaySection(CurRow(), true);
    } else if (rbShut->Checked()) {
        ExitWin->SetExitWinType(ewPowerOff);
        ExitWin->Execute(); // an error raised here skips TerminateSelf
        TerminateSelf();
    } else if (rbExit->Checked()) {
        TerminateSelf();
    } else {
        RestoreLoopCounts();
        PlaySection(1, false);
    }
}
