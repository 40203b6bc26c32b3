// The timeline: the sound's waveform, a strip of pictures and a time ruler
// over the whole media file, the sections as numbered marks with their
// stretch shaded, and the play position moving smoothly between the
// position reports.
//
// It shows what it is given (SetSchedule, SetPosition, the TMediaPeaks it
// reads) and asks for every change by a signal: it never edits or saves a
// schedule itself. Sections are rows counted from 1, as on the grid.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

class QScrollBar;
class QTimer;
class TMediaPeaks;

struct TTimelineSection {
    int64_t StartMs = 0;
    int Count = 1;
    int Remaining = 0; // plays still to come of the current section
    QString Description;
    int Stored = -1; // the count the schedule file holds (-1: as Count)
    bool operator==(const TTimelineSection&) const = default;
};

struct TTimelineSchedule {
    QList<TTimelineSection> Sections;
    int CurrentRow = 0; // 0: none
    int Repeat = 0;     // the current repetition, from 1 (0: not known)
    int RepeatOf = 0;
    int SelectedRow = 0;
    bool operator==(const TTimelineSchedule&) const = default;
};

class TTimelineWidget : public QWidget {
    Q_OBJECT
public:
    explicit TTimelineWidget(QWidget* parent = nullptr);

    // A mark's label: "3 ×2 伸展运动"; a count used up below the stored one
    // as "×0/2", as the grid shows it; the playing section's repetition
    // "(2/3)".
    static QString MarkLabel(int row, const TTimelineSchedule& schedule);

    void SetPeaks(TMediaPeaks* peaks);
    void SetSchedule(const TTimelineSchedule& schedule);
    const TTimelineSchedule& Schedule() const { return schedule_; }
    // A position report: the media at `ms`, running at `rate` while playing.
    void SetPosition(int64_t ms, double rate, bool playing);
    // The media's length when the player knows it before the peaks do.
    void SetDurationMs(int64_t ms);
    void SetEditing(bool on);
    bool Editing() const { return editing_; }

    // The view: `spanMs` of media from `startMs` across the width; held
    // inside the media and between MinSpanMs and the whole file.
    void SetView(int64_t startMs, int64_t spanMs);
    int64_t ViewStartMs() const { return viewStart_; }
    int64_t ViewSpanMs() const { return viewSpan_ > 0 ? viewSpan_ : DurationMs(); }
    int64_t DurationMs() const;
    static constexpr int64_t MinSpanMs = 3000;

    // Media ms → x and back, at the current view.
    double XOfMs(int64_t ms) const;
    int64_t MsOfX(double x) const;
    // The lowest and highest sample (-127..127) drawn in pixel column x;
    // false where no peaks are known.
    bool ColumnPeak(int x, int* lo, int* hi) const;
    // The x of a section's mark, the played position now (interpolated).
    double MarkX(int row) const;
    int64_t PositionNowMs() const;
    // The rectangles of the parts (for tests and the screenshot).
    QRect RulerRect() const;
    QRect PicturesRect() const;
    QRect WaveRect() const;

signals:
    void PlayFromRequested(int64_t ms);
    void AddSectionRequested(int seconds);
    void SectionMoved(int row, int seconds);
    void RemoveSectionRequested(int row);
    void SectionSelected(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PeaksUpdated();
    void Invalidate(); // the drawn layer is redrawn at the next paint
    void RenderLayer();
    void DrawRuler(QPainter& p) const;
    void DrawPictures(QPainter& p) const;
    void DrawWave(QPainter& p) const;
    void DrawSections(QPainter& p) const;
    void SyncScrollBar();
    void Animate();
    int MarkAt(int x) const; // the row whose mark is under x, 0 for none
    int64_t MarkMs(int row) const;
    int PlayheadX() const;

    QPointer<TMediaPeaks> peaks_;
    QString shownFile_;
    TTimelineSchedule schedule_;
    bool editing_ = false;
    int64_t viewStart_ = 0;
    int64_t viewSpan_ = 0; // 0: the whole file, until the user zooms
    int64_t knownDuration_ = 0;

    int64_t basePos_ = 0;
    double rate_ = 1.0;
    bool playing_ = false;
    QElapsedTimer sinceReport_;
    int drawnHead_ = -1;

    // Pointer gestures.
    int dragRow_ = 0;
    int dragSec_ = -1;
    bool pressed_ = false;
    bool panning_ = false;
    int pressX_ = 0;
    int pressedMark_ = 0;
    int64_t pressViewStart_ = 0;

    QPixmap layer_;
    bool layerDirty_ = true;
    QScrollBar* scroll_ = nullptr;
    QTimer* animation_ = nullptr;
    bool syncing_ = false;
};
