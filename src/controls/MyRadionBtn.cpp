#include "controls/MyRadionBtn.h"

#include <QMouseEvent>
#include <QPainter>

TMyRadionBtn::TMyRadionBtn(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    resize(81, 21);
}

TMyRadionBtn::~TMyRadionBtn() = default;

void TMyRadionBtn::SetBorderWidth(unsigned v) {
    borderWidth_ = v;
}
void TMyRadionBtn::SetCaption(const QString& v) {
    caption_ = v;
}
TColor TMyRadionBtn::FontColor() const {
    return palette().color(QPalette::WindowText);
}
void TMyRadionBtn::SetFontColor(const TColor& c) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, c);
    setPalette(pal);
}
void TMyRadionBtn::SetHint(const QString& v) {
    hint_ = v;
}
void TMyRadionBtn::SetShowHint(bool v) {
    showHint_ = v;
}
void TMyRadionBtn::SetSpacing(int v) {
    spacing_ = v;
}
void TMyRadionBtn::SetTextAlign(TTextAlign v) {
    textAlign_ = v;
}
void TMyRadionBtn::SetTransparent(bool v) {
    transparent_ = v;
}
void TMyRadionBtn::SetChecked(bool v) {
    checked_ = v;
}
void TMyRadionBtn::SetCheckColor(const TColor& v) {
    checkColor_ = v;
}
void TMyRadionBtn::SetColor_High(const TColor& v) {
    colorHigh_ = v;
}
void TMyRadionBtn::SetColor_Low(const TColor& v) {
    colorLow_ = v;
}
void TMyRadionBtn::SetBkColor(const TColor& v) {
    bkColor_ = v;
}
void TMyRadionBtn::SetButtonShape(TButtonShape v) {
    buttonShape_ = v;
}
void TMyRadionBtn::SetTextStyle(TTextStyle v) {
    textStyle_ = v;
}
int TMyRadionBtn::BoxSize() const {
    return 0;
}
void TMyRadionBtn::PaintTo(QPainter&) const {}
bool TMyRadionBtn::event(QEvent* e) {
    return QWidget::event(e);
}
void TMyRadionBtn::paintEvent(QPaintEvent*) {}
void TMyRadionBtn::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
}
void TMyRadionBtn::mousePressEvent(QMouseEvent*) {}
void TMyRadionBtn::mouseDoubleClickEvent(QMouseEvent*) {}
void TMyRadionBtn::mouseMoveEvent(QMouseEvent*) {}
void TMyRadionBtn::mouseReleaseEvent(QMouseEvent*) {}
void TMyRadionBtn::enterEvent(QEnterEvent*) {}
void TMyRadionBtn::leaveEvent(QEvent*) {}
