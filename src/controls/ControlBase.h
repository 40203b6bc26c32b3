// Plumbing the owner-drawn controls share, so that each control keeps only
// what is its own:
//  - TControlBase<Widget>: Enabled, Visible and the hint (the tooltip, shown
//    only while ShowHint is true) over any widget class, and the shape of
//    the plain property setters;
//  - TPointerControl: a control drawn on a plain QWidget, with the pointer
//    callbacks the owning window binds, the pop-up menu, and the raising of
//    those callbacks.
#pragma once

#include "controls/ControlTypes.h"

#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <type_traits>

class QEnterEvent;
class QEvent;
class QMouseEvent;

template <class Widget> class TControlBase : public Widget {
public:
    bool Enabled() const { return this->isEnabled(); }
    void SetEnabled(bool v) { this->setEnabled(v); }
    bool Visible() const { return this->isVisible(); }
    void SetVisible(bool v) { this->setVisible(v); }
    QString Hint() const { return hint_; }
    void SetHint(const QString& v) {
        hint_ = v;
        ApplyHint();
    }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool v) {
        showHint_ = v;
        ApplyHint();
    }

protected:
    explicit TControlBase(QWidget* parent) : Widget(parent) {}

    // Whether a setter given the value it already holds still lets the
    // control follow it. Some controls have always repainted or re-coloured
    // on every assignment, and the settings loaders re-assign whole styles.
    enum class TSetWhen { Changed, Always };

    // The plain property setter: stores `v` in `field`, then lets the
    // control follow the new value: a repaint at the next event loop turn,
    // or the control's own `follow` (a re-render, a re-colouring).
    template <class T, class Control = TControlBase>
    void SetProperty(T& field, const std::type_identity_t<T>& v,
                     void (Control::*follow)() = nullptr, TSetWhen when = TSetWhen::Changed) {
        if (when == TSetWhen::Changed && field == v)
            return;
        field = v;
        if (follow != nullptr)
            (static_cast<Control*>(this)->*follow)();
        else
            this->update();
    }
    template <class T> void SetProperty(T& field, const std::type_identity_t<T>& v, TSetWhen when) {
        SetProperty<T, TControlBase>(field, v, nullptr, when);
    }

private:
    void ApplyHint() { this->setToolTip(showHint_ ? hint_ : QString()); }

    QString hint_;
    bool showHint_ = false;
};

// Paints no background of its own (the parent shows through) and follows
// the pointer also while no button is held. The callbacks get the control as
// Sender; an unbound callback is skipped.
class TPointerControl : public TControlBase<QWidget> {
public:
    // Forgotten when the menu is destroyed.
    QMenu* PopUpMenu() const { return popup_; }
    void SetPopUpMenu(QMenu* menu) { popup_ = menu; }

    // --- Events ------------------------------------------------------------
    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;

protected:
    explicit TPointerControl(QWidget* parent);

    void RaiseClick();
    void RaiseMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void RaiseMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    void RaiseMouseMove(TShiftState shift, int x, int y);

    // Runs the pop-up menu at the control's point `at` (when tagged, the
    // menu's "Tag" property holds the control, as a QObject*, while it runs),
    // then drops the pointer events queued for the control meanwhile and
    // sets ignoreRelease_ for the release still to come.
    void RunPopUp(const QPoint& at, bool tagged);
    bool ignoreRelease_ = false;
    // True, once, for the release of the right button whose press opened the
    // pop-up menu: that press was handled before the menu ran.
    bool MenuRelease(TMouseButton button);

    // Presses and releases of buttons other than left, right and middle (a
    // mouse's back and forward thumb buttons) are swallowed here: they
    // neither click nor raise OnMouseDown / OnMouseUp.
    bool event(QEvent* e) override;

    // Defaults: a second quick press is an ordinary press; OnMouseMove,
    // OnMouseEnter and OnMouseExit are raised only while enabled.
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    QPointer<QMenu> popup_;
};
