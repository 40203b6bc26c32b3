// The control window's settings: the settings file (options, window bounds,
// the last media file) and the schedule file of the current media file (the
// table and the per-media settings), and the option controls that only store
// their value. The settings table and its readers and writers are in
// settings/Settings.h.
#include "uFrmMain.h"

#include "SettingKeeper.h"
#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/Schedule.h"
#include "media/FilterGraph.h"
#include "settings/Settings.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

using FrmMainText::StrToIntDef;
using FrmMainText::Trunc;

namespace {

// Options of the settings file.
int ReadIntOption(Setting s) {
    return ReadIntSetting(IniFileName, s);
}
int ReadIntOption(Setting s, int def) {
    return ReadIntSetting(IniFileName, s, def);
}
void WriteOption(Setting s, const QString& value) {
    WriteSetting(IniFileName, s, value);
}
} // namespace

// --- Settings file ------------------------------------------------------------------

void TFrmMain::LoadSettings() {
    LoadWindowBounds();

    const QString mode = ReadSetting(IniFileName, Setting::overmode, rbPlay->Caption());
    rbShut->SetChecked(rbShut->Caption() == mode);
    rbExit->SetChecked(rbExit->Caption() == mode);
    rbPlay->SetChecked(rbPlay->Caption() == mode);

    plTop->setFixedHeight(std::max(0, ReadIntOption(Setting::plTop)));
    plBottom->setFixedHeight(std::max(0, ReadIntOption(Setting::plBottom)));
    AlignControls();

    // Each assignment below raises the control's change event, which writes
    // the key back.
    cbDelay->SetItemIndex(ReadIntOption(Setting::cbDelay));
    cbHideTime->SetItemIndex(ReadIntOption(Setting::cbHideTime));
    HideSeconds = StrToIntDef(cbHideTime->Text(), 10);
    SoundLevel2->SetPosition(
        ReadIntOption(Setting::SoundLevel2, RoundHalfEven(SoundLevel2->Position())));

    // A check box raises its click event only when its state changes.
    chkEdit->setChecked(ReadBoolSetting(IniFileName, Setting::chkEdit));
    SetEditMode(chkEdit->isChecked());
    const std::pair<QCheckBox*, Setting> boxes[] = {{chkAutoPlay, Setting::chkAutoPlay},
                                                    {chkPause, Setting::chkPause},
                                                    {chkOn2Monitor, Setting::chkOn2Monitor},
                                                    {chkRePlay, Setting::chkRePlay},
                                                    {chkHide, Setting::chkHide}};
    for (const auto& [box, setting] : boxes)
        box->setChecked(ReadBoolSetting(IniFileName, setting));

    cbTrans->SetItemIndex(ReadIntOption(Setting::cbTrans));
}

void TFrmMain::LoadWindowBounds() {
    const int left = ReadIntOption(Setting::WindowsL);
    const int top = ReadIntOption(Setting::WindowsT);
    const int w = ReadIntOption(Setting::WindowsW, width());
    const int h = ReadIntOption(Setting::WindowsH, height());
    // Stored bounds are taken as they are; only the size limits apply, and a
    // window that would lie out of sight is brought onto a monitor.
    snapping_ = true;
    resize(w, h);
    move(OnSomeMonitor(QRect(QPoint(left, top), size())));
    snapping_ = false;
    AlignControls();
}

QPoint TFrmMain::OnSomeMonitor(const QRect& bounds) {
    // In sight: some monitor shows a piece of the window at least this large
    // (or the whole window, when it is smaller), enough to grab and move it.
    constexpr int kVisiblePart = 50;
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return bounds.topLeft();
    const int needW = std::min(kVisiblePart, bounds.width());
    const int needH = std::min(kVisiblePart, bounds.height());
    for (const QScreen* s : screens) {
        const QRect part = s->geometry().intersected(bounds);
        if (part.width() >= needW && part.height() >= needH)
            return bounds.topLeft();
    }
    // A monitor unplugged or the resolution lowered: onto the monitor
    // nearest the window's centre, inside its work area.
    const QPoint c = bounds.center();
    auto distance = [&c](const QRect& r) {
        const int64_t dx = c.x() < r.left() ? r.left() - c.x() : std::max(0, c.x() - r.right());
        const int64_t dy = c.y() < r.top() ? r.top() - c.y() : std::max(0, c.y() - r.bottom());
        return dx * dx + dy * dy;
    };
    const QScreen* nearest = *std::min_element(
        screens.begin(), screens.end(), [&distance](const QScreen* a, const QScreen* b) {
            return distance(a->geometry()) < distance(b->geometry());
        });
    const QRect area = nearest->availableGeometry();
    const int x = std::max(area.left(), std::min(bounds.left(), area.right() + 1 - bounds.width()));
    const int y = std::max(area.top(), std::min(bounds.top(), area.bottom() + 1 - bounds.height()));
    return QPoint(x, y);
}

void TFrmMain::SaveWindowBounds() {
    WriteOption(Setting::WindowsL, QString::number(x()));
    WriteOption(Setting::WindowsT, QString::number(y()));
    WriteOption(Setting::WindowsW, QString::number(width()));
    WriteOption(Setting::WindowsH, QString::number(height()));
}

// --- Option controls that only store their value -------------------------------------

void TFrmMain::rbExitClick(QObject* /*Sender*/) {
    ChooseEndMode(rbExit);
}

void TFrmMain::rbShutClick(QObject* /*Sender*/) {
    ChooseEndMode(rbShut);
}

void TFrmMain::rbPlayClick(QObject* /*Sender*/) {
    ChooseEndMode(rbPlay);
}

// The end mode is stored as the chosen button's caption.
void TFrmMain::ChooseEndMode(TMyRadionBtn* chosen) {
    for (TMyRadionBtn* rb : {rbExit, rbShut, rbPlay})
        rb->SetChecked(rb == chosen);
    WriteOption(Setting::overmode, chosen->Caption());
}

void TFrmMain::chkAutoPlayClick(QObject* /*Sender*/) {
    WriteOption(Setting::chkAutoPlay, BoolToText(chkAutoPlay->isChecked()));
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}

void TFrmMain::chkRePlayClick(QObject* /*Sender*/) {
    WriteOption(Setting::chkRePlay, BoolToText(chkRePlay->isChecked()));
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}

void TFrmMain::chkPauseClick(QObject* /*Sender*/) {
    WriteOption(Setting::chkPause, BoolToText(chkPause->isChecked()));
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}

void TFrmMain::cbDelayChange(QObject* /*Sender*/) {
    WriteOption(Setting::cbDelay, QString::number(cbDelay->ItemIndex()));
}

// --- Schedule file -----------------------------------------------------------------------

QString TFrmMain::ScheduleFileNameFor(const QString& mediaPath) const {
    return ScheduleFileName(mediaPath, AppPath);
}

void TFrmMain::OpenSchedule(const QString& path) {
    CurFile = path;
    SchedFileName = ScheduleFileNameFor(path);
    // Without a media file the title names the program, not the placeholder
    // schedule beside it.
    setWindowTitle(MediaOpen() ? SchedFileName : QStringLiteral("Tavrelo"));
    UpdateOpenLock();
    QDir::setCurrent(AppPath);

    sgV->HideEditor(true);
    Sched->Load(SchedFileName);
    ScheduleEdited = false;

    Keeper->Keep(Setting::PlayFile, CurFile);

    // Checking a radio button from here raises no event: the channel is
    // applied to the sound when playback of the file starts.
    const QString channel = ReadSetting(SchedFileName, Setting::SOUNDCHL, lbCenter2->Caption());
    lbLeft2->SetChecked(lbLeft2->Caption() == channel);
    lbCenter2->SetChecked(lbCenter2->Caption() == channel);
    lbRight2->SetChecked(lbRight2->Caption() == channel);

    const int track = ReadIntSetting(SchedFileName, Setting::cbAudioChl2);
    AudioTrack = track == std::numeric_limits<int>::max() ? track : track + 1;

    cbRate->SetItemIndex(ReadIntSetting(SchedFileName, Setting::cbRate));
    tbZoom->SetPosition(ReadIntSetting(SchedFileName, Setting::tbZoom, Trunc(tbZoom->Position())));
    if (FrmPlay)
        FrmPlay->ApplyZoom(Trunc(tbZoom->Position()));
    LoadPracticeSchedule();
}

void TFrmMain::btnSaveClick(QObject* /*Sender*/) {
    if (SchedFileName.isEmpty())
        return;
    sgV->HideEditor(true);
    Sched->Save(SchedFileName);
    ScheduleEdited = false;
}

void TFrmMain::btnRestoreClick(QObject* /*Sender*/) {
    if (QFileInfo(CurFile).isFile())
        OpenSchedule(CurFile);
}

bool TFrmMain::MediaOpen() const {
    return QFileInfo(CurFile).isFile();
}

bool TFrmMain::OpenLocked() const {
    return MediaOpen() && !(chkEdit && chkEdit->isChecked());
}

void TFrmMain::UpdateOpenLock() {
    // Following a leader, the leader chooses the file.
    if (btnSelFile)
        btnSelFile->setEnabled(!OpenLocked() && !Following());
    if (sgV)
        sgV->SetEmptyText(MediaOpen() ? QString() : tr("按 Ctrl+O 或把视频、音频文件拖到这里打开"));
}

void TFrmMain::SetEditMode(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(btnSave), static_cast<QWidget*>(btnAdd),
                       static_cast<QWidget*>(btnDel), static_cast<QWidget*>(lbPos),
                       static_cast<QWidget*>(rbExit), static_cast<QWidget*>(rbShut),
                       static_cast<QWidget*>(rbPlay)})
        w->setEnabled(enabled);
    UpdateOpenLock();
    sgV->SetEditing(enabled);
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}
