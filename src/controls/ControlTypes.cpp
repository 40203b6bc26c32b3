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
