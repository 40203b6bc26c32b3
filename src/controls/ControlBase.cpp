#include "controls/ControlBase.h"

#include <QCoreApplication>
#include <QMouseEvent>

TPointerControl::TPointerControl(QWidget* parent) : TControlBase<QWidget>(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
}

void TPointerControl::RaiseClick() {
    if (OnClick)
        OnClick(this);
}

void TPointerControl::RaiseMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TPointerControl::RaiseMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TPointerControl::RaiseMouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TPointerControl::RunPopUp(const QPoint& at, bool tagged) {
    QPointer<QMenu> menu = popup_;
    if (tagged)
        menu->setProperty("Tag", QVariant::fromValue<QObject*>(this));
    menu->exec(mapToGlobal(at));
    QCoreApplication::removePostedEvents(this, QEvent::MouseButtonPress);
    QCoreApplication::removePostedEvents(this, QEvent::MouseButtonRelease);
    QCoreApplication::removePostedEvents(this, QEvent::MouseMove);
    ignoreRelease_ = true;
}

bool TPointerControl::MenuRelease(TMouseButton button) {
    if (!ignoreRelease_ || button != mbRight)
        return false;
    ignoreRelease_ = false;
    return true;
}

bool TPointerControl::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const Qt::MouseButton b = static_cast<QMouseEvent*>(e)->button();
        if (b != Qt::LeftButton && b != Qt::RightButton && b != Qt::MiddleButton) {
            e->accept();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return TControlBase<QWidget>::event(e);
}

void TPointerControl::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
}

void TPointerControl::mouseMoveEvent(QMouseEvent* e) {
    if (!isEnabled())
        return;
    const QPoint pt = e->position().toPoint();
    RaiseMouseMove(ControlEvents::ShiftOf(e), pt.x(), pt.y());
}

void TPointerControl::enterEvent(QEnterEvent*) {
    if (isEnabled() && OnMouseEnter)
        OnMouseEnter(this);
}

void TPointerControl::leaveEvent(QEvent*) {
    if (isEnabled() && OnMouseExit)
        OnMouseExit(this);
}
