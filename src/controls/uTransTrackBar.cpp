#include "controls/uTransTrackBar.h"

#include "controls/FontCatalog.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScopedValueRollback>

#include <cmath>

namespace {

// One-pixel 3-D frame on the outer ring of columns l..r, rows a..b: LT on
// the left column and top row, RB on the right column and bottom row; the
// top-right and bottom-left corners belong to RB.
void Frame3D(QPainter& p, int l, int r, int a, int b, const QColor& lt, const QColor& rb) {
    if (r < l || b < a)
        return;
    p.fillRect(QRect(l, a, 1, b - a), lt);
    p.fillRect(QRect(l, a, r - l, 1), lt);
    p.fillRect(QRect(r, a, 1, b - a + 1), rb);
    p.fillRect(QRect(l, b, r - l + 1, 1), rb);
}

QColor Dimmed(const QColor& c, double f) {
    return QColor(int(c.red() / f), int(c.green() / f), int(c.blue() / f));
}

// The gradient factor for line k of a run with half-length d.
double GradientFactor(int d, int k) {
    if (d == 0)
        return 1.0;
    return std::pow(1.008 + 1.0 / d, d - k);
}

// Vertical gradient: rows top..top+n-1 (n lines), each over columns l..r.
void VerticalGradient(QPainter& p, const QColor& c, int l, int r, int top, int n) {
    const int d = n / 2;
    for (int k = 0; k <= d; ++k) {
        const QColor col = Dimmed(c, GradientFactor(d, k));
        p.fillRect(QRect(l, top + k, r - l + 1, 1), col);
        p.fillRect(QRect(l, top + n - 1 - k, r - l + 1, 1), col);
    }
}

// Horizontal gradient: columns left..left+n-1, each over rows a..b.
void HorizontalGradient(QPainter& p, const QColor& c, int left, int n, int a, int b) {
    const int d = n / 2;
    if (d == 0)
        return;
    for (int k = 0; k <= d; ++k) {
        const QColor col = Dimmed(c, GradientFactor(d, k));
        p.fillRect(QRect(left + k, a, 1, b - a + 1), col);
        p.fillRect(QRect(left + n - 1 - k, a, 1, b - a + 1), col);
    }
}

} // namespace

TTransTrackBar::TTransTrackBar(QWidget* parent) : TPointerControl(parent) {
    colorFace_ = QApplication::palette().color(QPalette::Button);
    font_ = MakeFontPt(QStringLiteral("宋体"), 9);
    resize(156, 32);
}

TTransTrackBar::~TTransTrackBar() = default;

// --- Setters ---------------------------------------------------------------

void TTransTrackBar::SetFont(const QFont& f, const TColor& color) {
    font_.setFamily(f.family());
    if (f.pointSize() > 0)
        font_.setPixelSize(int(std::lround(f.pointSize() * 96.0 / 72.0)));
    else if (f.pixelSize() > 0)
        font_.setPixelSize(f.pixelSize());
    fontColor_ = color;
    fontSize_ = f.pointSize() > 0 ? f.pointSize() : int(std::lround(f.pixelSize() * 72.0 / 96.0));
    update();
}

void TTransTrackBar::SetFontName(const QString& v) {
    font_.setFamily(ResolveFontFamily(v));
    update();
}

void TTransTrackBar::SetFontSize(int points) {
    fontSize_ = points;
    // Points at 96 dots per inch, whatever the screen reports.
    if (points > 0)
        font_.setPixelSize(int(std::lround(points * 96.0 / 72.0)));
    update();
}

void TTransTrackBar::SetMaxValue(double v) {
    maxValue_ = v > minValue_ ? v : minValue_ + 1.0;
    update();
}

void TTransTrackBar::SetMinValue(double v) {
    minValue_ = v < maxValue_ ? v : maxValue_ - 1.0;
    update();
}

void TTransTrackBar::SetPosition(double v) {
    // Only the top is clamped here: the loaders may store a value below the
    // range, which then draws the thumb left of the control.
    position_ = v > maxValue_ ? maxValue_ : v;
    update();
    Changed();
}

void TTransTrackBar::SetFixed(uint8_t v) {
    fixed_ = v > 8 ? 8 : v;
    update();
}

void TTransTrackBar::SetPartNumber(uint8_t v) {
    partNumber_ = v == 0 ? 1 : v;
    update();
}

void TTransTrackBar::Changed() {
    if (OnChange)
        OnChange(this);
}

// --- Geometry ---------------------------------------------------------------

int TTransTrackBar::ThumbLeft() const {
    const double frac = (position_ - minValue_) / (maxValue_ - minValue_);
    const double px = (width() - thumWidth_) * frac;
    return int(std::trunc(px));
}

double TTransTrackBar::ValueAt(int x) const {
    const int span = width() - thumWidth_;
    if (span <= 0)
        return position_;
    return (maxValue_ - minValue_) * (x - thumWidth_ / 2) / span + minValue_;
}

bool TTransTrackBar::OnThumb(int x, int y) const {
    const int t = ThumbLeft();
    return x >= t && x < t + thumWidth_ && y >= 1 && y < height() - 2;
}

// --- Painting ---------------------------------------------------------------

void TTransTrackBar::PaintTo(QPainter& p) const {
    const int w = width();
    const int h = height();
    const int tw = thumWidth_;
    const int bh = barHeight_;
    const int t = ThumbLeft();
    const int top = (h - bh) / 2;
    const int bottom = top + bh - 1;

    if (!transparent_)
        p.fillRect(QRect(0, 0, w, h), colorFace_);

    // Bar part: right of the thumb; the last column never belongs to it.
    const int barL = t + tw + 1;
    const int barR = w - 2;
    if (barL < w - 1) {
        if (!transParentBar_) {
            if (gradientBar_)
                VerticalGradient(p, colorBar_, barL, barR, top, bh + 1);
            else
                p.fillRect(QRect(barL, top, barR - barL + 1, bh), colorBar_);
        }
        Frame3D(p, barL, barR, top, bottom, colorBarFrameLT_, colorBarFrameRB_);
    }

    // Slider part: left of the thumb, column t - 1 left unpainted.
    const int slR = t - 2;
    if (slR >= 0) {
        if (!transParentSlider_) {
            if (gradientSlider_)
                VerticalGradient(p, colorSlider_, 0, slR, top, bh + 1);
            else
                p.fillRect(QRect(0, top, slR + 1, bh), colorSlider_);
        }
        Frame3D(p, 0, slR, top, bottom, colorSliderFrameLT_, colorSliderFrameRB_);
    }

    // Thumb: rows 1 .. h - 3.
    if (tw > 0 && h - 3 >= 1) {
        if (!transParentThum_) {
            if (gradientThum_)
                HorizontalGradient(p, colorThum_, t, tw, 1, h - 3);
            else
                p.fillRect(QRect(t, 1, tw, h - 3), colorThum_);
        }
        Frame3D(p, t, t + tw - 1, 1, h - 3, colorThumFrameLT_, colorThumFrameRB_);
    }

    if (showFrame_)
        Frame3D(p, 0, w - 1, 0, h - 1, colorFaceFrameLT_, colorFaceFrameRB_);
}

void TTransTrackBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTo(p);
}

void TTransTrackBar::RepaintNow() {
    repaint();
}

// --- Pointer ----------------------------------------------------------------

void TTransTrackBar::PointerDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (!isEnabled() || pressed_)
        return;
    RaiseMouseDown(button, shift, x, y);
    pressed_ = true;
    lastX_ = x;
    lastY_ = y;
    clickPending_ = button == mbLeft;

    const int top = (height() - barHeight_) / 2;
    const bool onBand = x >= 0 && x < width() - 1 && y >= top && y < top + barHeight_;
    if (button == mbLeft && !OnThumb(x, y) && onBand && width() > thumWidth_) {
        const double v = ValueAt(x);
        const double step = (maxValue_ - minValue_) * 0.1;
        if (std::fabs(v - position_) < step)
            position_ = v;
        else if (v >= position_)
            position_ += step;
        else
            position_ -= step;
        position_ = std::clamp(position_, minValue_, maxValue_);
        Changed();
        RepaintNow();
    }

    if (button == mbRight && PopUpMenu()) {
        PointerUp(button, shift, x, y);
        RunPopUp(QPoint(x, y), true);
    }
}

void TTransTrackBar::PointerUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (!isEnabled())
        return;
    RaiseMouseUp(button, shift, x, y);
    pressed_ = false;
    RepaintNow();
}

void TTransTrackBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton)
        ignoreRelease_ = false;
    const QPoint pt = e->position().toPoint();
    PointerDown(ControlEvents::ButtonOf(e), ControlEvents::ShiftOf(e), pt.x(), pt.y());
}

void TTransTrackBar::mouseMoveEvent(QMouseEvent* e) {
    if (!isEnabled())
        return;
    const QPoint pt = e->position().toPoint();
    const int x = pt.x();
    const int y = pt.y();
    const bool onThumb = OnThumb(x, y);
    RaiseMouseMove(ControlEvents::ShiftOf(e), x, y);
    if (!pressed_)
        return;
    if (onThumb && x != lastX_) {
        if (width() > thumWidth_) {
            const double v = ValueAt(x);
            if ((x > lastX_ && v > position_) || (x < lastX_ && v < position_))
                position_ = v;
            position_ = std::clamp(position_, minValue_, maxValue_);
        }
        {
            QScopedValueRollback<bool> drag(dragging_, true);
            Changed();
        }
        lastX_ = x;
        lastY_ = y;
        RepaintNow();
    } else if (movable_) {
        move(this->x() + (x - lastX_), this->y() + (y - lastY_));
    } else if (!rect().contains(x, y)) {
        RepaintNow();
        pressed_ = false;
        clickPending_ = false;
        unsetCursor();
    }
}

void TTransTrackBar::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    const TMouseButton button = ControlEvents::ButtonOf(e);
    if (MenuRelease(button) || !isEnabled())
        return;
    if (button == mbLeft && clickPending_) {
        clickPending_ = false;
        if (rect().contains(pt))
            RaiseClick();
    }
    PointerUp(button, ControlEvents::ShiftOf(e), pt.x(), pt.y());
}

void TTransTrackBar::leaveEvent(QEvent* e) {
    if (isEnabled())
        unsetCursor();
    TPointerControl::leaveEvent(e);
}
