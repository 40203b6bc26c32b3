// The timeline window as the control window drives it: its switch
// ("时间线", key T), its bounds in the settings file, the schedule and the
// position fed to it while it shows, whenever the schedule, the engine or
// the player's state change, and its requests carried out by the grid's and
// the window's own handlers, so that a change made on the timeline is the
// same as one made on the grid.
#include "uFrmMain.h"

#include "SettingKeeper.h"
#include "controls/MyHemibtn.h"
#include "engine/Schedule.h"
#include "engine/SectionEngine.h"
#include "timeline/TimelineWidget.h"
#include "timeline/TimelineWindow.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QScreen>
#include <QTimer>

#include <algorithm>

using FrmMainText::StrToIntDef;

void TFrmMain::CreateTimelineControls() {
    chkTimeline = new QCheckBox(tr("时间线"), plBottom);
    chkTimeline->setObjectName(QStringLiteral("chkTimeline"));
    chkTimeline->setFont(chkRePlay->font());
    chkTimeline->setPalette(chkRePlay->palette());
    chkTimeline->setToolTip(tr("显示波形、画面和小节的时间线 (T)"));
    chkTimeline->setMouseTracking(true);
    chkTimeline->setGeometry(0, 121, 0, 0);
    // The practice row beside the first hint line is full to the panel's
    // edge: at the end of the second one, after the remote's switch.
    WhenBottomRowsInSight([this] {
        chkTimeline->adjustSize();
        chkTimeline->setGeometry(plBottom->width() - chkTimeline->width() - 4, 121,
                                 chkTimeline->width(), 14);
    });

    FrmTimeline = new TTimelineWindow(this);
    const int w = ReadIntSetting(IniFileName, Setting::TimelineW, FrmTimeline->width());
    const int h = ReadIntSetting(IniFileName, Setting::TimelineH, FrmTimeline->height());
    FrmTimeline->resize(std::max(w, FrmTimeline->minimumWidth()),
                        std::max(h, FrmTimeline->minimumHeight()));
    const int left = ReadIntSetting(IniFileName, Setting::TimelineL, INT32_MIN);
    const int top = ReadIntSetting(IniFileName, Setting::TimelineT, INT32_MIN);
    if (left != INT32_MIN && top != INT32_MIN)
        FrmTimeline->move(OnSomeMonitor(QRect(QPoint(left, top), FrmTimeline->size())));
    TTimelineWidget* t = FrmTimeline->Timeline();
    connect(t, &TTimelineWidget::PlayFromRequested, this, Guarded(&TFrmMain::TimelinePlayFrom));
    connect(t, &TTimelineWidget::AddSectionRequested, this, Guarded(&TFrmMain::TimelineAddSection));
    connect(t, &TTimelineWidget::SectionMoved, this, Guarded(&TFrmMain::TimelineSectionMoved));
    connect(t, &TTimelineWidget::RemoveSectionRequested, this,
            Guarded(&TFrmMain::TimelineRemoveSection));
    connect(t, &TTimelineWidget::SectionSelected, this, Guarded([this](int row) {
                if (RowExists(row))
                    sgV->SetRow(row);
            }));
    connect(FrmTimeline, &TTimelineWindow::BoundsChanged, this,
            Guarded([this] { SaveTimelineBounds(); }));
    connect(FrmTimeline, &TTimelineWindow::Closed, this, Guarded([this] {
                if (chkTimeline->isChecked())
                    chkTimeline->setChecked(false);
            }));
    // Fed once after each burst of changes (a load changes every row); the
    // timeline moves the play position smoothly in between on its own.
    tmTimeline = new QTimer(this);
    tmTimeline->setSingleShot(true);
    tmTimeline->setInterval(0);
    connect(tmTimeline, &QTimer::timeout, this, Guarded([this] { FeedTimeline(); }));
    const auto soon = [this] {
        if (chkTimeline->isChecked())
            tmTimeline->start();
    };
    connect(Sched, &Schedule::RowChanged, this, soon);
    connect(Sched, &Schedule::RowsInserted, this, soon);
    connect(Sched, &Schedule::RowsRemoved, this, soon);
    connect(Sched, &Schedule::Reset, this, soon);
    connect(Engine, &SectionEngine::RemainingChanged, this, soon);
    connect(Engine, &SectionEngine::StateChanged, this, soon);
    connect(Engine, &SectionEngine::PositionChanged, this, soon);
    connect(Engine, &SectionEngine::DurationChanged, this, soon);
    connect(this, &TFrmMain::StateChanged, this, soon);
    connect(chkEdit, &QCheckBox::toggled, this, soon);
    sgV->OnClick = [this, soon, click = sgV->OnClick](QObject* sender) {
        if (click)
            click(sender);
        soon();
    };

    // As the other switches: one left on raises its click event, which shows
    // the window and writes the switch back.
    connect(chkTimeline, &QCheckBox::toggled, this,
            Guarded([this] { chkTimelineClick(chkTimeline); }));
    chkTimeline->setChecked(ReadBoolSetting(IniFileName, Setting::chkTimeline));
}

void TFrmMain::chkTimelineClick(QObject* /*Sender*/) {
    const bool on = chkTimeline->isChecked();
    if (on) {
        FeedTimeline();
        // Without a place of its own yet: beside the control window (a
        // desktop without a window manager put it at 0,0, over it).
        if (!timelinePlaced_ &&
            ReadIntSetting(IniFileName, Setting::TimelineL, INT32_MIN) == INT32_MIN) {
            FrmTimeline->move(
                BesideWindow(frameGeometry(), FrmTimeline->frameGeometry().size(),
                             screen() ? screen()->availableGeometry() : QRect(frameGeometry())));
        }
        timelinePlaced_ = true;
        FrmTimeline->show();
    } else {
        tmTimeline->stop();
        if (FrmTimeline->isVisible()) {
            SaveTimelineBounds();
            FrmTimeline->hide();
        }
        // The computation stops with the window; it comes back from the cache.
        FrmTimeline->Open(QString(), 0);
    }
    WriteSetting(IniFileName, Setting::chkTimeline, BoolToText(on));
}

QPoint TFrmMain::BesideWindow(const QRect& frame, const QSize& size, const QRect& avail) {
    const auto fits = [&avail, &size](const QPoint& at) { return avail.contains(QRect(at, size)); };
    // Right of it, level with its top; left of it; below it; above it.
    const int top = std::clamp(frame.top(), avail.top(),
                               std::max(avail.top(), avail.bottom() + 1 - size.height()));
    const int left = std::clamp(frame.left(), avail.left(),
                                std::max(avail.left(), avail.right() + 1 - size.width()));
    for (const QPoint& at :
         {QPoint(frame.right() + 1, top), QPoint(frame.left() - size.width(), top),
          QPoint(left, frame.bottom() + 1), QPoint(left, frame.top() - size.height())})
        if (fits(at))
            return at;
    // No side has room: on the screen still, right of it as far as it goes.
    return QPoint(std::clamp(frame.right() + 1, avail.left(),
                             std::max(avail.left(), avail.right() + 1 - size.width())),
                  top);
}

void TFrmMain::ActToggleTimeline() {
    if (chkTimeline)
        chkTimeline->setChecked(!chkTimeline->isChecked());
}

void TFrmMain::SaveTimelineBounds() {
    if (!FrmTimeline)
        return;
    const QRect g = FrmTimeline->geometry();
    Keeper->Keep(Setting::TimelineL, QString::number(g.x()));
    Keeper->Keep(Setting::TimelineT, QString::number(g.y()));
    Keeper->Keep(Setting::TimelineW, QString::number(g.width()));
    Keeper->Keep(Setting::TimelineH, QString::number(g.height()));
}

void TFrmMain::FeedTimeline() {
    if (!FrmTimeline || !sgV)
        return;
    const bool haveFile = QFileInfo(CurFile).isFile();
    // The track as the player plays it: AudioTrack counts from 1, 0 is the first.
    FrmTimeline->Open(haveFile ? CurFile : QString(), std::max(0, int(AudioTrack) - 1));
    TTimelineWidget* t = FrmTimeline->Timeline();
    const TRemoteState state = PlayerState();
    TTimelineSchedule s;
    if (haveFile) {
        for (int row = 1; RowExists(row); ++row) {
            TTimelineSection section;
            section.Count = StrToIntDef(Sched->Count(row), 0);
            section.Stored = StrToIntDef(Sched->StoredCount(row), section.Count);
            section.StartMs = Sched->StartMs(row);
            section.Description = Sched->Description(row).trimmed();
            section.Remaining = row == state.Section ? Engine->RemainCount() : 0;
            s.Sections << section;
        }
        s.CurrentRow = state.Section;
        s.Repeat = state.Repeat;
        s.RepeatOf = state.RepeatOf;
        s.SelectedRow = sgV->Row();
    }
    t->SetSchedule(s);
    t->SetEditing(chkEdit->isChecked());
    t->SetDurationMs(state.DurationMs);
    t->SetPosition(state.PositionMs, PlaybackRate(), state.Status == QLatin1String("Playing"));
}

void TFrmMain::TimelinePlayFrom(int64_t ms) {
    // Into the section that holds the point: its row, then the position.
    int row = 0;
    for (int r = 1; RowExists(r) && Sched->StartMs(r) <= ms; ++r)
        row = r;
    if (row >= 1 && row != CurRow())
        PlaySection(row, false);
    EngineNow().SeekTo(ms);
    emit StateChanged(rcSeek);
    FeedTimeline();
}

void TFrmMain::TimelineAddSection(int seconds) {
    if (!chkEdit->isChecked())
        return;
    // Not written to the schedule file: the save button does that, as for
    // every edit made on the grid.
    MarkSectionAt(int64_t(seconds) * 1000, false);
    FeedTimeline();
}

void TFrmMain::TimelineSectionMoved(int row, int seconds) {
    if (!chkEdit->isChecked() || !RowExists(row))
        return;
    sgV->HideEditor(true);
    const QString text = SecToTimeStr(seconds);
    sgV->SetCell(4, row, text);
    // As if typed into the cell: a moved next start moves the playing
    // section's end.
    sgVSetEditText(4, row, text);
    sgV->update();
    FeedTimeline();
}

void TFrmMain::TimelineRemoveSection(int row) {
    if (!chkEdit->isChecked() || !RowExists(row))
        return;
    sgV->SetRow(row);
    btnDelClick(btnDel);
    FeedTimeline();
}
