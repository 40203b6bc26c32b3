// The timeline window ("时间线"): the timeline of the open media file in a
// window of its own, with its own computation of the sound's peaks and the
// pictures. Whoever opens it feeds the schedule and the play position and
// answers the timeline's requests; the window keeps nothing on disk except
// through BoundsChanged, which says where it now lies.
#pragma once

#include <QWidget>

class QTimer;
class TMediaPeaks;
class TTimelineWidget;

class TTimelineWindow : public QWidget {
    Q_OBJECT
public:
    explicit TTimelineWindow(QWidget* parent = nullptr);

    // The media file and its sound track (from 0); an empty path clears it.
    void Open(const QString& path, int audioTrack);
    TTimelineWidget* Timeline() const { return timeline_; }
    TMediaPeaks* Peaks() const { return peaks_; }

signals:
    // The user closed the window.
    void Closed();
    // Moved or resized; raised once the window has kept still for a moment.
    void BoundsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TMediaPeaks* peaks_ = nullptr;
    TTimelineWidget* timeline_ = nullptr;
    QTimer* settle_ = nullptr;
};
