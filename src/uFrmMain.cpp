// The control window's lifecycle: creation, activation, key presses, close;
// and the window-level events that feed the handlers.
#include "uFrmMain.h"
#include "uFrmMainSync.h"

#include "SettingKeeper.h"
#include "controls/MyHemibtn.h"
#include "media/FilterGraph.h"
#include "uFrmMainGrid.h"
#include "uFrmPlay.h"
#include "utPublic/ErrorDisplay.h"
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <exception>
#include <utility>

namespace {
// A window moved this close to a screen edge sticks to it.
constexpr int kSnapDistance = 10;
} // namespace

TFrmMain::TFrmMain(QWidget* parent) : QWidget(parent) {
    Keeper = new TSettingKeeper(
        this, [this] { return SchedFileName; },
        [this] { return FGBrowse && FGBrowse->State() >= gsPaused; });
    connect(this, &TFrmMain::StateChanged, Keeper, &TSettingKeeper::KeepHeld);
    CreateControls();
    // Key presses reach the window before its controls.
    qApp->installEventFilter(this);
    FormCreate();
}

TFrmMain::~TFrmMain() {
    qApp->removeEventFilter(this);
    // The graph lets go of its pipeline first, so that no frame or event
    // reaches a window being taken down; then the video window, whose surface
    // is bound to FGBrowse; the other components are this window's children
    // and go with it.
    if (FGBrowse)
        FGBrowse->SetActive(false);
    FrmPlay.reset();
}

void TFrmMain::FormCreate() {
    AppPath = QDir(QCoreApplication::applicationDirPath()).absolutePath();
    if (!AppPath.endsWith(QLatin1Char('/')))
        AppPath += QLatin1Char('/');
    AlignControls();
    btnClose->OnClick = Guarded(&TFrmMain::btnCloseClick);

    // A settings file that cannot be written (a read-only program folder)
    // must not cost the user the window: each step that fails is reported
    // (once per distinct failure, once per file that refused a write) and
    // start-up goes on with the next step.
    creating_ = true;
    const auto created = qScopeGuard([this] {
        creating_ = false;
        creationReports_.clear();
    });
    Guarded([this] { LoadSettings(); })();
    FitColumn(*sgV, 1);
    CurFile = AppPath + QStringLiteral("无文件.DAT");
    CurFile = ReadSetting(IniFileName, Setting::PlayFile, CurFile);
    Guarded([this] { OpenSchedule(CurFile); })();

    FrmPlay = std::make_unique<TFrmPlay>(FGBrowse, this);

    CreatePracticeControls();
    AddKeyHints();
    CreateTimelineControls();
    CreateOpenHandlers();
    CreateRemoteControls();
    Sync = new TFrmMainSync(*this);
    Sync->LoadSwitches();
    bottomRowsHeld_ = false;
    PlaceBottomRows();
    // A file named on the command line is opened instead, once the window is
    // up. A special file goes on to PlaySection, which refuses it with a
    // message. After the room's switches: a leader's first sound is on the
    // clock it publishes (a switch of clocks under a playing output broke
    // its start off), and a follower plays what its leader plays.
    if (StartFile.isEmpty() && chkAutoPlay->isChecked() && QFileInfo::exists(CurFile) &&
        !Following()) {
        Guarded([this] { PlaySection(1, false); })();
        // Blocks without handling events, so that the video window is up
        // before the control window is first shown.
        QThread::msleep(500);
        if (FrmPlay)
            FrmPlay->raise();
    }
    // Once, beside the window and without waiting for a click.
    if (!IniFileNotice.isEmpty())
        QTimer::singleShot(0, this, [this, text = std::exchange(IniFileNotice, {})] {
            ShowErrorNotice(text, this);
        });
}

void TFrmMain::ReportHandlerError(const std::exception* error) {
    const QString text = error ? QString::fromUtf8(error->what()) : QStringLiteral("Unknown error");
    if (creating_) {
        // Creation runs many handlers in a row (every option loaded writes
        // itself back): one box per file that refused, not one per option.
        if (const auto* refused = dynamic_cast<const EWriteRefused*>(error)) {
            if (!Keeper->FirstRefusal(refused->File()))
                return;
        } else {
            if (creationReports_.contains(text))
                return;
            creationReports_ << text;
        }
    }
    // Not modal: a handler may run while a practice plays unattended, or at
    // a remote's request.
    ShowErrorNotice(text, isVisible() ? this : nullptr);
}

void TFrmMain::FormActivate() {
    if (FirstActivate) {
        FirstActivate = false;
        if (chkAutoPlay->isChecked()) {
            lower();
            if (FrmPlay)
                FrmPlay->raise();
            if (plRemote)
                plRemote->lower();
        }
    }
    IdleTicks = 0;
}

void TFrmMain::FormKeyPress(QChar /*key*/) {
    IdleTicks = 0;
}

void TFrmMain::FormClose() {
    std::exception_ptr failure;
    try {
        if (FGBrowse) {
            FGBrowse->Stop();
            FGBrowse->EmptyGraph();
            // From here on no end-of-media handling runs.
            FGBrowse->OnGraphComplete = nullptr;
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // The bounds are written also when stopping the media failed.
    SaveWindowBounds();
    DelayMs(100);
    if (failure)
        std::rethrow_exception(failure);
}

void TFrmMain::btnCloseClick(QObject* /*Sender*/) {
    close();
}

bool TFrmMain::KeepEditsBeforeClose() {
    if (!ScheduleEdited)
        return true;
    TUnsavedAnswer answer = TUnsavedAnswer::Discard;
    if (AskUnsavedEdits) {
        answer = AskUnsavedEdits();
    } else if (MessageBoxesShown()) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Tavrelo"),
                        tr("播放安排表的修改还没有保存。退出前保存吗？"),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        const int chosen = box.exec();
        answer = chosen == QMessageBox::Save      ? TUnsavedAnswer::Save
                 : chosen == QMessageBox::Discard ? TUnsavedAnswer::Discard
                                                  : TUnsavedAnswer::Cancel;
    }
    switch (answer) {
    case TUnsavedAnswer::Save:
        // A refused write is shown and the window stays: nothing is lost.
        try {
            btnSaveClick(btnSave);
        } catch (const std::exception& e) {
            ReportHandlerError(&e);
            return false;
        }
        return !ScheduleEdited;
    case TUnsavedAnswer::Discard:
        return true;
    case TUnsavedAnswer::Cancel:
        break;
    }
    return false;
}

// --- Window events --------------------------------------------------------------------

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        if (PlayerKeyPress(watched, static_cast<QKeyEvent*>(event)))
            return true;
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && (w == this || isAncestorOf(w))) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            Guarded (&TFrmMain::FormKeyPress)(text.isEmpty() ? QChar() : text.at(0));
        }
        break;
    }
    case QEvent::MouseMove:
        if (activityWidgets_.contains(watched)) {
            const auto* m = static_cast<QMouseEvent*>(event);
            const QPoint p = m->position().toPoint();
            Guarded (&TFrmMain::FormMouseMove)(watched, m->modifiers(), p.x(), p.y());
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == lbPos && lbPos->isEnabled())
            Guarded (&TFrmMain::lbPosDblClick)(lbPos);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    // Ending at the media's end does not come here (the end modes end the
    // process at once); a close by the user asks about unsaved edits.
    if (!KeepEditsBeforeClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // The program ends with this window: the video window goes with it.
    if (FrmPlay)
        FrmPlay->hide();
    Guarded (&TFrmMain::FormClose)();
}

void TFrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // The first activation of an auto-play start leaves the video in
        // front; every other brings the remote's panel up with the window.
        const bool videoFirst = FirstActivate && chkAutoPlay->isChecked();
        Guarded (&TFrmMain::FormActivate)();
        if (!videoFirst && plRemote && plRemote->isVisible() && isVisible())
            plRemote->raise();
    }
}

void TFrmMain::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    SnapToScreenEdges();
}

void TFrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AlignControls();
    Guarded (&TFrmMain::FormResize)(this);
}

void TFrmMain::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
}

void TFrmMain::SnapToScreenEdges() {
    if (snapping_ || !isVisible())
        return;
    QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint to = frame.topLeft();
    if (std::abs(frame.left() - area.left()) <= kSnapDistance)
        to.setX(area.left());
    else if (std::abs(frame.right() - area.right()) <= kSnapDistance)
        to.setX(area.right() - frame.width() + 1);
    if (std::abs(frame.top() - area.top()) <= kSnapDistance)
        to.setY(area.top());
    else if (std::abs(frame.bottom() - area.bottom()) <= kSnapDistance)
        to.setY(area.bottom() - frame.height() + 1);
    if (to == frame.topLeft())
        return;
    snapping_ = true;
    move(to);
    snapping_ = false;
}
