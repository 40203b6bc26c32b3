// The player's keys: one table for the video window and the control window.
// On the control window the schedule grid keeps its own keys (arrows, paging
// and digits) while it has the focus, and no key acts while a cell is being
// edited. The keys are named in the hints of the controls they stand for.
#include "uFrmMain.h"

#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/SectionEngine.h"
#include "uFrmMainGrid.h"
#include "uFrmPlay.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolTip>

namespace {

struct TKeyBinding {
    int Key;
    Qt::KeyboardModifiers Modifiers;
    TPlayerKey Action;
    bool GridKey; // the grid's own while it has the focus
};

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;

const TKeyBinding kKeys[] = {
    {Qt::Key_Space, kNone, pkPlayPause, false},
    {Qt::Key_Left, kNone, pkSkipBack, true},
    {Qt::Key_Right, kNone, pkSkipForward, true},
    {Qt::Key_Up, kNone, pkVolumeUp, true},
    {Qt::Key_Down, kNone, pkVolumeDown, true},
    {Qt::Key_BracketLeft, kNone, pkSlower, false},
    {Qt::Key_BracketRight, kNone, pkFaster, false},
    {Qt::Key_PageUp, kNone, pkPreviousSection, true},
    {Qt::Key_PageDown, kNone, pkNextSection, true},
    {Qt::Key_Home, kNone, pkRestartSection, true},
    {Qt::Key_1, kNone, pkSection1, true},
    {Qt::Key_2, kNone, pkSection2, true},
    {Qt::Key_3, kNone, pkSection3, true},
    {Qt::Key_4, kNone, pkSection4, true},
    {Qt::Key_5, kNone, pkSection5, true},
    {Qt::Key_6, kNone, pkSection6, true},
    {Qt::Key_7, kNone, pkSection7, true},
    {Qt::Key_8, kNone, pkSection8, true},
    {Qt::Key_9, kNone, pkSection9, true},
    {Qt::Key_M, kNone, pkMirror, false},
    {Qt::Key_Escape, kNone, pkControls, false},
    {Qt::Key_H, kNone, pkControls, false},
    {Qt::Key_O, Qt::ControlModifier, pkOpen, false},
    {Qt::Key_S, Qt::ControlModifier, pkSave, false},
    {Qt::Key_Insert, kNone, pkMarkHere, false},
    {Qt::Key_N, kNone, pkMarkHere, false},
    {Qt::Key_T, kNone, pkTimeline, false},
};

// Whether the control with the focus takes this key itself: the grid types
// a printable key into a cell while editing is allowed, a button or check
// box is pressed by Space, a list or drop-down list searches its items.
bool FocusUsesKey(const QWidget* focus, int key, Qt::KeyboardModifiers modifiers) {
    if (!focus)
        return false;
    const bool printable = key >= Qt::Key_Space && key <= Qt::Key_ydiaeresis &&
                           !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
    if (const auto* grid = qobject_cast<const TScheduleGrid*>(focus))
        return printable && grid->Editing();
    if (qobject_cast<const QAbstractButton*>(focus))
        return key == Qt::Key_Space && !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
    if (qobject_cast<const QComboBox*>(focus) || qobject_cast<const QAbstractItemView*>(focus))
        return printable;
    return false;
}

} // namespace

TPlayerKey TFrmMain::KeyAction(int key, Qt::KeyboardModifiers modifiers, bool onVideo) const {
    // The keypad's digits and Shift (for "[" "]" on some layouts) count as
    // the plain key.
    modifiers &= ~(Qt::KeypadModifier | Qt::ShiftModifier);
    // The video window keeps every key. On the control window the control
    // with the focus comes first: the arrows, PgUp/PgDn, Home and digits
    // move the table's cursor or step a list, and printable keys go to
    // whatever types or ticks with them; the rest acts on the player.
    QWidget* focus = QApplication::focusWidget();
    const bool controlHasFocus = !onVideo && focus && focus != this && isAncestorOf(focus);
    if (!onVideo && sgV && sgV->EditorShown())
        return pkNone;
    if (controlHasFocus && FocusUsesKey(focus, key, modifiers))
        return pkNone;
    for (const TKeyBinding& b : kKeys) {
        if (b.Key != key || b.Modifiers != modifiers)
            continue;
        if (controlHasFocus && b.GridKey)
            return pkNone;
        // Hiding the controls with no video in sight would leave nothing on
        // screen (the idle timer waits for the video window too).
        if (!onVideo && b.Action == pkControls && !(FrmPlay && FrmPlay->isVisible()))
            return pkNone;
        // Saving, adding and another file follow "允许编辑" as the buttons
        // they stand for do (the first file opens without it).
        const bool edits = b.Action == pkSave || b.Action == pkMarkHere;
        if ((edits && !(chkEdit && chkEdit->isChecked())) || (b.Action == pkOpen && OpenLocked()))
            return pkEditLocked;
        return b.Action;
    }
    return pkNone;
}

void TFrmMain::RunPlayerKey(TPlayerKey action) {
    // Following, what plays is the leader's: the sound, the picture and the
    // windows stay this player's own.
    if (Following() && action != pkVolumeUp && action != pkVolumeDown && action != pkMirror &&
        action != pkControls && action != pkTimeline && action != pkNone) {
        ShowPassingHint(tr("跟播中：播放由领播控制"));
        return;
    }
    switch (action) {
    case pkNone:
        return;
    case pkPlayPause:
        EngineNow().PlayPause();
        break;
    case pkSkipBack:
    case pkSkipForward:
        EngineNow().Skip(action == pkSkipBack ? -10 : 10);
        emit StateChanged(rcSeek);
        break;
    case pkVolumeUp:
        ActVolumeStep(5);
        break;
    case pkVolumeDown:
        ActVolumeStep(-5);
        break;
    case pkSlower:
        ActRateStep(-1);
        break;
    case pkFaster:
        ActRateStep(1);
        break;
    case pkPreviousSection:
        if (CurRow() > 1)
            EngineNow().PlaySectionN(CurRow() - 1);
        else
            EngineNow().RestartSection();
        break;
    case pkNextSection:
        EngineNow().PlayNext();
        break;
    case pkRestartSection:
        EngineNow().RestartSection();
        break;
    case pkMirror:
        ActToggleMirror();
        break;
    case pkControls:
        ActToggleControls();
        break;
    case pkOpen:
        btnSelFileClick(btnSelFile);
        break;
    case pkSave:
        btnSaveClick(btnSave);
        break;
    case pkMarkHere:
        ActMarkHere();
        break;
    case pkEditLocked:
        ShowPassingHint(tr(qUtf8Printable(EditLockedHint)));
        break;
    case pkTimeline:
        ActToggleTimeline();
        break;
    default:
        if (action >= pkSection1 && action <= pkSection9)
            EngineNow().PlaySectionN(action - pkSection1 + 1);
        break;
    }
}

bool TFrmMain::PlayerKeyPress(QObject* watched, QKeyEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w)
        return false;
    const bool onVideo = FrmPlay && (w == FrmPlay.get() || FrmPlay->isAncestorOf(w));
    if (!onVideo && w != this && !isAncestorOf(w))
        return false;
    // A line editor anywhere on the window (a cell, a combo box's text)
    // keeps its keys.
    if (qobject_cast<QLineEdit*>(w))
        return false;
    const TPlayerKey action = KeyAction(event->key(), event->modifiers(), onVideo);
    if (action == pkNone)
        return false;
    if (!event->isAutoRepeat() || action == pkVolumeUp || action == pkVolumeDown ||
        action == pkSkipBack || action == pkSkipForward)
        Guarded([this, action] { RunPlayerKey(action); })();
    if (!onVideo)
        IdleTicks = 0; // a key on the control window is activity
    return true;
}

void TFrmMain::AddKeyHints() {
    const auto add = [](auto* control, const QString& keys) {
        if (!control)
            return;
        control->SetHint(control->Hint() + QStringLiteral(" (") + keys + QLatin1Char(')'));
        control->SetShowHint(true);
    };
    add(btnPause, tr("空格"));
    add(btnBack, QStringLiteral("←"));
    add(btnNext, QStringLiteral("→"));
    add(cbRate, QStringLiteral("[ ]"));
    add(btnSelFile, QStringLiteral("Ctrl+O"));
    add(btnSave, QStringLiteral("Ctrl+S"));
    add(btnAdd, tr("当前位置: Insert N"));
    if (chkMirror)
        chkMirror->setToolTip(chkMirror->toolTip() + QStringLiteral(" (M)"));
}
