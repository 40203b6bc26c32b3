#include "timeline/TimelineWidget.h"

#include "timeline/MediaPeaks.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
const QColor kBackground(0, 24, 0);
const QColor kRulerFill(0, 40, 0);
const QColor kRulerText(220, 220, 220);
const QColor kWave(80, 220, 120);
const QColor kShadeA(255, 255, 255, 18);
const QColor kShadeB(255, 255, 255, 36);
const QColor kShadeCurrent(255, 200, 0, 60);
const QColor kMark(255, 255, 0);
const QColor kMarkSelected(255, 0, 0);
const QColor kPlayhead(255, 60, 60);
const QColor kProgress(0, 160, 255);

constexpr int kRulerHeight = 20;
constexpr int kPicturesHeight = 54; // 96 x 54 pictures: 16:9 at a glance
constexpr int kLabelHeight = 16;
constexpr int kGrabPixels = 5;   // a mark is taken within this many pixels
constexpr int kClickSlack = 4;   // a press that moves less is a click
constexpr int kAnimationMs = 33; // the play position's steps while playing

QString MmSs(int64_t ms) {
    const int64_t s = std::max<int64_t>(0, ms) / 1000;
    return QStringLiteral("%1:%2")
        .arg(s / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

TTimelineWidget::TTimelineWidget(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_)
            SetView(v, viewSpan_ > 0 ? viewSpan_ : DurationMs());
    });
    animation_ = new QTimer(this);
    animation_->setInterval(kAnimationMs);
    connect(animation_, &QTimer::timeout, this, &TTimelineWidget::Animate);
    sinceReport_.start();
}

void TTimelineWidget::SetPeaks(TMediaPeaks* peaks) {
    if (peaks_)
        disconnect(peaks_, nullptr, this, nullptr);
    peaks_ = peaks;
    if (peaks_)
        connect(peaks_, &TMediaPeaks::Updated, this, &TTimelineWidget::PeaksUpdated);
    PeaksUpdated();
}

void TTimelineWidget::PeaksUpdated() {
    // Another file starts with the whole of it in view.
    const QString file = peaks_ ? peaks_->File() : QString();
    if (file != shownFile_) {
        shownFile_ = file;
        viewStart_ = 0;
        viewSpan_ = 0;
    }
    SyncScrollBar();
    Invalidate();
}

void TTimelineWidget::SetSchedule(const TTimelineSchedule& schedule) {
    if (schedule == schedule_)
        return;
    schedule_ = schedule;
    Invalidate();
}

void TTimelineWidget::SetPosition(int64_t ms, double rate, bool playing) {
    basePos_ = ms;
    rate_ = rate > 0 ? rate : 1.0;
    playing_ = playing;
    sinceReport_.restart();
    if (playing_ && isVisible()) {
        if (!animation_->isActive())
            animation_->start();
    } else {
        animation_->stop();
    }
    Animate();
}

void TTimelineWidget::SetDurationMs(int64_t ms) {
    if (ms == knownDuration_)
        return;
    knownDuration_ = ms;
    SyncScrollBar();
    Invalidate();
}

void TTimelineWidget::SetEditing(bool on) {
    editing_ = on;
    if (!on && dragRow_) {
        dragRow_ = 0;
        Invalidate();
    }
}

int64_t TTimelineWidget::DurationMs() const {
    int64_t d = knownDuration_;
    if (peaks_)
        d = std::max({d, peaks_->DurationMs(),
                      int64_t(peaks_->Peaks().size()) * 1000 / TMediaPeaks::PeaksPerSecond});
    if (!schedule_.Sections.isEmpty())
        d = std::max(d, schedule_.Sections.last().StartMs + 1000);
    return std::max<int64_t>(d, MinSpanMs);
}

void TTimelineWidget::SetView(int64_t startMs, int64_t spanMs) {
    const int64_t dur = DurationMs();
    spanMs = std::clamp<int64_t>(spanMs, MinSpanMs, dur);
    startMs = std::clamp<int64_t>(startMs, 0, dur - spanMs);
    if (startMs == viewStart_ && spanMs == (viewSpan_ > 0 ? viewSpan_ : dur))
        return;
    viewStart_ = startMs;
    viewSpan_ = spanMs >= dur ? 0 : spanMs;
    SyncScrollBar();
    Invalidate();
}

void TTimelineWidget::SyncScrollBar() {
    const int64_t dur = DurationMs();
    const int64_t span = viewSpan_ > 0 ? std::min(viewSpan_, dur) : dur;
    if (viewStart_ > dur - span)
        viewStart_ = std::max<int64_t>(0, dur - span);
    syncing_ = true;
    scroll_->setRange(0, int(std::min<int64_t>(dur - span, INT32_MAX)));
    scroll_->setPageStep(int(std::min<int64_t>(span, INT32_MAX)));
    scroll_->setSingleStep(int(std::max<int64_t>(1, span / 10)));
    scroll_->setValue(int(viewStart_));
    syncing_ = false;
}

double TTimelineWidget::XOfMs(int64_t ms) const {
    const int64_t span = viewSpan_ > 0 ? viewSpan_ : DurationMs();
    return double(ms - viewStart_) * width() / double(span);
}

int64_t TTimelineWidget::MsOfX(double x) const {
    const int64_t span = viewSpan_ > 0 ? viewSpan_ : DurationMs();
    return viewStart_ + int64_t(std::llround(x * double(span) / std::max(1, width())));
}

QRect TTimelineWidget::RulerRect() const {
    return QRect(0, 0, width(), kRulerHeight);
}

QRect TTimelineWidget::PicturesRect() const {
    const bool pictures = peaks_ && (peaks_->HasVideo() || !peaks_->Thumbs().isEmpty());
    return QRect(0, kRulerHeight, width(), pictures ? kPicturesHeight : 0);
}

QRect TTimelineWidget::WaveRect() const {
    const int top = PicturesRect().bottom() + 1 + kLabelHeight;
    return QRect(0, top, width(), std::max(0, scroll_->y() - top));
}

bool TTimelineWidget::ColumnPeak(int x, int* lo, int* hi) const {
    if (!peaks_)
        return false;
    const std::vector<TPeak>& peaks = peaks_->Peaks();
    constexpr int per = TMediaPeaks::PeaksPerSecond;
    int64_t b0 = MsOfX(x) * per / 1000;
    int64_t b1 = MsOfX(x + 1) * per / 1000;
    b1 = std::max(b1, b0 + 1);
    if (b0 < 0 || b0 >= int64_t(peaks.size()))
        return false;
    b1 = std::min<int64_t>(b1, int64_t(peaks.size()));
    int l = 127, h = -127;
    for (int64_t b = b0; b < b1; ++b) {
        l = std::min<int>(l, peaks[size_t(b)].Min);
        h = std::max<int>(h, peaks[size_t(b)].Max);
    }
    *lo = l;
    *hi = h;
    return true;
}

int64_t TTimelineWidget::MarkMs(int row) const {
    if (row == dragRow_ && dragSec_ >= 0)
        return int64_t(dragSec_) * 1000;
    return schedule_.Sections.value(row - 1).StartMs;
}

double TTimelineWidget::MarkX(int row) const {
    return XOfMs(MarkMs(row));
}

int TTimelineWidget::MarkAt(int x) const {
    int best = 0;
    double bestDistance = kGrabPixels + 0.5;
    for (int row = 1; row <= schedule_.Sections.size(); ++row) {
        const double d = std::abs(MarkX(row) - x);
        // Of marks on one spot, the last: dragging it right uncovers the rest.
        if (d <= bestDistance) {
            best = row;
            bestDistance = d;
        }
    }
    return best;
}

int64_t TTimelineWidget::PositionNowMs() const {
    int64_t pos = basePos_;
    if (playing_)
        pos += int64_t(double(sinceReport_.elapsed()) * rate_);
    return std::clamp<int64_t>(pos, 0, DurationMs());
}

int TTimelineWidget::PlayheadX() const {
    return int(std::floor(XOfMs(PositionNowMs())));
}

void TTimelineWidget::Animate() {
    const int x = PlayheadX();
    // A zoomed-in view follows the playing position a page at a time when
    // it runs off the right edge; a view the user scrolled away stays.
    if (playing_ && viewSpan_ > 0 && !pressed_ && drawnHead_ >= 0 && drawnHead_ < width() &&
        x >= width()) {
        SetView(PositionNowMs() - viewSpan_ / 10, viewSpan_);
        drawnHead_ = -1;
        return;
    }
    if (x == drawnHead_)
        return;
    // Only the two columns the line leaves and enters are painted again.
    if (drawnHead_ >= 0)
        update(drawnHead_ - 1, 0, 3, height());
    update(x - 1, 0, 3, height());
    drawnHead_ = x;
}

void TTimelineWidget::Invalidate() {
    layerDirty_ = true;
    update();
}

void TTimelineWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int h = scroll_->sizeHint().height();
    scroll_->setGeometry(0, height() - h, width(), h);
    Invalidate();
}

void TTimelineWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (playing_)
        animation_->start();
}

void TTimelineWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    animation_->stop();
}

// --- Drawing ---------------------------------------------------------------------------

void TTimelineWidget::paintEvent(QPaintEvent* event) {
    if (layerDirty_ || layer_.size() != size() * devicePixelRatioF())
        RenderLayer();
    QPainter p(this);
    p.drawPixmap(event->rect(), layer_,
                 QRectF(QPointF(event->rect().topLeft()) * devicePixelRatioF(),
                        QSizeF(event->rect().size()) * devicePixelRatioF()));
    const int x = PlayheadX();
    if (x >= 0 && x < width()) {
        p.setPen(kPlayhead);
        p.drawLine(x, RulerRect().bottom() + 1, x, scroll_->y() - 1);
    }
    drawnHead_ = x;
}

void TTimelineWidget::RenderLayer() {
    const qreal dpr = devicePixelRatioF();
    layer_ = QPixmap(size() * dpr);
    layer_.setDevicePixelRatio(dpr);
    layer_.fill(kBackground);
    QPainter p(&layer_);
    DrawSections(p); // the shading lies under the sound and the pictures
    DrawPictures(p);
    DrawWave(p);
    DrawRuler(p);
    p.setPen(kRulerText);
    if (peaks_ && !peaks_->ErrorText().isEmpty()) {
        p.drawText(WaveRect(), Qt::AlignCenter | Qt::TextWordWrap, peaks_->ErrorText());
    } else if (peaks_ && !peaks_->Finished()) {
        // How far the sound has been read, a thin bar under the ruler.
        const QRect r = RulerRect();
        p.fillRect(QRect(0, r.bottom() - 2, int(width() * peaks_->Progress()), 3), kProgress);
    }
    layerDirty_ = false;
}

void TTimelineWidget::DrawRuler(QPainter& p) const {
    const QRect r = RulerRect();
    p.fillRect(r, kRulerFill);
    const int64_t span = viewSpan_ > 0 ? viewSpan_ : DurationMs();
    // The first step that leaves a label room (about 64 pixels).
    static const int kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    int64_t step = 7200 * 1000;
    for (int s : kSteps)
        if (double(s) * 1000 * width() / double(span) >= 64) {
            step = int64_t(s) * 1000;
            break;
        }
    p.setPen(kRulerText);
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);
    for (int64_t t = viewStart_ / step * step; t <= viewStart_ + span; t += step) {
        const int x = int(std::floor(XOfMs(t)));
        p.drawLine(x, r.bottom() - 5, x, r.bottom());
        p.drawText(x + 3, r.top() + 12, MmSs(t));
    }
}

void TTimelineWidget::DrawPictures(QPainter& p) const {
    const QRect r = PicturesRect();
    if (!peaks_ || r.height() == 0)
        return;
    const int w = kPicturesHeight * TMediaPeaks::ThumbWidth / TMediaPeaks::ThumbHeight;
    const QMap<int64_t, QImage>& thumbs = peaks_->Thumbs();
    // Side by side from the left edge: each slot shows the nearest picture
    // made so far at or before its time (the strip fills in coarse first).
    for (int x = 0; x < width(); x += w) {
        auto it = thumbs.upperBound(MsOfX(x));
        if (it == thumbs.begin())
            continue;
        --it;
        p.drawImage(QRect(x, r.top(), w, r.height()), it.value());
    }
}

void TTimelineWidget::DrawWave(QPainter& p) const {
    const QRect r = WaveRect();
    if (!peaks_ || r.height() <= 0)
        return;
    const double mid = r.top() + r.height() / 2.0;
    const double scale = (r.height() / 2.0 - 1) / 127.0;
    p.setPen(kWave);
    for (int x = 0; x < width(); ++x) {
        int lo = 0, hi = 0;
        if (!ColumnPeak(x, &lo, &hi))
            continue;
        p.drawLine(x, int(std::lround(mid - hi * scale)), x, int(std::lround(mid - lo * scale)));
    }
}

void TTimelineWidget::DrawSections(QPainter& p) const {
    const int n = int(schedule_.Sections.size());
    const int top = RulerRect().bottom() + 1;
    const int bottom = scroll_->y() - 1;
    const int64_t end = DurationMs();
    QFont f = font();
    f.setPixelSize(12);
    p.setFont(f);
    for (int row = 1; row <= n; ++row) {
        const double x0 = MarkX(row);
        const double x1 = row < n ? MarkX(row + 1) : XOfMs(end);
        if (x1 < 0 || x0 >= width())
            continue;
        const bool current = row == schedule_.CurrentRow;
        const QColor shade = current ? kShadeCurrent : (row % 2 ? kShadeA : kShadeB);
        p.fillRect(QRectF(x0, top, std::max(0.0, x1 - x0), bottom - top + 1), shade);
    }
    const int labelTop = PicturesRect().bottom() + 1;
    for (int row = 1; row <= n; ++row) {
        const double x = MarkX(row);
        const double next = row < n ? MarkX(row + 1) : width();
        if (x < -200 || x >= width())
            continue;
        const bool selected = row == schedule_.SelectedRow || row == dragRow_;
        p.setPen(QPen(selected ? kMarkSelected : kMark, selected ? 2 : 1));
        p.drawLine(QPointF(x, top), QPointF(x, bottom));
        const QString label = MarkLabel(row, schedule_);
        const int room = std::max(0, int(next - x) - 4);
        const QRect box(int(x) + 2, labelTop, room, kLabelHeight);
        const QString shown = p.fontMetrics().elidedText(label, Qt::ElideRight, room);
        // The playing section's shade behind a red or yellow label reads
        // poorly: its label sits on the dark background.
        if (row == schedule_.CurrentRow)
            p.fillRect(QRect(box.topLeft(),
                             QSize(std::min(room, p.fontMetrics().horizontalAdvance(shown) + 2),
                                   kLabelHeight)),
                       kBackground);
        p.setPen(selected ? kMarkSelected : kMark);
        p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
}

QString TTimelineWidget::MarkLabel(int row, const TTimelineSchedule& schedule) {
    const TTimelineSection& s = schedule.Sections.at(row - 1);
    QString label = QStringLiteral("%1 ×%2").arg(row).arg(s.Count);
    if (s.Stored >= 0 && s.Stored != s.Count)
        label += QStringLiteral("/%1").arg(s.Stored);
    if (row == schedule.CurrentRow && schedule.RepeatOf > 0)
        label += QStringLiteral(" (%1/%2)").arg(schedule.Repeat).arg(schedule.RepeatOf);
    if (!s.Description.isEmpty())
        label += QLatin1Char(' ') + s.Description;
    return label;
}

// --- The pointer and the keys ---------------------------------------------------------

void TTimelineWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int x = int(event->position().x());
    pressed_ = true;
    panning_ = false;
    pressX_ = x;
    pressViewStart_ = viewStart_;
    const int row = event->position().y() > RulerRect().bottom() ? MarkAt(x) : 0;
    pressedMark_ = row;
    if (row > 0) {
        schedule_.SelectedRow = row;
        emit SectionSelected(row);
        if (editing_) {
            dragRow_ = row;
            dragSec_ = int(schedule_.Sections[row - 1].StartMs / 1000);
        }
        Invalidate();
    }
}

void TTimelineWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_)
        return;
    const int x = int(event->position().x());
    if (dragRow_ > 0) {
        if (!editing_)
            return;
        // Between its neighbours, in whole seconds: the schedule's format,
        // and the order of the rows stays as it is.
        const int n = int(schedule_.Sections.size());
        const int64_t lo = dragRow_ > 1 ? schedule_.Sections[dragRow_ - 2].StartMs / 1000 : 0;
        const int64_t hi =
            dragRow_ < n ? schedule_.Sections[dragRow_].StartMs / 1000 : DurationMs() / 1000;
        const int sec = int(std::clamp<int64_t>(std::llround(MsOfX(x) / 1000.0), lo, hi));
        if (sec != dragSec_) {
            dragSec_ = sec;
            Invalidate();
        }
        return;
    }
    if (!panning_ && std::abs(x - pressX_) > kClickSlack)
        panning_ = true;
    if (panning_) {
        const int64_t span = viewSpan_ > 0 ? viewSpan_ : DurationMs();
        SetView(pressViewStart_ - int64_t(double(x - pressX_) * span / std::max(1, width())), span);
    }
}

void TTimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    if (dragRow_ > 0) {
        const int row = dragRow_;
        const int sec = dragSec_;
        dragRow_ = 0;
        dragSec_ = -1;
        if (editing_ && sec >= 0 && int64_t(sec) * 1000 != schedule_.Sections[row - 1].StartMs) {
            // Shown where it was dropped until the schedule comes back.
            schedule_.Sections[row - 1].StartMs = int64_t(sec) * 1000;
            emit SectionMoved(row, sec);
        }
        Invalidate();
        return;
    }
    // A click on a mark selects it; elsewhere it plays from there.
    if (!panning_ && pressedMark_ == 0)
        emit PlayFromRequested(std::clamp<int64_t>(MsOfX(event->position().x()), 0, DurationMs()));
    panning_ = false;
}

void TTimelineWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !editing_)
        return;
    const int64_t ms = std::clamp<int64_t>(MsOfX(event->position().x()), 0, DurationMs());
    emit AddSectionRequested(int(ms / 1000));
}

void TTimelineWidget::wheelEvent(QWheelEvent* event) {
    const QPoint d = event->angleDelta();
    const int64_t span = viewSpan_ > 0 ? viewSpan_ : DurationMs();
    if (d.x() != 0 || event->modifiers() & Qt::ShiftModifier) {
        const int steps = d.x() != 0 ? d.x() : d.y();
        SetView(viewStart_ - int64_t(double(steps) / 120.0 * span / 10), span);
    } else if (d.y() != 0) {
        // Around the point under the pointer: it stays where it is.
        const double x = event->position().x();
        const int64_t at = MsOfX(x);
        const double factor = std::pow(0.8, d.y() / 120.0);
        const int64_t newSpan =
            std::clamp<int64_t>(std::llround(double(span) * factor), MinSpanMs, DurationMs());
        SetView(at - int64_t(x * double(newSpan) / std::max(1, width())), newSpan);
    }
    event->accept();
}

void TTimelineWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && editing_ && schedule_.SelectedRow > 0 &&
        schedule_.SelectedRow <= schedule_.Sections.size()) {
        emit RemoveSectionRequested(schedule_.SelectedRow);
        return;
    }
    QWidget::keyPressEvent(event);
}
