// TDSTrackBar: the position tracker. A horizontal track bar bound to a
// TFilterGraph; while the graph runs it samples the playing position every
// TimerInterval ms, moves its thumb there and reports the position through
// OnTimer; releasing the thumb after a left-button press seeks the media.
//
// Units: positions and durations reported in ms; one slider step is one
// TimerInterval.
#pragma once

#include "media/FilterGraph.h"

#include <QSlider>

#include <cstdint>
#include <functional>
#include <memory>

enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };
enum TTickStyle { tsNone, tsAuto, tsManual };

class TDSTrackBar : public QSlider, public IGraphListener, public TGraphBound {
    Q_OBJECT
public:
    explicit TDSTrackBar(QWidget* parent = nullptr);
    ~TDSTrackBar() override;

    // FilterGraph: the track bar stands in the graph as a listener.
    // Sampling period in ms (default 1000). Changing it re-arms the timer.
    uint32_t TimerInterval() const { return FTimerInterval; }
    void SetTimerInterval(uint32_t value);
    // Report of one sample: CurrentPos the playing position, StopPos the
    // media duration, both in ms. Setting it re-arms the timer.
    using TTimerEvent = std::function<void(QObject* sender, uint32_t CurrentPos, uint32_t StopPos)>;
    const TTimerEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TTimerEvent handler);

    // Track bar properties.
    int Min() const { return minimum(); }
    int Max() const { return maximum(); }
    int Position() const { return value(); }
    void SetMin(int v) { setMinimum(v); }
    void SetMax(int v) { setMaximum(v); }
    void SetPosition(int v) { setValue(v); }
    void SetFrequency(int v) { setTickInterval(v); }
    int ThumbLength() const { return FThumbLength; }
    void SetThumbLength(int v);
    void SetTickMarks(TTickMark v);
    void SetTickStyle(TTickStyle v);

    // True while the timer is allowed to run (between ssPlay and ssPause /
    // ssStop).
    bool TimerEnabled() const { return FTimerEnabled; }
    // True while the left button is down on the slider.
    bool Dragging() const { return FDragging; }

    // IGraphListener
    void FrameworkEvent(long event, intptr_t param1, intptr_t param2) override;
    void ControlStep(TControlStep kind, int param) override;

    // One tick, as the timer runs it (exposed for tests).
    void Tick();

protected:
    void FilterGraphChanged(TFilterGraph* graph) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetTimerEnabled(bool value);
    // Stops the timer, then starts it again when enabled and the interval is
    // not 0. Raises EAppError("Not enough timers available") when refused.
    void ArmTimer();

    uint32_t FTimerInterval = 1000;
    TTimerEvent FOnTimer;
    std::shared_ptr<IMediaSeeking> FSeeking;
    bool FTimerEnabled = false;
    bool FDragging = false;
    int FTimerId = 0;
    int FThumbLength = 20;
    TTickStyle FTickStyle = tsAuto;
    TTickMark FTickMarks = tmBottomRight;
};
