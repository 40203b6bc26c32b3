// The player's actions as keys and remote controls ask for them, and the
// state a remote shows. Every action goes through the window's own handlers
// (the skips, SoundLevel2, cbRate, PlaySection), so what it changes is stored
// and shown exactly as after the same change made with the mouse.
//
// StateChanged tells the remotes about every change they show. Some changes
// happen inside the window's handlers, out of reach of this file: play and
// pause are seen as the graph's control steps, a section entered through
// EnterRow, and a volume or rate chosen on the window through the sliders'
// and lists' change events, chained here behind the handlers bound to them.
#include "uFrmMain.h"

#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/Schedule.h"
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
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kPreviousWithinMs = 3000;

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

// Runs an action unless another one is still waiting inside PlaySection:
// a second press arriving during that wait would start a section within a
// section.
class TActionScope {
public:
    explicit TActionScope(int& depth) : depth_(depth) { ++depth_; }
    ~TActionScope() { --depth_; }
    bool Nested() const { return depth_ > 1; }

private:
    int& depth_;
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

void TFrmMain::SectionEntered(int row) {
    // A repetition enters the same row with one play fewer to go; anything
    // else (another row, a click on the row, a new pass) starts it afresh.
    const bool repeat = row == repeatRow_ && Engine.RemainCount < repeatRemain_;
    if (!repeat) {
        repeatRow_ = row;
        repeatOf_ = Engine.RemainCount + 1;
    }
    repeatRemain_ = Engine.RemainCount;
    if (FrmPlay && chkOSD)
        FrmPlay->ShowSectionLine(chkOSD->isChecked() ? SectionLineText() : QString());
    NotifyStateChanged(repeat ? rcRepeat | rcSeek : rcSection);
}

int64_t TFrmMain::CurrentPositionMs() const {
    if (!FGBrowse || FGBrowse->State() < gsPaused)
        return 0;
    return Graph->KnownPositionMs().value_or(Engine.LastTickPos);
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
    s.SectionCount = sgV ? sgV->RowCount() - 1 : 0;
    const int row = CurRow();
    if (RowExists(row) && !s.File.isEmpty()) {
        s.Section = row;
        s.Description = sgV->Cell(5, row).trimmed();
        if (row == repeatRow_ && repeatOf_ > 0) {
            s.RepeatOf = repeatOf_;
            s.Repeat = std::clamp(repeatOf_ - Engine.RemainCount, 1, repeatOf_);
        }
    }
    if (state >= gsPaused) {
        s.PositionMs = CurrentPositionMs();
        s.DurationMs = std::max(0, FGBrowse->Duration());
    }
    if (s.Section > 0) {
        s.SectionStartMs = Schedule::TimePointMs(sgV->Cell(4, s.Section));
        s.SectionEndMs = RowExists(s.Section + 1)
                             ? Schedule::TimePointMs(sgV->Cell(4, s.Section + 1))
                             : s.DurationMs;
        s.SectionEndMs = std::max(s.SectionEndMs, s.SectionStartMs);
    }
    // The rate the media plays at (the speed trainer's step included); the
    // chosen one while nothing is open.
    bool ok = false;
    const double rate = cbRate ? cbRate->Text().toDouble(&ok) : 1.0;
    s.Rate = state >= gsPaused ? PlaybackRate() : ok ? rate : 1.0;
    s.Volume = SoundLevel2 ? RoundHalfEven(SoundLevel2->Position()) : 0;
    for (TMyRadionBtn* rb : {rbExit, rbShut, rbPlay})
        if (rb && rb->Checked())
            s.EndMode = rb->Caption();
    s.ControlsVisible = isVisible();
    return s;
}

void TFrmMain::ActPlayPause() {
    if (FGBrowse && FGBrowse->State() == gsPlaying)
        ActPause();
    else
        ActPlay();
}

void TFrmMain::ActPlay() {
    TActionScope scope(actionDepth_);
    if (scope.Nested() || !FGBrowse)
        return;
    const GraphState state = FGBrowse->State();
    if (state == gsPaused)
        btnPauseClick(btnPause);
    else if (state != gsPlaying && QFileInfo(CurFile).isFile())
        PlaySection(RowExists(CurRow()) ? CurRow() : 1, false);
}

void TFrmMain::ActPause() {
    if (FGBrowse && FGBrowse->State() == gsPlaying)
        btnPauseClick(btnPause);
}

void TFrmMain::ActStop() {
    if (FGBrowse && FGBrowse->State() >= gsPaused)
        FGBrowse->Stop();
}

void TFrmMain::ActSkip(int seconds) {
    // The skips' own handlers: they also resume a paused graph.
    if (seconds < 0)
        btnBackClick(btnBack);
    else if (seconds > 0)
        btnNextClick(btnNext);
    NotifyStateChanged(rcSeek);
}

void TFrmMain::ActSeek(int64_t ms) {
    if (!FGBrowse || FGBrowse->State() < gsPaused)
        return;
    if (ms < 0 || ms > FGBrowse->Duration())
        return;
    SeekTo(uint32_t(ms));
    NotifyStateChanged(rcSeek);
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
        ApplyRate(rates[best]);
}

void TFrmMain::ActNextSection() {
    TActionScope scope(actionDepth_);
    if (scope.Nested() || !RowExists(CurRow() + 1) || !QFileInfo(CurFile).isFile())
        return;
    PlaySection(CurRow() + 1, false);
}

void TFrmMain::ActPreviousSection() {
    const int row = CurRow();
    if (!RowExists(row))
        return;
    const int64_t into = CurrentPositionMs() - Schedule::TimePointMs(sgV->Cell(4, row));
    if (into < kPreviousWithinMs && RowExists(row - 1)) {
        TActionScope scope(actionDepth_);
        if (!scope.Nested())
            PlaySection(row - 1, false);
        return;
    }
    ActRestartSection();
}

void TFrmMain::ActRestartSection() {
    TActionScope scope(actionDepth_);
    const int row = CurRow();
    if (scope.Nested() || !RowExists(row) || !FGBrowse || !QFileInfo(CurFile).isFile())
        return;
    if (FGBrowse->State() < gsPaused) {
        PlaySection(row, false);
        return;
    }
    // From its start again, without using up one of its repetitions.
    const int32_t startMs = Schedule::TimePointMs(sgV->Cell(4, row));
    SeekTo(uint32_t(startMs));
    FGBrowse->Play();
    NotifyStateChanged(rcRepeat | rcSeek);
}

void TFrmMain::ActPlaySectionN(int n) {
    TActionScope scope(actionDepth_);
    if (scope.Nested() || !RowExists(n) || !QFileInfo(CurFile).isFile())
        return;
    PlaySection(n, false);
}

void TFrmMain::ActToggleControls() {
    if (!isVisible()) {
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

bool TFrmMain::OpenMediaFile(const QString& path) {
    TActionScope scope(actionDepth_);
    if (scope.Nested())
        return false;
    if (const QString why = MediaFileRefusal(path); !why.isEmpty()) {
        ReportUnplayable(QCoreApplication::translate("Messages", "Cannot play %1: %2")
                             .arg(QDir::toNativeSeparators(path), why));
        return false;
    }
    OpenSchedule(path);
    RememberRecentFile(path);
    if (FGBrowse)
        FGBrowse->Stop();
    NotifyStateChanged(rcFile);
    PlaySection(1, false);
    return true;
}

bool TFrmMain::OpenOfferedFile(const QString& path, QWidget* over) {
    if (btnSelFile && !btnSelFile->isEnabled()) {
        ShowPassingHint(tr(qUtf8Printable(EditLockedHint)), over);
        return false;
    }
    return OpenMediaFile(path);
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
        c->adjustSize();
        return c;
    };
    chkMirror = make("chkMirror", tr("镜像"), tr("画面左右翻转"));
    chkOSD = make("chkOSD", tr("显示小节"), tr("在画面角上显示小节和遍数"));
    const int left = std::min(Label1->geometry().right() + 12, plBottom->width() - 150);
    chkSpeedUp = make("chkSpeedUp", tr("逐遍加速"), tr("每重放一遍快一档，最快 1.00"));
    chkMirror->setGeometry(left, 86, chkMirror->width(), 14);
    chkOSD->setGeometry(chkMirror->geometry().right() + 8, 86, chkOSD->width(), 14);
    chkSpeedUp->setGeometry(chkOSD->geometry().right() + 8, 86, chkSpeedUp->width(), 14);

    chkOSD->setChecked(ReadBoolSetting(IniFileName, Setting::chkOSD));
    LoadPracticeSchedule();
    connect(chkMirror, &QCheckBox::toggled, this, Guarded([this] { chkMirrorClick(chkMirror); }));
    connect(chkOSD, &QCheckBox::toggled, this, Guarded([this] { chkOSDClick(chkOSD); }));
    connect(chkSpeedUp, &QCheckBox::toggled, this,
            Guarded([this] { chkSpeedUpClick(chkSpeedUp); }));
    AddKeyHints();
}

void TFrmMain::LoadPracticeSchedule() {
    // Read, not written back: a file without these keys keeps them absent.
    KeepLoopCounts();
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
        KeepSetting(Setting::chkMirror, BoolToText(on));
}

void TFrmMain::chkSpeedUpClick(QObject* /*Sender*/) {
    if (QFileInfo(CurFile).isFile())
        KeepSetting(Setting::chkSpeedUp, BoolToText(chkSpeedUp->isChecked()));
}

void TFrmMain::chkOSDClick(QObject* /*Sender*/) {
    WriteSetting(IniFileName, Setting::chkOSD, BoolToText(chkOSD->isChecked()));
    if (FrmPlay)
        FrmPlay->ShowSectionLine(chkOSD->isChecked() ? SectionLineText() : QString());
}

void TFrmMain::ActToggleMirror() {
    if (chkMirror)
        chkMirror->setChecked(!chkMirror->isChecked());
}

void TFrmMain::ActMarkHere() {
    if (!sgV || !FGBrowse || FGBrowse->State() < gsPaused || !QFileInfo(CurFile).isFile())
        return;
    if (!chkEdit->isChecked()) {
        ShowPassingHint(tr(qUtf8Printable(EditLockedHint)));
        return;
    }
    MarkSectionAt(CurrentPositionMs(), true);
}

void TFrmMain::MarkSectionAt(int64_t markAt, bool save) {
    if (!sgV || !FGBrowse || FGBrowse->State() < gsPaused || !QFileInfo(CurFile).isFile())
        return;
    sgV->HideEditor(true);
    const int64_t pos = CurrentPositionMs();
    const QString time = SecToTimeStr(int(markAt / 1000));
    const int32_t markMs = Schedule::TimePointMs(time);
    // Stored first: a refused write leaves the table as it was. Not modal:
    // the practice plays on while the user reads.
    if (save) {
        try {
            StoreMarkedRow(time);
        } catch (const EWriteRefused& e) {
            ShowErrorNotice(e.Text(), isVisible() ? this : nullptr);
            return;
        }
    }
    // After every row at or before the mark: rows of the same second keep
    // their order and the new one follows them.
    int at = 1;
    while (RowExists(at) && Schedule::TimePointMs(sgV->Cell(4, at)) <= markMs)
        ++at;
    AppendRow(*sgV);
    const int last = sgV->RowCount() - 1;
    for (int r = last; r > at; --r)
        sgV->ExchangeRows(r, r - 1);
    sgV->ClearRow(at);
    sgV->SetCell(1, at, QStringLiteral("1"));
    sgV->SetCell(2, at, QStringLiteral("+"));
    sgV->SetCell(3, at, QStringLiteral("-"));
    sgV->SetCell(4, at, time);
    RenumberRows();
    // The counts a new pass starts from stay those of the table as saved.
    if (at - 1 <= loopCounts_.size())
        loopCounts_.insert(at - 1, QStringLiteral("1"));

    const int cur = CurRow();
    if (RowExists(cur) && at <= cur) {
        SetCurRow(cur + 1); // the rows below moved down by one
    } else if (RowExists(cur) && at == cur + 1 && markMs <= pos) {
        // The current section now ends at the mark, which playback has
        // reached: it runs on into the new section, as at any section end
        // with no repeat left; the media is not touched.
        Engine.RemainCount = 0;
        EnterRow(at);
    } else if (cur >= 1 && at > cur) {
        Engine.SectEndPos = RowExists(cur + 1) ? Schedule::TimePointMs(sgV->Cell(4, cur + 1)) : 0;
        ArmSectionEnd(CurrentPositionMs());
    }
    sgV->SetRow(at);
    sgV->SetCol(5); // ready for its description
    NotifyStateChanged(rcSection);
}

void TFrmMain::StoreMarkedRow(const QString& time) {
    Schedule::StoreMarkedRow(SchedFileName, time);
}

QString TFrmMain::SectionLineText() const {
    const TRemoteState s = PlayerState();
    if (s.Section <= 0)
        return {};
    QString text = QString::number(s.Section);
    if (!s.Description.isEmpty())
        text += QStringLiteral("  ") + s.Description;
    if (s.RepeatOf > 0)
        text += QStringLiteral("  %1 / %2").arg(s.Repeat).arg(s.RepeatOf);
    return text;
}
