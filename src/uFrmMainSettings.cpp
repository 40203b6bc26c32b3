// The settings file (options, window bounds, the last media file) and the
// schedule file of the current media file (the table and the per-media
// settings), and the option controls that only store their value.
#include "uFrmMain.h"

#include "controls/FlatCtrls.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
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

using FrmMainText::RoundHalfEven;
using FrmMainText::StrToIntDef;
using FrmMainText::Trunc;

namespace {
const QString kStart = QStringLiteral("START");

QString ReadSetting(const QString& key) {
    return ReadIniText(IniFileName, kStart, key);
}
void WriteSetting(const QString& key, const QString& value) {
    WriteIniStr(IniFileName, kStart, key, value);
}
} // namespace

// --- Settings file ------------------------------------------------------------------

void TFrmMain::LoadSettings() {
    LoadWindowBounds();

    const QString mode =
        ReadIniStr(IniFileName, kStart, QStringLiteral("overmode"), rbPlay->Caption());
    rbShut->SetChecked(rbShut->Caption() == mode);
    rbExit->SetChecked(rbExit->Caption() == mode);
    rbPlay->SetChecked(rbPlay->Caption() == mode);

    plTop->setFixedHeight(std::max(0, StrToIntDef(ReadSetting(QStringLiteral("plTop")), 57)));
    plBottom->setFixedHeight(std::max(0, StrToIntDef(ReadSetting(QStringLiteral("plBottom")), 57)));
    AlignControls();

    // Each assignment below raises the control's change event, which writes
    // the key back.
    cbDelay->SetItemIndex(StrToIntDef(ReadSetting(QStringLiteral("cbDelay")), 1));
    cbHideTime->SetItemIndex(StrToIntDef(ReadSetting(QStringLiteral("cbHideTime")), 6));
    HideSeconds = StrToIntDef(cbHideTime->Text(), 10);
    SoundLevel2->SetPosition(StrToIntDef(ReadSetting(QStringLiteral("SoundLevel2")),
                                         RoundHalfEven(SoundLevel2->Position())));

    // A check box raises its click event only when its state changes.
    chkEdit->setChecked(TextToBool(ReadSetting(QStringLiteral("chkEdit"))));
    SetEditMode(chkEdit->isChecked());
    for (QCheckBox* box : {chkAutoPlay, chkPause, chkOn2Monitor, chkRePlay, chkHide})
        box->setChecked(TextToBool(ReadSetting(box->objectName())));

    cbTrans->SetItemIndex(StrToIntDef(ReadSetting(QStringLiteral("cbTrans")), 2));
}

void TFrmMain::LoadWindowBounds() {
    const int left = StrToIntDef(ReadSetting(QStringLiteral("WindowsL")), 0);
    const int top = StrToIntDef(ReadSetting(QStringLiteral("WindowsT")), 0);
    const int w = StrToIntDef(ReadSetting(QStringLiteral("WindowsW")), width());
    const int h = StrToIntDef(ReadSetting(QStringLiteral("WindowsH")), height());
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
    WriteSetting(QStringLiteral("WindowsL"), QString::number(x()));
    WriteSetting(QStringLiteral("WindowsT"), QString::number(y()));
    WriteSetting(QStringLiteral("WindowsW"), QString::number(width()));
    WriteSetting(QStringLiteral("WindowsH"), QString::number(height()));
}

void TFrmMain::KeepSetting(const QString& file, const QString& key, const QString& value) {
    try {
        WriteIniStr(file, kStart, key, value);
    } catch (const EWriteRefused& e) {
        if (unwritable_.contains(e.File()))
            return;
        unwritable_.insert(e.File());
        // Not modal: this runs while a file opens and plays.
        ShowErrorNotice(e.Text(), isVisible() ? this : nullptr);
    }
}

// --- Option controls that only store their value -------------------------------------

void TFrmMain::rbExitClick(QObject* /*Sender*/) {
    rbExit->SetChecked(true);
    rbShut->SetChecked(false);
    rbPlay->SetChecked(false);
    WriteSetting(QStringLiteral("overmode"), rbExit->Caption());
}

void TFrmMain::rbShutClick(QObject* /*Sender*/) {
    rbShut->SetChecked(true);
    rbExit->SetChecked(false);
    rbPlay->SetChecked(false);
    WriteSetting(QStringLiteral("overmode"), rbShut->Caption());
}

void TFrmMain::rbPlayClick(QObject* /*Sender*/) {
    rbPlay->SetChecked(true);
    rbExit->SetChecked(false);
    rbShut->SetChecked(false);
    WriteSetting(QStringLiteral("overmode"), rbPlay->Caption());
}

void TFrmMain::chkAutoPlayClick(QObject* /*Sender*/) {
    WriteSetting(QStringLiteral("chkAutoPlay"), BoolToText(chkAutoPlay->isChecked()));
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}

void TFrmMain::chkRePlayClick(QObject* /*Sender*/) {
    WriteSetting(QStringLiteral("chkRePlay"), BoolToText(chkRePlay->isChecked()));
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}

void TFrmMain::chkPauseClick(QObject* /*Sender*/) {
    WriteSetting(QStringLiteral("chkPause"), BoolToText(chkPause->isChecked()));
    if (isVisible())
        sgV->setFocus(Qt::OtherFocusReason);
}

void TFrmMain::cbDelayChange(QObject* /*Sender*/) {
    WriteSetting(QStringLiteral("cbDelay"), QString::number(cbDelay->ItemIndex()));
}

// --- Schedule file -----------------------------------------------------------------------

QString TFrmMain::ScheduleFileNameFor(const QString& mediaPath) const {
    return ScheduleFileName(mediaPath, AppPath);
}

void TFrmMain::OpenSchedule(const QString& path) {
    CurFile = path;
    SchedFileName = ScheduleFileNameFor(path);
    setWindowTitle(SchedFileName);
    QDir::setCurrent(AppPath);

    sgV->HideEditor(true);
    LoadGridFromIni(SchedFileName, kScheduleSection, *sgV);
    // Whatever the file's header row held only sets the column count.
    if (sgV->ColCount() < 6)
        sgV->SetColCount(6);
    for (int c = 0; c < 6; ++c)
        sgV->SetCell(c, 0, ColTitles[c]);
    RenumberRows();

    KeepSetting(IniFileName, QStringLiteral("PlayFile"), CurFile);

    // Checking a radio button from here raises no event: the channel is
    // applied to the sound when playback of the file starts.
    const QString channel =
        ReadIniStr(SchedFileName, kStart, QStringLiteral("SOUNDCHL"), lbCenter2->Caption());
    lbLeft2->SetChecked(lbLeft2->Caption() == channel);
    lbCenter2->SetChecked(lbCenter2->Caption() == channel);
    lbRight2->SetChecked(lbRight2->Caption() == channel);

    const int track =
        StrToIntDef(ReadIniText(SchedFileName, kStart, QStringLiteral("cbAudioChl2")), 0);
    AudioTrack = track == std::numeric_limits<int>::max() ? track : track + 1;

    cbRate->SetItemIndex(
        StrToIntDef(ReadIniText(SchedFileName, kStart, QStringLiteral("cbRate")), 6));
    tbZoom->SetPosition(StrToIntDef(ReadIniText(SchedFileName, kStart, QStringLiteral("tbZoom")),
                                    Trunc(tbZoom->Position())));
    if (FrmPlay)
        FrmPlay->ApplyZoom(Trunc(tbZoom->Position()));
    LoadPracticeSchedule();
}

void TFrmMain::btnSaveClick(QObject* /*Sender*/) {
    if (SchedFileName.isEmpty())
        return;
    sgV->HideEditor(true);
    for (int r = sgV->RowCount() - 1; r >= 1; --r)
        sgV->SetCell(4, r, SecToTimeStr(TimeStrToSec(sgV->Cell(4, r), QStringLiteral(":"))));
    SortGridRows(*sgV, 4, 1, sgV->RowCount() - 1);
    RenumberRows();
    SaveGridToIni(SchedFileName, kScheduleSection, *sgV);
    KeepLoopCounts();
}

void TFrmMain::btnRestoreClick(QObject* /*Sender*/) {
    if (QFileInfo(CurFile).isFile())
        OpenSchedule(CurFile);
}
