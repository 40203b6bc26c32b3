#include "timeline/TimelineWindow.h"

#include "timeline/MediaPeaks.h"
#include "timeline/TimelineWidget.h"

#include <QCloseEvent>
#include <QTimer>
#include <QVBoxLayout>

TTimelineWindow::TTimelineWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FrmTimeline"));
    setWindowTitle(tr("时间线"));
    // Opened during a practice, it must not take the keys from the video.
    setAttribute(Qt::WA_ShowWithoutActivating);
    peaks_ = new TMediaPeaks(this);
    timeline_ = new TTimelineWidget(this);
    timeline_->setObjectName(QStringLiteral("Timeline"));
    timeline_->SetPeaks(peaks_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(timeline_);
    setMinimumSize(320, 160);
    resize(900, 220);
    // A drag of the window gives many moves: the place is told once it rests.
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(500);
    connect(settle_, &QTimer::timeout, this, &TTimelineWindow::BoundsChanged);
}

void TTimelineWindow::Open(const QString& path, int audioTrack) {
    if (path.isEmpty())
        peaks_->Close();
    else
        peaks_->Open(path, audioTrack);
}

void TTimelineWindow::closeEvent(QCloseEvent* event) {
    if (settle_->isActive()) {
        settle_->stop();
        emit BoundsChanged();
    }
    QWidget::closeEvent(event);
    emit Closed();
}

void TTimelineWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible())
        settle_->start();
}

void TTimelineWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible())
        settle_->start();
}
