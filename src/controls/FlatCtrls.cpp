#include "controls/FlatCtrls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

constexpr int kArrowWidth = 18; // arrow button, border included

// Rows of the drop-down list: ItemHeight, but never lower than the font.
class TFlatItemDelegate : public QStyledItemDelegate {
public:
    explicit TFlatItemDelegate(TDefineComboBox* combo)
        : QStyledItemDelegate(combo), combo_(combo) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        const int fontRow = QFontMetrics(combo_->font()).height() + 4;
        s.setHeight(std::max(combo_->ItemHeight(), fontRow));
        return s;
    }

private:
    TDefineComboBox* combo_;
};

void FrameRect(QPainter& p, const QRect& r, const QColor& c) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
}

// Rectangle from corner (l, t) to (r, b), right and bottom edges excluded.
QRect Span(int l, int t, int r, int b) {
    return QRect(l, t, r - l, b - t);
}

} // namespace

TDefineComboBox::TDefineComboBox(QWidget* parent) : TControlBase<QComboBox>(parent) {
    setAttribute(Qt::WA_Hover);
    setItemDelegate(new TFlatItemDelegate(this));
    setMaxVisibleItems(8);
    ticket_ = new QLabel(parent);
    ticket_->setAutoFillBackground(false);
    ticket_->setBuddy(this);
    ticket_->installEventFilter(this);
    ticket_->setVisible(parent != nullptr && parent->isVisible());
    // Adding items never chooses one: a list stays without a choice until
    // ItemIndex is assigned (Qt would pick the first item of an empty list).
    connect(model(), &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this] { indexBeforeInsert_ = currentIndex(); });
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this] {
        if (indexBeforeInsert_ == -1 && currentIndex() != -1)
            setCurrentIndex(-1);
    });
    connect(this, &QComboBox::activated, this, [this](int) {
        if (OnClick)
            OnClick(this);
        Change();
    });
    if (parent != nullptr)
        colorFlat_ = parent->palette().color(parent->backgroundRole());
    resize(120, 20);
    SetStyle(csDropDown);
}

TDefineComboBox::~TDefineComboBox() {
    if (ticket_) {
        ticket_->removeEventFilter(this);
        delete ticket_.data();
    }
}

// --- Properties -------------------------------------------------------------

void TDefineComboBox::SetParentColor(bool v) {
    parentColor_ = v;
    if (v && parentWidget() != nullptr)
        colorFlat_ = parentWidget()->palette().color(parentWidget()->backgroundRole());
    ApplyColours();
}

void TDefineComboBox::SetColorFlat(const TColor& v) {
    colorFlat_ = v;
    parentColor_ = false;
    ApplyColours();
}

void TDefineComboBox::SetReadOnly(bool v) {
    readOnly_ = v;
    if (lineEdit() != nullptr)
        lineEdit()->setReadOnly(v);
}

void TDefineComboBox::SetStyle(TComboBoxStyle v) {
    style_ = v;
    const bool editable = v == csDropDown || v == csSimple;
    if (editable != isEditable()) {
        setEditable(editable);
        if (lineEdit() != nullptr) {
            lineEdit()->setFrame(false);
            lineEdit()->setReadOnly(readOnly_);
        }
    }
    ApplyColours();
    update();
}

void TDefineComboBox::SetItemIndex(int v) {
    setCurrentIndex(v < count() ? v : -1);
    Change();
}

QStringList TDefineComboBox::Items() const {
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items << itemText(i);
    return items;
}

void TDefineComboBox::SetItems(const QStringList& items) {
    const QSignalBlocker block(this);
    clear();
    addItems(items);
    setCurrentIndex(-1);
    update();
}

void TDefineComboBox::SetItemHeight(int v) {
    if (v > 0)
        itemHeight_ = v;
}

TColor TDefineComboBox::FontColor() const {
    return palette().color(QPalette::Text);
}

void TDefineComboBox::SetFontColor(const TColor& c) {
    QPalette pal = palette();
    pal.setColor(QPalette::Text, c);
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::ButtonText, c);
    setPalette(pal);
    ApplyColours();
}

void TDefineComboBox::Change() {
    update();
    if (OnChange)
        OnChange(this);
}

// --- Colours ----------------------------------------------------------------

TColor TDefineComboBox::CurrentBackground() const {
    if (hasFocus() || dropped_)
        return colorFocued_;
    if (hovered_) {
        // Hovering lights the box only while no flat combo box has the focus.
        if (qobject_cast<TDefineComboBox*>(QApplication::focusWidget()) == nullptr)
            return colorFocued_;
    }
    return colorFlat_;
}

// The background also reaches the edit field and the drop-down list.
void TDefineComboBox::ApplyColours() {
    const QColor bg = CurrentBackground();
    const QColor fg = FontColor();
    if (lineEdit() != nullptr) {
        QPalette pal = lineEdit()->palette();
        pal.setColor(QPalette::Base, bg);
        pal.setColor(QPalette::Text, fg);
        lineEdit()->setPalette(pal);
    }
    if (view() != nullptr) {
        QPalette pal = view()->palette();
        pal.setColor(QPalette::Base, bg);
        pal.setColor(QPalette::Window, bg);
        pal.setColor(QPalette::Text, fg);
        view()->setPalette(pal);
    }
    update();
}

// --- Painting ---------------------------------------------------------------

void TDefineComboBox::PaintTo(QPainter& p) const {
    const int w = width();
    const int h = height();
    const QColor bg = CurrentBackground();
    const bool focusedClosed = hasFocus() && !dropped_;

    // Client area up to the strip left of the arrow button.
    p.fillRect(Span(0, 0, w - 20, h), bg);
    p.fillRect(Span(w - 20, 0, w - kArrowWidth, h), bg);

    // Content: the chosen item's text in the text area.
    if (style_ != csDropDown && style_ != csSimple) {
        const QRect area = Span(3, 3, w - 21, h - 3);
        QColor textColour =
            isEnabled() ? FontColor() : palette().color(QPalette::Disabled, QPalette::Text);
        if (focusedClosed) {
            p.fillRect(area, palette().color(QPalette::Highlight));
            textColour = palette().color(QPalette::HighlightedText);
        }
        p.save();
        p.setClipRect(area);
        p.setFont(font());
        p.setPen(textColour);
        p.drawText(area.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   currentText());
        p.restore();
    }

    // The strip beside the arrow button, and the focus frame.
    if (style_ == csDropDown && dropped_) {
        FrameRect(p, Span(2, 2, w - 19, h - 2), palette().color(QPalette::Base));
    } else if (style_ != csSimple) {
        p.fillRect(Span(w - 26, 3, w - 21, h - 3),
                   focusedClosed ? palette().color(QPalette::Highlight) : bg);
        if (focusedClosed)
            FrameRect(p, Span(3, 3, w - 21, h - 3), palette().color(QPalette::Highlight));
    }

    // Frame: border, then two rings in the background colour.
    const QRect box = Span(0, 0, w - 17, h);
    FrameRect(p, box, colorBorder_);
    FrameRect(p, box.adjusted(1, 1, -1, -1), bg);
    FrameRect(p, box.adjusted(2, 2, -2, -2), bg);

    if (style_ == csSimple)
        return;
    // Arrow button.
    const QRect button = Span(w - kArrowWidth, 0, w, h);
    p.fillRect(button, colorArrowBackground_);
    FrameRect(p, button, colorBorder_);

    // Triangle, pointing down while the list is closed.
    const int x0 = (w - kArrowWidth) + kArrowWidth / 2 - 6;
    const int y0 = h / 2 - 1;
    auto triangle = [&](int ox, int oy, const QColor& c) {
        for (int i = 0; i <= 2; ++i) {
            const int row = dropped_ ? y0 + 2 - i : y0 + i;
            p.fillRect(Span(x0 + 4 + i + ox, row + oy, x0 + 9 - i + ox, row + oy + 1), c);
        }
    };
    if (isEnabled()) {
        triangle(0, 0, colorArrow_);
    } else {
        triangle(1, 1, QColor(255, 255, 255));
        triangle(0, 0, QColor(128, 128, 128));
    }
}

void TDefineComboBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTo(p);
}

// --- Events -----------------------------------------------------------------

bool TDefineComboBox::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
        SyncTicket();
        break;
    case QEvent::ParentChange:
        if (ticket_) {
            ticket_->setParent(parentWidget());
            if (parentWidget() != nullptr)
                ticket_->setVisible(true);
        }
        SyncTicket();
        PlaceTicket();
        if (parentColor_ && parentWidget() != nullptr)
            colorFlat_ = parentWidget()->palette().color(parentWidget()->backgroundRole());
        ApplyColours();
        break;
    default:
        break;
    }
    return QComboBox::event(e);
}

void TDefineComboBox::focusInEvent(QFocusEvent* e) {
    QComboBox::focusInEvent(e);
    ApplyColours();
    if (OnEnter)
        OnEnter(this);
}

void TDefineComboBox::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    ApplyColours();
    if (OnExit)
        OnExit(this);
}

void TDefineComboBox::enterEvent(QEnterEvent* e) {
    QComboBox::enterEvent(e);
    if (QApplication::activeWindow() != nullptr) {
        hovered_ = true;
        ApplyColours();
    }
}

void TDefineComboBox::leaveEvent(QEvent* e) {
    QComboBox::leaveEvent(e);
    hovered_ = false;
    ApplyColours();
}

void TDefineComboBox::keyPressEvent(QKeyEvent* e) {
    int key = e->key();
    if (OnKeyDown) {
        OnKeyDown(this, key, ControlEvents::ModifiersOf(e));
        if (key == 0)
            return;
    }
    const QString text = e->text();
    const bool typed = !text.isEmpty() && text.at(0).isPrint() &&
                       !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed) {
        QChar ch = text.at(0);
        if (OnKeyPress) {
            OnKeyPress(this, ch);
            if (ch.isNull())
                return;
        }
        if (readOnly_) {
            QApplication::beep();
            return;
        }
    }
    QComboBox::keyPressEvent(e);
}

void TDefineComboBox::keyReleaseEvent(QKeyEvent* e) {
    int key = e->key();
    if (OnKeyUp) {
        OnKeyUp(this, key, ControlEvents::ModifiersOf(e));
        if (key == 0)
            return;
    }
    QComboBox::keyReleaseEvent(e);
}

void TDefineComboBox::mousePressEvent(QMouseEvent* e) {
    QComboBox::mousePressEvent(e);
}

void TDefineComboBox::mouseDoubleClickEvent(QMouseEvent* e) {
    QComboBox::mouseDoubleClickEvent(e);
    if (OnDblClick)
        OnDblClick(this);
}

void TDefineComboBox::moveEvent(QMoveEvent* e) {
    QComboBox::moveEvent(e);
    PlaceTicket();
}

void TDefineComboBox::resizeEvent(QResizeEvent* e) {
    QComboBox::resizeEvent(e);
    if (lineEdit() != nullptr)
        lineEdit()->setGeometry(Span(3, 3, width() - 21, height() - 3));
    PlaceTicket();
}

void TDefineComboBox::changeEvent(QEvent* e) {
    QComboBox::changeEvent(e);
    switch (e->type()) {
    case QEvent::FontChange:
        // A new font rebuilds the list with the default row height; the
        // rows still grow to fit the font (see TFlatItemDelegate).
        itemHeight_ = 13;
        break;
    case QEvent::EnabledChange:
        SyncTicket();
        update();
        break;
    case QEvent::LayoutDirectionChange:
        SyncTicket();
        break;
    case QEvent::PaletteChange:
        if (parentColor_ && parentWidget() != nullptr) {
            const QColor c = parentWidget()->palette().color(parentWidget()->backgroundRole());
            if (c != colorFlat_) {
                colorFlat_ = c;
                ApplyColours();
            }
        }
        break;
    default:
        break;
    }
}

void TDefineComboBox::showPopup() {
    if (OnDropDown)
        OnDropDown(this);
    dropped_ = true;
    ApplyColours();
    QComboBox::showPopup();
}

void TDefineComboBox::hidePopup() {
    QComboBox::hidePopup();
    dropped_ = false;
    ApplyColours();
    if (OnCloseUp)
        OnCloseUp(this);
}

bool TDefineComboBox::eventFilter(QObject* watched, QEvent* e) {
    // The type is tested first: while the ticket is being destroyed it is no
    // longer a QLabel, and its events must not touch the pointer.
    if (e->type() == QEvent::Resize && ticket_ && watched == ticket_.data())
        PlaceTicket();
    return QComboBox::eventFilter(watched, e);
}

// --- Ticket -----------------------------------------------------------------

void TDefineComboBox::PlaceTicket() {
    if (!ticket_)
        return;
    const QRect g = geometry();
    const int w = ticket_->width();
    const int h = ticket_->height();
    const int s = ticketSpace_;
    QPoint at;
    switch (ticketPosition_) {
    case poLeft:
        at = QPoint(g.left() - w - s, g.top() + (g.height() - h) / 2);
        break;
    case poTop:
        at = QPoint(g.left(), g.top() - h - s);
        break;
    case poRight:
        at = QPoint(g.left() + g.width() + s, g.top() + (g.height() - h) / 2);
        break;
    case poBottom:
        at = QPoint(g.left(), g.top() + g.height() + s);
        break;
    }
    ticket_->move(at);
}

void TDefineComboBox::SyncTicket() {
    if (!ticket_)
        return;
    ticket_->setVisible(!isHidden() && ticket_->parentWidget() != nullptr);
    ticket_->setEnabled(isEnabled());
    ticket_->setLayoutDirection(layoutDirection());
}
