// TDefineComboBox / TFlatComboBox: a drop-down list with a flat frame and
// arrow button drawn by the control itself over Qt's combo box, which keeps
// the items, the selection, the drop-down list and the keyboard handling.
// The background switches between ColorFlat (idle) and ColorFocued (focused,
// or hovered while no flat combo box has the focus). An optional caption
// label (the ticket) follows the combo beside it.
//
// Event rules the settings loaders rely on:
//  - every assignment of ItemIndex by the program raises OnChange once, also
//    when the index does not change;
//  - a choice by the user (list or keyboard) raises OnChange;
//  - nothing else raises OnChange (adding or clearing items does not);
//  - adding items (addItem, addItems, SetItems) never chooses one: ItemIndex
//    stays -1 until it is assigned.
#pragma once

#include "controls/ControlBase.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QStringList>

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TTicketPosition { poLeft, poTop, poRight, poBottom };

class TDefineComboBox : public TControlBase<QComboBox> {
    Q_OBJECT
public:
    explicit TDefineComboBox(QWidget* parent = nullptr);
    ~TDefineComboBox() override;

    // --- Own properties ----------------------------------------------------
    QString Version() const { return QStringLiteral("4.56.0.0"); }
    void SetVersion(const QString&) {}
    // The attached caption label. It has the combo's parent, visibility,
    // enabled state and reading direction, and is re-placed whenever the
    // combo's bounds, TicketPosition, TicketSpace or its own size change.
    // Null once the label has been destroyed.
    QLabel* Ticket() const { return ticket_; }
    TTicketPosition TicketPosition() const { return ticketPosition_; }
    void SetTicketPosition(TTicketPosition v) {
        SetProperty(ticketPosition_, v, &TDefineComboBox::PlaceTicket, TSetWhen::Always);
    }
    int TicketSpace() const { return ticketSpace_; }
    void SetTicketSpace(int v) {
        SetProperty(ticketSpace_, v, &TDefineComboBox::PlaceTicket, TSetWhen::Always);
    }
    // When true, ColorFlat follows the parent's background colour.
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool v);
    TColor ColorArrow() const { return colorArrow_; }
    void SetColorArrow(const TColor& v) {
        SetProperty(colorArrow_, v, &TDefineComboBox::ApplyColours, TSetWhen::Always);
    }
    TColor ColorArrowBackground() const { return colorArrowBackground_; }
    void SetColorArrowBackground(const TColor& v) {
        SetProperty(colorArrowBackground_, v, &TDefineComboBox::ApplyColours, TSetWhen::Always);
    }
    TColor ColorBorder() const { return colorBorder_; }
    void SetColorBorder(const TColor& v) {
        SetProperty(colorBorder_, v, &TDefineComboBox::ApplyColours, TSetWhen::Always);
    }
    TColor ColorFlat() const { return colorFlat_; }
    void SetColorFlat(const TColor& v); // clears ParentColor
    TColor ColorFocued() const { return colorFocued_; }
    void SetColorFocued(const TColor& v) {
        SetProperty(colorFocued_, v, &TDefineComboBox::ApplyColours, TSetWhen::Always);
    }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);

    // --- Common combo-box properties ---------------------------------------
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle v);
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int v); // raises OnChange, changed or not
    QStringList Items() const;
    void SetItems(const QStringList& items); // keeps ItemIndex -1, raises nothing
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int v);
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int v) { setMaxVisibleItems(v); }
    QString Text() const { return currentText(); }
    // Enabled, Visible, Hint and ShowHint: see TControlBase.
    // The font colour (text of the box and of the list); the font itself is
    // the widget's font, inherited from the parent until set.
    TColor FontColor() const;
    void SetFontColor(const TColor& c);

    // Colour of the background right now (focus and hover decide).
    TColor CurrentBackground() const;
    bool Hovered() const { return hovered_; }
    // Paints the whole control onto p (the control's top-left at (0, 0)).
    void PaintTo(QPainter& p) const;

    // Opening and closing the list (raise OnDropDown / OnCloseUp).
    void showPopup() override;
    void hidePopup() override;

    // --- Events ------------------------------------------------------------
    TNotifyEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void PlaceTicket();
    void SyncTicket();
    void ApplyColours();
    void Change();

    QPointer<QLabel> ticket_;
    TTicketPosition ticketPosition_ = poLeft;
    int ticketSpace_ = 3;
    bool parentColor_ = true;
    TColor colorArrow_{0, 0, 0};
    TColor colorArrowBackground_{0xD9, 0xD6, 0xC5};
    TColor colorBorder_{0x88, 0xA5, 0x61};
    TColor colorFlat_{0xEB, 0xEA, 0xE1};
    TColor colorFocued_{255, 255, 255};
    bool readOnly_ = false;
    TComboBoxStyle style_ = csDropDownList;
    int itemHeight_ = 13;
    bool hovered_ = false;
    bool dropped_ = false;
    int indexBeforeInsert_ = -1;
};

// The control forms use.
class TFlatComboBox : public TDefineComboBox {
    Q_OBJECT
public:
    explicit TFlatComboBox(QWidget* parent = nullptr) : TDefineComboBox(parent) {}
};
