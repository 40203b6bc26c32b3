#include "media/DSTrackBar.h"

#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QTimerEvent>

TDSTrackBar::TDSTrackBar(QWidget* parent)
    : QSlider(Qt::Horizontal, parent), TGraphBound(nullptr, this) {
    setMinimum(0);
    setMaximum(10);
    setTickPosition(QSlider::TicksBelow);
}

TDSTrackBar::~TDSTrackBar() {
    if (FTimerId)
        killTimer(FTimerId);
    FTimerId = 0;
    SetFilterGraph(nullptr);
    FSeeking.reset();
}

void TDSTrackBar::FilterGraphChanged(TFilterGraph* graph) {
    FSeeking.reset();
    // Bound to a graph that is already running: take its seeking interface
    // now, as activation would have given it.
    if (graph && graph->Active())
        FSeeking = graph->QueryInterface<IMediaSeeking>();
}

void TDSTrackBar::SetTimerInterval(uint32_t value) {
    if (value == FTimerInterval)
        return;
    FTimerInterval = value;
    ArmTimer();
}

void TDSTrackBar::SetOnTimer(TTimerEvent handler) {
    FOnTimer = std::move(handler);
    ArmTimer();
}

void TDSTrackBar::SetTimerEnabled(bool value) {
    if (value == FTimerEnabled)
        return;
    FTimerEnabled = value;
    ArmTimer();
}

void TDSTrackBar::ArmTimer() {
    if (FTimerId)
        killTimer(FTimerId);
    FTimerId = 0;
    if (FTimerInterval != 0 && FTimerEnabled) {
        // A coarse timer would drift up to 5 % of the interval; the tick is
        // what the section engine measures its ends by.
        FTimerId = startTimer(static_cast<int>(FTimerInterval), Qt::PreciseTimer);
        if (FTimerId == 0)
            throw EAppError(QCoreApplication::translate("Messages", "Not enough timers available"));
    }
}

void TDSTrackBar::SetThumbLength(int v) {
    FThumbLength = v;
    // The slider's thickness follows the thumb length, as a track bar's does.
    setMinimumHeight(v);
}

void TDSTrackBar::SetTickMarks(TTickMark v) {
    FTickMarks = v;
    SetTickStyle(FTickStyle);
}

void TDSTrackBar::SetTickStyle(TTickStyle v) {
    FTickStyle = v;
    if (v == tsNone) {
        setTickPosition(QSlider::NoTicks);
        return;
    }
    switch (FTickMarks) {
    case tmBottomRight:
        setTickPosition(QSlider::TicksBelow);
        break;
    case tmTopLeft:
        setTickPosition(QSlider::TicksAbove);
        break;
    case tmBoth:
        setTickPosition(QSlider::TicksBothSides);
        break;
    }
}

void TDSTrackBar::ControlStep(TControlStep kind, int param) {
    switch (kind) {
    case ssPlay:
        SetTimerEnabled(isEnabled());
        break;
    case ssPause:
    case ssStop:
        SetTimerEnabled(false);
        break;
    case ssActive:
        if (param == 1 && FilterGraph())
            FSeeking = FilterGraph()->QueryInterface<IMediaSeeking>();
        else if (param == 0)
            FSeeking.reset();
        break;
    default:
        break;
    }
}

void TDSTrackBar::FrameworkEvent(long event, intptr_t, intptr_t) {
    if (event != EC_CLOCK_CHANGED || !FSeeking)
        return;
    int64_t duration = 0;
    FSeeking->GetDuration(&duration);
    int64_t zero = 0;
    FSeeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr,
                           AM_SEEKING_NoPositioning);
}

void TDSTrackBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() != FTimerId) {
        QSlider::timerEvent(event);
        return;
    }
    // An error in a tick goes to the application's error report; the timer
    // keeps running (it is not touched here).
    Tick();
}

void TDSTrackBar::Tick() {
    if (!FSeeking || FDragging)
        return;
    int64_t duration = 0, position = 0;
    if (FAILED(FSeeking->GetDuration(&duration)) || FAILED(FSeeking->GetCurrentPosition(&position)))
        return;
    const uint32_t durationMs = static_cast<uint32_t>(duration / 10000);
    const uint32_t positionMs = static_cast<uint32_t>(position / 10000);
    const uint32_t interval = FTimerInterval ? FTimerInterval : 1;
    setMinimum(0);
    setMaximum(static_cast<int>(durationMs / interval));
    setValue(static_cast<int>(positionMs / interval));
    if (FOnTimer)
        FOnTimer(this, positionMs, durationMs);
}

void TDSTrackBar::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        FDragging = true;
}

void TDSTrackBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && FSeeking && maximum() != 0) {
        int64_t stop = 0;
        FSeeking->GetStopPosition(&stop);
        int64_t target = stop * static_cast<int64_t>(value()) / maximum();
        FSeeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                               AM_SEEKING_NoPositioning);
    }
    FDragging = false;
}

void TDSTrackBar::changeEvent(QEvent* event) {
    QSlider::changeEvent(event);
}
