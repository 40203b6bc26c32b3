#include "controls/ControlTypes.h"

#include <QMouseEvent>

namespace ControlEvents {

TMouseButton ButtonOf(const QMouseEvent* e) {
    switch (e->button()) {
    case Qt::RightButton:
        return mbRight;
    case Qt::MiddleButton:
        return mbMiddle;
    default:
        return mbLeft;
    }
}

TShiftState ModifiersOf(const QInputEvent* e) {
    TShiftState s = 0;
    const Qt::KeyboardModifiers m = e->modifiers();
    if (m & Qt::ShiftModifier)
        s |= ssShift;
    if (m & Qt::AltModifier)
        s |= ssAlt;
    if (m & Qt::ControlModifier)
        s |= ssCtrl;
    return s;
}

TShiftState ShiftOf(const QMouseEvent* e) {
    TShiftState s = ModifiersOf(e);
    const Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton)
        s |= ssLeft;
    if (b & Qt::RightButton)
        s |= ssRight;
    if (b & Qt::MiddleButton)
        s |= ssMiddle;
    if (e->type() == QEvent::MouseButtonDblClick)
        s |= ssDouble;
    return s;
}

} // namespace ControlEvents

namespace ControlGeometry {

bool InEllipse(int x, int y, double l, double t, double r, double b) {
    const double rx = (r - l) / 2.0;
    const double ry = (b - t) / 2.0;
    if (rx <= 0 || ry <= 0)
        return false;
    const double dx = (x + 0.5 - (l + rx)) / rx;
    const double dy = (y + 0.5 - (t + ry)) / ry;
    return dx * dx + dy * dy <= 1.0;
}

bool OnEllipseEdge(int x, int y, int l, int t, int r, int b) {
    return InEllipse(x, y, l, t, r, b) &&
           (!InEllipse(x - 1, y, l, t, r, b) || !InEllipse(x + 1, y, l, t, r, b) ||
            !InEllipse(x, y - 1, l, t, r, b) || !InEllipse(x, y + 1, l, t, r, b));
}

} // namespace ControlGeometry
