// The control window's side of the section engine (engine/SectionEngine.h):
// the engine is made here, gets the choices of the window's controls each
// time it is asked to act (EngineNow), and the playback handlers of the
// window forward to it: PlaySection, NextSection, DSTrackBar1Timer (the
// tracker's 500 ms tick), FGBrowseGraphComplete, FGBrowseGraphError and
// FGBrowseOutputLost.
#include "uFrmMain.h"

#include "MyExitWin/MyExitWin.h"
#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/EngineClock.h"
#include "engine/Schedule.h"
#include "engine/SectionEngine.h"
#include "media/DSTrackBar.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "media/SampleGrabber.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "uFrmMainView.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QLabel>

using FrmMainText::StrToIntDef;

bool TFrmMain::RowExists(int row) const {
    return Sched && Sched->RowExists(row);
}

void TFrmMain::CreateEngine() {
    View = std::make_unique<TFrmMainView>(*this);
    SysClock = new SystemClock(this);
    Engine = new SectionEngine(*Sched, *Graph, *View, *SysClock, this);
    // The graph's end and error reach the engine through the window's
    // handlers, which hand it the current choices (the end mode) and show
    // what an end action raises; the engine does not listen itself.
    disconnect(Graph, nullptr, Engine, nullptr);
    connect(Graph, &PlaybackGraph::EndOfMedia, this, Guarded(&TFrmMain::FGBrowseGraphComplete));
    connect(Graph, &PlaybackGraph::Error, this, Guarded(&TFrmMain::FGBrowseGraphError));
    connect(Graph, &PlaybackGraph::OutputLost, this, Guarded(&TFrmMain::FGBrowseOutputLost));
    connect(Engine, &SectionEngine::PositionChanged, this,
            [this](qint64 ms) { lbPos->setText(SecToTimeStr(int(ms / 1000))); });
    connect(Engine, &SectionEngine::DurationChanged, this,
            [this](qint64 ms) { lbLen->setText(SecToTimeStr(int(ms / 1000))); });
    // The remotes hear of a section entered, a repetition and the rate
    // really playing (the speed trainer's steps included). A new section
    // is announced once, not also as a repetition.
    auto entered = std::make_shared<bool>(false);
    connect(Engine, &SectionEngine::SectionChanged, this, [this, entered] {
        *entered = true;
        emit StateChanged(rcSection);
    });
    connect(Engine, &SectionEngine::RepeatChanged, this, [this, entered] {
        if (!std::exchange(*entered, false))
            emit StateChanged(rcRepeat | rcSeek);
    });
    connect(Engine, &SectionEngine::RateChanged, this, [this] { emit StateChanged(rcRate); });
}

SectionEngine& TFrmMain::EngineNow(bool atMediaEnd) {
    SectionEngine::Options o;
    o.RepeatPauseMs = StrToIntDef(cbDelay->Text(), 1000);
    o.ReplayNotice = chkRePlay->isChecked();
    o.SectionLine = chkOSD && chkOSD->isChecked();
    o.SpeedUp = chkSpeedUp && chkSpeedUp->isChecked();
    // Read from the settings file when a loop pass may begin, not on every
    // tick.
    o.LoopCounts = atMediaEnd ? ReadBoolSetting(IniFileName, Setting::chkLoopCounts)
                              : Engine->GetOptions().LoopCounts;
    o.Rates = RateChoices();
    o.RateIndex = cbRate->ItemIndex();
    o.Volume = RoundHalfEven(SoundLevel2->Position());
    o.End = rbShut->Checked()   ? EndMode::PowerOff
            : rbExit->Checked() ? EndMode::Exit
                                : EndMode::Loop;
    Engine->SetOptions(o);
    Engine->SetFile(CurFile);
    return *Engine;
}

void TFrmMain::ConnectPlaybackHandlers() {
    if (FGBrowse && Graph) {
        // The graph's end notification, as the end of the media or an error.
        FGBrowse->OnGraphComplete =
            Guarded([this](auto*, int32_t status, auto*) { Graph->GraphComplete(status); });
        CreateEngine();
    }
    if (DSTrackBar1)
        DSTrackBar1->SetOnTimer(Guarded(&TFrmMain::DSTrackBar1Timer));
}

int TFrmMain::CurRow() const {
    return Engine ? Engine->CurRow() : 0;
}

void TFrmMain::ReportUnplayable(const QString& text) {
    LastPlaybackError = text;
    // Not modal: the engine is often called from a tick or the end-of-media
    // event, and a nested dialog loop would let further ticks run into it.
    ShowErrorNotice(text, this);
}

void TFrmMain::PlaySection(int row, bool isRepeat) {
    EngineNow().PlaySection(row, isRepeat);
}

void TFrmMain::NextSection() {
    EngineNow().NextSection();
}

void TFrmMain::DSTrackBar1Timer(QObject* /*Sender*/, uint32_t CurrentPos, uint32_t StopPos) {
    // Following, the leader's section ends count, not this window's.
    if (Following())
        return;
    EngineNow().Tick(CurrentPos, StopPos);
}

void TFrmMain::FGBrowseGraphError(const QString& reason) {
    if (Following())
        return; // the follower reports it
    EngineNow().MediaError(reason);
}

void TFrmMain::FGBrowseOutputLost(const QString& reason) {
    if (Following())
        return; // the follower reports it
    EngineNow().OutputLost(reason);
}

void TFrmMain::FGBrowseGraphComplete() {
    if (Following())
        return; // the leader says what comes next
    EngineNow(true).GraphComplete();
}

QList<double> TFrmMain::RateChoices() const {
    QList<double> rates;
    if (!cbRate)
        return rates;
    for (const QString& item : cbRate->Items()) {
        bool ok = false;
        const double r = item.toDouble(&ok);
        if (ok)
            rates << r;
    }
    return rates;
}
