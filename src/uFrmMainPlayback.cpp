// The control window's side of the section engine (engine/SectionEngine.h):
// the engine is made here, gets the choices of the window's controls each
// time it is asked to act (EngineNow), and the playback handlers of the
// window forward to it: PlaySection, NextSection, DSTrackBar1Timer (the
// tracker's 500 ms tick), FGBrowseGraphComplete and FGBrowseGraphError.
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
        NotifyStateChanged(rcSection);
    });
    connect(Engine, &SectionEngine::RepeatChanged, this, [this, entered] {
        if (!std::exchange(*entered, false))
            NotifyStateChanged(rcRepeat | rcSeek);
    });
    connect(Engine, &SectionEngine::RateChanged, this, [this] { NotifyStateChanged(rcRate); });
}

SectionEngine& TFrmMain::EngineNow() {
    SectionEngine::Options o;
    o.RepeatPauseMs = StrToIntDef(cbDelay->Text(), 1000);
    o.ReplayNotice = chkRePlay->isChecked();
    o.SectionLine = chkOSD && chkOSD->isChecked();
    o.SpeedUp = chkSpeedUp && chkSpeedUp->isChecked();
    o.LoopCounts = ReadBoolSetting(IniFileName, Setting::chkLoopCounts);
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
    EngineNow().Tick(CurrentPos, StopPos);
}

void TFrmMain::FGBrowseGraphError(const QString& reason) {
    EngineNow().MediaError(reason);
}

void TFrmMain::FGBrowseGraphComplete() {
    EngineNow().GraphComplete();
}
