#include "controls/MyRadionBtn.h"

#include "controls/FontCatalog.h"

#include <QApplication>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include <algorithm>
#include <cmath>

using ControlGeometry::InEllipse;
using ControlGeometry::OnEllipseEdge;

namespace {

// A line from (x0, y0) towards (x1, y1), the end point excluded, one pixel
// wide; wider pens widen it to a square brush of that size.
void LineTo(QPainter& p, int x0, int y0, int x1, int y1, const QColor& c, int width) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    const int lo = -(width - 1) / 2;
    while (x0 != x1 || y0 != y1) {
        p.fillRect(QRect(x0 + lo, y0 + lo, width, width), c);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

// Angle of a direction in degrees, counter-clockwise from the right with y
// growing downward on screen, in [0, 360).
double AngleOf(double dx, double dy) {
    double a = std::atan2(-dy, dx) * 180.0 / M_PI;
    return a < 0 ? a + 360.0 : a;
}

} // namespace

TMyRadionBtn::TMyRadionBtn(QWidget* parent) : TPointerControl(parent) {
    bkColor_ = QApplication::palette().color(QPalette::Button);
    resize(81, 21);
    UpdateShortcut();
}

TMyRadionBtn::~TMyRadionBtn() = default;

// --- Setters ----------------------------------------------------------------

void TMyRadionBtn::SetCaption(const QString& v) {
    if (v == caption_)
        return;
    caption_ = v;
    UpdateShortcut();
    update();
}

void TMyRadionBtn::SetShownCaption(const QString& v) {
    if (v == shown_)
        return;
    shown_ = v;
    UpdateShortcut();
    update();
}

TColor TMyRadionBtn::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TMyRadionBtn::SetFontColor(const TColor& c) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, c);
    setPalette(pal);
    update();
}

void TMyRadionBtn::SetChecked(bool v) {
    if (v == checked_)
        return;
    checked_ = v;
    if (v && parentWidget() != nullptr) {
        // Only direct children of the same parent form a group.
        const QList<TMyRadionBtn*> siblings =
            parentWidget()->findChildren<TMyRadionBtn*>(Qt::FindDirectChildrenOnly);
        for (TMyRadionBtn* b : siblings) {
            if (b != this && b->groupIndex_ == groupIndex_)
                b->SetChecked(false);
        }
    }
    RepaintNow();
}

void TMyRadionBtn::RepaintNow() {
    repaint();
}

void TMyRadionBtn::UpdateShortcut() {
    if (shortcutId_ != 0) {
        releaseShortcut(shortcutId_);
        shortcutId_ = 0;
    }
    const QKeySequence key = QKeySequence::mnemonic(ShownCaption());
    if (!key.isEmpty())
        shortcutId_ = grabShortcut(key);
}

// --- Painting ---------------------------------------------------------------

int TMyRadionBtn::BoxSize() const {
    const int th = LayoutTextHeight(font());
    return (th / 2 - 1) * 2;
}

void TMyRadionBtn::PaintTo(QPainter& p) const {
    const int w = width();
    const int h = height();
    const int pen = std::max(1, int(borderWidth_));
    const int s = BoxSize();
    const bool right = textAlign_ == taRight;
    const int l = right ? (w - 1) - s : 2;
    const int r = right ? w - 1 : l + s;
    const int t = (h - s) / 2 + 1;
    const int b = t + s;
    const int mx = l + s / 2;
    const int my = t + s / 2;
    const int q = s / 4;
    const QColor c1 = checked_ ? colorLow_ : colorHigh_;
    const QColor c2 = checked_ ? colorHigh_ : colorLow_;

    if (!transparent_)
        p.fillRect(QRect(0, 0, w, h), bkColor_);

    if (borderWidth_ > 0) {
        switch (buttonShape_) {
        case btSquare:
            LineTo(p, l, b - 1, l, t, c1, pen);
            LineTo(p, l, t, r - 1, t, c1, pen);
            LineTo(p, r - 1, t, r - 1, b - 1, c2, pen);
            LineTo(p, r - 1, b - 1, l, b - 1, c2, pen);
            break;
        case btDiamond:
            LineTo(p, mx, t, l, my, c1, pen);
            LineTo(p, l, my, mx, b, c1, pen);
            LineTo(p, mx, b, r, my, c2, pen);
            LineTo(p, r, my, mx, t, c2, pen);
            break;
        case btRound: {
            // Upper-left half from the direction of (r-2, t+2) counter-clockwise
            // to that of (l+2, b-2) in c1, the rest in c2.
            const double cx = (l + r) / 2.0;
            const double cy = (t + b) / 2.0;
            const double from = AngleOf(r - 2 - cx, t + 2 - cy);
            const double to = AngleOf(l + 2 - cx, b - 2 - cy);
            const double sweep = std::fmod(to - from + 360.0, 360.0);
            for (int k = 0; k < pen; ++k) {
                const int in = k - (pen - 1) / 2;
                const int el = l + in, et = t + in, er = r - in, eb = b - in;
                for (int y = et; y < eb; ++y) {
                    for (int x = el; x < er; ++x) {
                        if (!OnEllipseEdge(x, y, el, et, er, eb))
                            continue;
                        const double a = AngleOf(x + 0.5 - cx, y + 0.5 - cy);
                        const bool first = std::fmod(a - from + 360.0, 360.0) < sweep;
                        p.fillRect(QRect(x, y, 1, 1), first ? c1 : c2);
                    }
                }
            }
            break;
        }
        }
    }

    if (checked_) {
        const QColor outline = isEnabled() ? bkColor_ : colorLow_;
        const int il = l + q, it = t + q, ir = r - q, ib = b - q;
        switch (buttonShape_) {
        case btSquare:
            if (ir > il && ib > it) {
                p.fillRect(QRect(il, it, ir - il, ib - it), outline);
                if (ir - il > 2 && ib - it > 2)
                    p.fillRect(QRect(il + 1, it + 1, ir - il - 2, ib - it - 2), checkColor_);
            }
            break;
        case btDiamond: {
            const QPolygon poly({QPoint(il, my), QPoint(mx, it), QPoint(ir, my), QPoint(mx, ib)});
            p.save();
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setPen(QPen(outline, 1));
            p.setBrush(checkColor_);
            p.drawPolygon(poly);
            p.restore();
            break;
        }
        case btRound:
            for (int y = it; y < ib; ++y) {
                for (int x = il; x < ir; ++x) {
                    if (!InEllipse(x, y, il, it, ir, ib))
                        continue;
                    const bool edge = OnEllipseEdge(x, y, il, it, ir, ib);
                    p.fillRect(QRect(x, y, 1, 1), edge ? outline : checkColor_);
                }
            }
            break;
        }
    }

    // Caption: one line, "&" marks the underlined accelerator letter.
    QRect text = rect();
    int dx;
    if (right) {
        text.setRight(w - s - spacing_ - 1); // right edge W - S - Spacing, exclusive
        dx = 1;
    } else {
        dx = r + spacing_;
    }
    const int dy = (h - s) / 2;
    text.translate(dx, dy);
    // Drawn raised where the face's ascent is taller than the original's;
    // the glyphs then fill the em box from the caption's top, so the clip
    // reaches up to the control's edge. The raised rectangle is only where
    // the text starts: its bottom edge would cut the glyphs' lower part, so
    // the text is clipped to the caption's own rectangle instead.
    const QPoint up(0, -LayoutTextRaise(font()));
    auto clipOf = [](QRect r) {
        r.setTop(std::min(r.top(), 0));
        return r;
    };
    const int flags =
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextDontClip;
    const QString shown = ShownCaption();
    p.save();
    p.setFont(font());
    if (textStyle_ != txNone && !shown.isEmpty()) {
        const QRect shadow =
            text.translated(textStyle_ == txRaised ? QPoint(-1, -1) : QPoint(1, 1));
        p.setClipRect(clipOf(shadow));
        p.setPen(colorHigh_);
        p.drawText(shadow.translated(up), flags, shown);
    }
    p.setClipRect(clipOf(text));
    p.setPen(isEnabled() ? FontColor() : colorLow_);
    p.drawText(text.translated(up), flags, shown);
    p.restore();
}

void TMyRadionBtn::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTo(p);
}

// --- Events -----------------------------------------------------------------

bool TMyRadionBtn::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut) {
        auto* se = static_cast<QShortcutEvent*>(e);
        if (se->shortcutId() == shortcutId_ && isEnabled()) {
            RaiseClick();
            SetChecked(true);
            return true;
        }
    }
    return TPointerControl::event(e);
}

void TMyRadionBtn::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            mouseInside_ = false;
            clickPending_ = false;
        }
        update();
    }
    QWidget::changeEvent(e);
}

void TMyRadionBtn::Press(TMouseButton button, TShiftState shift, int x, int y) {
    if (!isEnabled())
        return;
    clickPending_ = button == mbLeft;
    RaiseMouseDown(button, shift, x, y);
    if (PopUpMenu()) {
        RunPopUp(QPoint(0, height()), false);
        Release(button, shift, x, y);
    }
}

void TMyRadionBtn::Release(TMouseButton button, TShiftState shift, int x, int y) {
    if (!isEnabled())
        return;
    if (button == mbLeft && clickPending_) {
        clickPending_ = false;
        if (rect().contains(x, y))
            RaiseClick();
    }
    RaiseMouseUp(button, shift, x, y);
    // Both far edges count as inside here.
    if (x >= 0 && x <= width() && y >= 0 && y <= height() && !checked_)
        SetChecked(true);
}

void TMyRadionBtn::mousePressEvent(QMouseEvent* e) {
    ignoreRelease_ = false;
    const QPoint pt = e->position().toPoint();
    Press(ControlEvents::ButtonOf(e), ControlEvents::ShiftOf(e), pt.x(), pt.y());
}

void TMyRadionBtn::mouseReleaseEvent(QMouseEvent* e) {
    if (ignoreRelease_) {
        // The release of the press that opened the pop-up menu was handled
        // when the menu closed.
        ignoreRelease_ = false;
        return;
    }
    const QPoint pt = e->position().toPoint();
    Release(ControlEvents::ButtonOf(e), ControlEvents::ShiftOf(e), pt.x(), pt.y());
}

void TMyRadionBtn::enterEvent(QEnterEvent* e) {
    if (isEnabled())
        mouseInside_ = true;
    TPointerControl::enterEvent(e);
}

void TMyRadionBtn::leaveEvent(QEvent* e) {
    if (isEnabled())
        mouseInside_ = false;
    TPointerControl::leaveEvent(e);
}
