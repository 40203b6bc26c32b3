// The window's actions as keys and remote controls ask for them (volume,
// rate, the controls, mirror, mark here, another file), and the state a
// remote shows, read from the section engine. Every action goes through the
// window's own handlers (SoundLevel2, cbRate), so what it changes is stored
// and shown exactly as after the same change made with the mouse; playback
// commands go to the engine itself.
//
// StateChanged tells the remotes about every change they show. Play and
// pause are seen as the graph's control steps, a section entered, a
// repetition and the rate as the engine's signals, and a volume or rate
// chosen on the window through the sliders' and lists' change events,
// chained here behind the handlers bound to them.
#include "uFrmMain.h"

#include "SettingKeeper.h"
#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/Schedule.h"
#include "engine/SectionEngine.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "media/VideoWindow.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/IniFile.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// Tells the window after the graph has started, paused or stopped. The
// graph announces a step before taking it, so the state is read once the
// step is done. A child of the window, not of the graph (whose children are
// its own helpers); it leaves the graph's listeners when it goes first.
class TPlayStateWatch : public QObject, public IGraphListener {
public:
    TPlayStateWatch(TFilterGraph* graph, TFrmMain* owner)
        : QObject(owner), graph_(graph), owner_(owner) {
        graph->AddListener(this);
    }
    ~TPlayStateWatch() override {
        if (graph_)
            graph_->RemoveListener(this);
    }
    void FrameworkEvent(long, intptr_t, intptr_t) override {}
    void ControlStep(TControlStep kind, int) override {
        if (kind == ssPlay || kind == ssPause || kind == ssStop)
            QTimer::singleShot(0, owner_, [o = owner_] { o->NotifyStateChanged(rcPlayState); });
    }

private:
    QPointer<TFilterGraph> graph_;
    TFrmMain* owner_;
};

} // namespace

void TFrmMain::ChainActionNotifications() {
    // Once, from CreateRemoteControls.
    if (FGBrowse)
        new TPlayStateWatch(FGBrowse, this);
    // Behind the handlers already bound: the change is stored and applied
    // first, then announced.
    auto chain = [this](TNotifyEvent& event, int reasons) {
        TNotifyEvent bound = event;
        event = [this, bound, reasons](QObject* sender) {
            if (bound)
                bound(sender);
            NotifyStateChanged(reasons);
        };
    };
    if (SoundLevel2)
        chain(SoundLevel2->OnChange, rcVolume);
    if (cbRate)
        chain(cbRate->OnChange, rcRate);
    if (btnBack)
        chain(btnBack->OnClick, rcSeek);
    if (btnNext)
        chain(btnNext->OnClick, rcSeek);
}

void TFrmMain::NotifyStateChanged(int reasons) {
    emit StateChanged(reasons);
}

TRemoteState TFrmMain::PlayerState() const {
    TRemoteState s;
    const GraphState state = FGBrowse ? FGBrowse->State() : gsNone;
    s.Status = state == gsPlaying  ? QStringLiteral("Playing")
               : state == gsPaused ? QStringLiteral("Paused")
                                   : QStringLiteral("Stopped");
    if (QFileInfo(CurFile).isFile()) {
        s.FilePath = CurFile;
        s.File = QFileInfo(CurFile).fileName();
    }
    s.SectionCount = Sched->RowCount();
    const int row = CurRow();
    if (RowExists(row) && !s.File.isEmpty()) {
        s.Section = row;
        s.Description = Sched->Description(row).trimmed();
        s.RepeatOf = Engine->RepeatOf();
        s.Repeat = Engine->Repeat();
    }
    if (state >= gsPaused) {
        s.PositionMs = Graph->KnownPositionMs().value_or(Engine->PositionMs());
        s.DurationMs = std::max(0, FGBrowse->Duration());
    }
    if (s.Section > 0) {
        s.SectionStartMs = Sched->StartMs(s.Section);
        s.SectionEndMs = RowExists(s.Section + 1) ? Sched->StartMs(s.Section + 1) : s.DurationMs;
        s.SectionEndMs = std::max(s.SectionEndMs, s.SectionStartMs);
    }
    // The rate the media plays at (the speed trainer's step included); the
    // chosen one while nothing is open.
    bool ok = false;
    const double rate = cbRate ? cbRate->Text().toDouble(&ok) : 1.0;
    s.Rate = state >= gsPaused ? Engine->Rate() : ok ? rate : 1.0;
    s.Volume = SoundLevel2 ? RoundHalfEven(SoundLevel2->Position()) : 0;
    for (TMyRadionBtn* rb : {rbExit, rbShut, rbPlay})
        if (rb && rb->Checked())
            s.EndMode = rb->Caption();
    s.ControlsVisible = isVisible();
    return s;
}

void TFrmMain::ActVolumeStep(int percent) {
    if (SoundLevel2)
        ActSetVolume(RoundHalfEven(SoundLevel2->Position()) + percent * 100);
}

void TFrmMain::ActSetVolume(int volume) {
    // Through the slider: SoundLevel2Change stores and applies it.
    if (SoundLevel2)
        SoundLevel2->SetPosition(std::clamp(volume, 0, 10000));
}

void TFrmMain::ActRateStep(int direction) {
    if (!cbRate || cbRate->Items().isEmpty())
        return;
    int i = cbRate->ItemIndex();
    if (i < 0)
        i = std::max(0, int(cbRate->Items().indexOf(QStringLiteral("1.00"))));
    const int to = std::clamp(i + (direction < 0 ? -1 : 1), 0, int(cbRate->Items().size()) - 1);
    if (to != cbRate->ItemIndex())
        ActSetRate(RateChoices().value(to, 1.0));
}

void TFrmMain::ActSetRate(double rate) {
    const QList<double> rates = RateChoices();
    if (rates.isEmpty() || !std::isfinite(rate))
        return;
    int best = 0;
    for (int i = 1; i < rates.size(); ++i)
        if (std::abs(rates[i] - rate) < std::abs(rates[best] - rate))
            best = i;
    // cbRateChange stores the choice, but applies it only while playing; a
    // paused graph takes it now as well, so that it resumes at that pace.
    cbRate->SetItemIndex(best);
    if (FGBrowse && FGBrowse->State() == gsPaused)
        EngineNow().ApplyRate(rates[best]);
}

double TFrmMain::PlaybackRate() const {
    return Engine ? Engine->Rate() : 1.0;
}

void TFrmMain::ActToggleControls() {
    // Hidden only over the video window, whose click brings the controls
    // back (as the idle hiding does): with no picture in sight nothing would
    // be left on the screen to bring them back with.
    if (!isVisible() || !FrmPlay || !FrmPlay->isVisible()) {
        ActShowControls();
        return;
    }
    hide();
    NotifyStateChanged(rcControls);
}

void TFrmMain::ActShowControls() {
    IdleTicks = 0;
    const bool shown = isVisible();
    show();
    raise();
    activateWindow();
    if (!shown)
        NotifyStateChanged(rcControls);
}

void TFrmMain::CreatePracticeControls() {
    // Beside the first hint line, inside the bottom panel, as the remote's
    // switch sits beside the second one.
    const auto make = [this](const char* name, const QString& caption, const QString& hint) {
        auto* c = new QCheckBox(caption, plBottom);
        c->setObjectName(QLatin1String(name));
        c->setFont(chkRePlay->font());
        c->setPalette(chkRePlay->palette());
        c->setToolTip(hint);
        c->setMouseTracking(true);
        c->setGeometry(0, 86, 0, 0); // on its row, sized once in sight
        return c;
    };
    chkMirror = make("chkMirror", tr("镜像"), tr("画面左右翻转"));
    chkStretch = make("chkStretch", tr("拉伸填满"), tr("画面拉伸到整个屏幕，不留黑边"));
    chkOSD = make("chkOSD", tr("显示小节"), tr("在画面角上显示小节和遍数"));
    chkSpeedUp = make("chkSpeedUp", tr("逐遍加速"), tr("每重放一遍快一档，最快 1.00"));
    WhenBottomRowsInSight([this] {
        for (QCheckBox* c : {chkMirror, chkStretch, chkOSD, chkSpeedUp})
            c->adjustSize();
        // From the panel's right edge leftwards, as the last row: the
        // picture's two switches side by side, then the section line and
        // the speed trainer.
        int right = plBottom->width() - 8;
        for (QCheckBox* c : {chkSpeedUp, chkOSD, chkStretch, chkMirror}) {
            c->setGeometry(right - c->width(), 86, c->width(), 14);
            right = c->x() - 8;
        }
    });

    chkOSD->setChecked(ReadBoolSetting(IniFileName, Setting::chkOSD));
    chkStretch->setChecked(ReadBoolSetting(IniFileName, Setting::chkStretch));
    if (FrmPlay)
        FrmPlay->VW->SetStretched(chkStretch->isChecked());
    connect(chkStretch, &QCheckBox::toggled, this,
            Guarded([this] { chkStretchClick(chkStretch); }));
    LoadPracticeSchedule();
    connect(chkMirror, &QCheckBox::toggled, this, Guarded([this] { chkMirrorClick(chkMirror); }));
    connect(chkOSD, &QCheckBox::toggled, this, Guarded([this] { chkOSDClick(chkOSD); }));
    connect(chkSpeedUp, &QCheckBox::toggled, this,
            Guarded([this] { chkSpeedUpClick(chkSpeedUp); }));
}

void TFrmMain::LoadPracticeSchedule() {
    // Read, not written back: a file without these keys keeps them absent.
    if (!chkMirror || SchedFileName.isEmpty())
        return;
    const QSignalBlocker quiet(chkMirror);
    const QSignalBlocker quiet2(chkSpeedUp);
    chkSpeedUp->setChecked(ReadBoolSetting(SchedFileName, Setting::chkSpeedUp));
    chkMirror->setChecked(ReadBoolSetting(SchedFileName, Setting::chkMirror));
    if (FrmPlay)
        FrmPlay->VW->SetMirrored(chkMirror->isChecked());
}

void TFrmMain::chkMirrorClick(QObject* /*Sender*/) {
    const bool on = chkMirror->isChecked();
    if (FrmPlay)
        FrmPlay->VW->SetMirrored(on);
    if (QFileInfo(CurFile).isFile())
        Keeper->Keep(Setting::chkMirror, BoolToText(on));
}

void TFrmMain::chkSpeedUpClick(QObject* /*Sender*/) {
    if (QFileInfo(CurFile).isFile())
        Keeper->Keep(Setting::chkSpeedUp, BoolToText(chkSpeedUp->isChecked()));
}

void TFrmMain::chkOSDClick(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::chkOSD, BoolToText(chkOSD->isChecked()));
    if (FrmPlay)
        FrmPlay->ShowSectionLine(chkOSD->isChecked() ? Engine->SectionLineText() : QString());
}

void TFrmMain::chkStretchClick(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::chkStretch, BoolToText(chkStretch->isChecked()));
    if (FrmPlay)
        FrmPlay->VW->SetStretched(chkStretch->isChecked());
}

void TFrmMain::ActToggleMirror() {
    if (chkMirror)
        chkMirror->setChecked(!chkMirror->isChecked());
}

void TFrmMain::ActMarkHere() {
    if (!FGBrowse || FGBrowse->State() < gsPaused || !QFileInfo(CurFile).isFile())
        return;
    if (!chkEdit->isChecked()) {
        ShowPassingHint(tr(qUtf8Printable(EditLockedHint)));
        return;
    }
    MarkSectionAt(Graph->KnownPositionMs().value_or(Engine->PositionMs()), true);
}

void TFrmMain::MarkSectionAt(int64_t markAt, bool save) {
    sgV->HideEditor(true);
    // Stored first: a refused write leaves the table as it was. Not modal:
    // the practice plays on while the user reads.
    int row = 0;
    try {
        row = EngineNow().MarkAt(markAt, save ? SchedFileName : QString());
    } catch (const EWriteRefused& e) {
        ShowErrorNotice(e.Text(), isVisible() ? this : nullptr);
        return;
    }
    if (row == 0)
        return;
    if (!save)
        ScheduleEdited = true;
    sgV->SetCol(5); // ready for its description
    NotifyStateChanged(rcSection);
}

// Untranslated; shown through tr().
const QString TFrmMain::EditLockedHint =
    QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "请先勾选“允许编辑”"));

void TFrmMain::ShowPassingHint(const QString& text, QWidget* over) {
    // By default over the window in sight: the video window while the
    // controls are hidden or it has the keyboard.
    if (!over)
        over = FrmPlay && FrmPlay->isVisible() && (!isVisible() || FrmPlay->isActiveWindow())
                   ? static_cast<QWidget*>(FrmPlay.get())
                   : this;
    QPoint at = QCursor::pos();
    if (!over->frameGeometry().contains(at))
        at = over->mapToGlobal(over->rect().center());
    QToolTip::showText(at, text, over, QRect(), 3000);
}
