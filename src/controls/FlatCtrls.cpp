#include "controls/FlatCtrls.h"

#include <QKeyEvent>
#include <QPainter>

TDefineComboBox::TDefineComboBox(QWidget* parent) : QComboBox(parent) {
    ticket_ = new QLabel(parent);
    resize(120, 20);
}

TDefineComboBox::~TDefineComboBox() {
    delete ticket_;
}

void TDefineComboBox::SetTicketPosition(TTicketPosition v) {
    ticketPosition_ = v;
}
void TDefineComboBox::SetTicketSpace(int v) {
    ticketSpace_ = v;
}
void TDefineComboBox::SetParentColor(bool v) {
    parentColor_ = v;
}
void TDefineComboBox::SetColorArrow(const TColor& v) {
    colorArrow_ = v;
}
void TDefineComboBox::SetColorArrowBackground(const TColor& v) {
    colorArrowBackground_ = v;
}
void TDefineComboBox::SetColorBorder(const TColor& v) {
    colorBorder_ = v;
}
void TDefineComboBox::SetColorFlat(const TColor& v) {
    colorFlat_ = v;
    parentColor_ = false;
}
void TDefineComboBox::SetColorFocued(const TColor& v) {
    colorFocued_ = v;
}
void TDefineComboBox::SetReadOnly(bool v) {
    readOnly_ = v;
}
void TDefineComboBox::SetStyle(TComboBoxStyle v) {
    style_ = v;
}
void TDefineComboBox::SetItemIndex(int v) {
    setCurrentIndex(v);
    Change();
}
QStringList TDefineComboBox::Items() const {
    QStringList l;
    for (int i = 0; i < count(); ++i)
        l << itemText(i);
    return l;
}
void TDefineComboBox::SetItems(const QStringList& items) {
    clear();
    addItems(items);
    setCurrentIndex(-1);
}
void TDefineComboBox::SetItemHeight(int v) {
    itemHeight_ = v;
}
void TDefineComboBox::SetHint(const QString& v) {
    hint_ = v;
}
void TDefineComboBox::SetShowHint(bool v) {
    showHint_ = v;
}
TColor TDefineComboBox::FontColor() const {
    return palette().color(QPalette::Text);
}
void TDefineComboBox::SetFontColor(const TColor&) {}
TColor TDefineComboBox::CurrentBackground() const {
    return colorFlat_;
}
void TDefineComboBox::PaintTo(QPainter&) const {}
bool TDefineComboBox::event(QEvent* e) {
    return QComboBox::event(e);
}
void TDefineComboBox::paintEvent(QPaintEvent* e) {
    QComboBox::paintEvent(e);
}
void TDefineComboBox::focusInEvent(QFocusEvent* e) {
    QComboBox::focusInEvent(e);
}
void TDefineComboBox::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
}
void TDefineComboBox::enterEvent(QEnterEvent* e) {
    QComboBox::enterEvent(e);
}
void TDefineComboBox::leaveEvent(QEvent* e) {
    QComboBox::leaveEvent(e);
}
void TDefineComboBox::keyPressEvent(QKeyEvent* e) {
    QComboBox::keyPressEvent(e);
}
void TDefineComboBox::keyReleaseEvent(QKeyEvent* e) {
    QComboBox::keyReleaseEvent(e);
}
void TDefineComboBox::mousePressEvent(QMouseEvent* e) {
    QComboBox::mousePressEvent(e);
}
void TDefineComboBox::mouseDoubleClickEvent(QMouseEvent* e) {
    QComboBox::mouseDoubleClickEvent(e);
}
void TDefineComboBox::moveEvent(QMoveEvent* e) {
    QComboBox::moveEvent(e);
}
void TDefineComboBox::resizeEvent(QResizeEvent* e) {
    QComboBox::resizeEvent(e);
}
void TDefineComboBox::changeEvent(QEvent* e) {
    QComboBox::changeEvent(e);
}
void TDefineComboBox::showPopup() {
    QComboBox::showPopup();
}
void TDefineComboBox::hidePopup() {
    QComboBox::hidePopup();
}
bool TDefineComboBox::eventFilter(QObject* w, QEvent* e) {
    return QComboBox::eventFilter(w, e);
}
void TDefineComboBox::PlaceTicket() {}
void TDefineComboBox::SyncTicket() {}
void TDefineComboBox::ApplyColours() {}
void TDefineComboBox::ApplyHint() {}
void TDefineComboBox::Change() {
    if (OnChange)
        OnChange(this);
}
