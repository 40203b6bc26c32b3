#include "controls/MyHemibtn.h"

#include <QIODevice>
#include <QMouseEvent>
#include <QPainter>

TMyRoundButton::TMyRoundButton(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    resize(25, 25);
}

TMyRoundButton::~TMyRoundButton() = default;

void TMyRoundButton::SetAllowAllUp(bool v) {
    allowAllUp_ = v;
}
void TMyRoundButton::SetAttenControl(double v) {
    attenControl_ = v;
}
void TMyRoundButton::SetBevelInner(THemiBevel v) {
    bevelInner_ = v;
}
void TMyRoundButton::SetBevelOuter(THemiBevel v) {
    bevelOuter_ = v;
}
void TMyRoundButton::SetBevelWidth(int v) {
    if (v > 0)
        bevelWidth_ = v;
}
void TMyRoundButton::SetBorderColor(const TColor& v) {
    borderColor_ = v;
}
void TMyRoundButton::SetBorderStyle(TBorderStyle v) {
    borderStyle_ = v;
}
void TMyRoundButton::SetCaption(const QString& v) {
    caption_ = v;
}
void TMyRoundButton::SetDown(bool v) {
    down_ = v;
}
void TMyRoundButton::SetFaceColor(const TColor& v) {
    faceColor_ = v;
}
void TMyRoundButton::SetFaceShaded(bool v) {
    faceShaded_ = v;
}
void TMyRoundButton::SetFaceTransparent(bool v) {
    faceTransparent_ = v;
}
void TMyRoundButton::SetFont(const QFont& f, const TColor& color) {
    font_ = f;
    fontColor_ = color;
}
void TMyRoundButton::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    glyphValid_ = !glyph.isNull();
}
void TMyRoundButton::SetGlyphIndex(int v) {
    glyphIndex_ = v;
}
void TMyRoundButton::SetGlyphShaded(bool v) {
    glyphShaded_ = v;
}
void TMyRoundButton::SetGlyphMapped(bool v) {
    glyphMapped_ = v;
}
void TMyRoundButton::SetGlyphTransparent(bool v) {
    glyphTransparent_ = v;
}
void TMyRoundButton::SetHint(const QString& v) {
    hint_ = v;
}
void TMyRoundButton::SetShowHint(bool v) {
    showHint_ = v;
}
void TMyRoundButton::SetNumGlyphs(int v) {
    numGlyphs_ = v;
}
void TMyRoundButton::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, width, height);
}
void TMyRoundButton::BeginLoading() {
    loading_ = true;
}
void TMyRoundButton::EndLoading() {
    loading_ = false;
}
bool TMyRoundButton::SaveStoredForm(QIODevice&) const {
    return false;
}
bool TMyRoundButton::LoadStoredForm(QIODevice&) {
    return false;
}
QByteArray TMyRoundButton::ImageToBlock(const QImage&) {
    return {};
}
bool TMyRoundButton::ReadBlock(QIODevice&, QImage*) {
    return false;
}
bool TMyRoundButton::InsideEllipse(int, int) const {
    return false;
}
void TMyRoundButton::Render() {}
void TMyRoundButton::PaintTo(QPainter&) const {}
void TMyRoundButton::paintEvent(QPaintEvent*) {}
void TMyRoundButton::resizeEvent(QResizeEvent*) {}
void TMyRoundButton::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
}
void TMyRoundButton::mousePressEvent(QMouseEvent*) {}
void TMyRoundButton::mouseDoubleClickEvent(QMouseEvent*) {}
void TMyRoundButton::mouseMoveEvent(QMouseEvent*) {}
void TMyRoundButton::mouseReleaseEvent(QMouseEvent*) {}
void TMyRoundButton::enterEvent(QEnterEvent*) {}
void TMyRoundButton::leaveEvent(QEvent*) {}
