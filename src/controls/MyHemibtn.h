// TMyRoundButton: an elliptical push button showing a glyph on a face that
// may be shaded like a hemisphere, inside optional bevel rings shaded like a
// torus. It keeps three rendered images of its own size (ImageOut up,
// ImageIn down, ImageMask: black = button pixel, white = see-through) and
// paints only by copying the up or down image through the mask, so the
// parent shows through everywhere else.
//
// Event rules:
//  - OnClick is raised by a left press and release inside the ellipse (the
//    bevel rings are not clickable), while Down is still true; the button
//    goes up (or stays down in a group) after the handler returns;
//  - OnMouseDown only for presses inside the ellipse, OnMouseUp for every
//    release, OnMouseMove for every move; a disabled button raises nothing;
//  - setting Down by the program raises nothing; property setters raise
//    nothing.
// Buttons with the same non-zero GroupIndex under the same top-level window
// form a group in which at most one is down.
//
// Stored form (SaveStoredForm / LoadStoredForm): a one-byte GlyphValid, then
// ImageOut, ImageIn, ImageMask and (only when GlyphValid) the glyph, each a
// data block: 32-bit little-endian length + a complete uncompressed 32-bit
// BMP file (54-byte headers, rows bottom-up). A 40 x 40 image is 6454 bytes.
// A loaded button paints its stored images and renders nothing until a
// property or its size changes afterwards.
#pragma once

#include "controls/ControlBase.h"

#include <QFont>
#include <QImage>
#include <QString>

class QIODevice;

enum THemiBevel { hbNone, hbLowered, hbRaised };
enum TBorderStyle { bsNone, bsSingle };

class TMyRoundButton : public TPointerControl {
    Q_OBJECT
public:
    explicit TMyRoundButton(QWidget* parent = nullptr);
    ~TMyRoundButton() override;

    // --- Properties --------------------------------------------------------
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool v);
    double AttenControl() const { return attenControl_; }
    void SetAttenControl(double v) { SetProperty(attenControl_, v, &TMyRoundButton::Rerender); }
    THemiBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(THemiBevel v) { SetProperty(bevelInner_, v, &TMyRoundButton::Rerender); }
    THemiBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(THemiBevel v) { SetProperty(bevelOuter_, v, &TMyRoundButton::Rerender); }
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v); // values <= 0 are ignored
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(const TColor& v) {
        SetProperty(borderColor_, v, &TMyRoundButton::Rerender);
    }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle v) { SetProperty(borderStyle_, v, &TMyRoundButton::Rerender); }
    QString Caption() const { return caption_; }
    void SetCaption(const QString& v) { SetProperty(caption_, v, &TMyRoundButton::Rerender); }
    bool Down() const { return down_; }
    void SetDown(bool v); // paints at once, no re-render
    TColor FaceColor() const { return faceColor_; }
    void SetFaceColor(const TColor& v) { SetProperty(faceColor_, v, &TMyRoundButton::Rerender); }
    bool FaceShaded() const { return faceShaded_; }
    void SetFaceShaded(bool v) { SetProperty(faceShaded_, v, &TMyRoundButton::Rerender); }
    bool FaceTransparent() const { return faceTransparent_; }
    void SetFaceTransparent(bool v) { SetProperty(faceTransparent_, v, &TMyRoundButton::Rerender); }
    QFont Font() const { return font_; }
    void SetFont(const QFont& f, const TColor& color = TColor(0, 0, 0));
    TColor FontColor() const { return fontColor_; }
    // The glyph held (a null image when GlyphValid is false). Assigning a
    // null image clears the glyph; a non-null one is copied, NumGlyphs
    // becomes width / height when that divides exactly (else 1) and
    // GlyphIndex 1.
    QImage Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);
    bool GlyphValid() const { return glyphValid_; }
    int GlyphIndex() const { return glyphIndex_; }
    void SetGlyphIndex(int v); // 1..NumGlyphs (any positive while loading)
    bool GlyphShaded() const { return glyphShaded_; }
    void SetGlyphShaded(bool v) { SetProperty(glyphShaded_, v, &TMyRoundButton::Rerender); }
    bool GlyphMapped() const { return glyphMapped_; }
    void SetGlyphMapped(bool v) { SetProperty(glyphMapped_, v, &TMyRoundButton::Rerender); }
    bool GlyphTransparent() const { return glyphTransparent_; }
    void SetGlyphTransparent(bool v) {
        SetProperty(glyphTransparent_, v, &TMyRoundButton::Rerender);
    }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v) { groupIndex_ = v; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int v) { SetProperty(numGlyphs_, v, &TMyRoundButton::Rerender); }
    // PopUpMenu (popped up by a right-button press inside the ellipse, with
    // its "Tag" property holding this button while it runs), Enabled,
    // Visible, Hint and ShowHint: see TPointerControl.

    // Moves and resizes; re-renders when the size differs from the one last
    // rendered for (not while loading).
    void SetBounds(int left, int top, int width, int height);

    // The three rendered images (Format_RGB32, the control's size).
    QImage ImageOut() const { return imageOut_; }
    QImage ImageIn() const { return imageIn_; }
    QImage ImageMask() const { return imageMask_; }

    // --- Stored form -------------------------------------------------------
    // Loading: between BeginLoading() and EndLoading() nothing renders or
    // paints, GlyphIndex accepts any positive value and SetBounds only
    // remembers the size. LoadStoredForm() brackets itself this way.
    void BeginLoading();
    void EndLoading();
    bool Loading() const { return loading_; }
    bool SaveStoredForm(QIODevice& out) const;
    bool LoadStoredForm(QIODevice& in);
    // One data block: length + BMP file, and its reader (false when the
    // block is malformed; *image is then left unchanged).
    static QByteArray ImageToBlock(const QImage& image);
    static bool ReadBlock(QIODevice& in, QImage* image);

    // Whether (x, y) lies in the clickable ellipse.
    bool InsideEllipse(int x, int y) const;
    // Rebuilds ImageOut, ImageIn and ImageMask from the properties.
    void Render();
    // Composites the current image through the mask onto p at (0, 0).
    void PaintTo(QPainter& p) const;

    // --- Events (OnClick and the pointer events: see TPointerControl) -----
    TNotifyEvent OnDblClick;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void Rerender();
    void SizeChanged();
    void Press(TMouseButton button, TShiftState shift, int x, int y, bool dbl);
    void Release(TMouseButton button, TShiftState shift, int x, int y);
    QList<TMyRoundButton*> GroupMembers() const;

    bool allowAllUp_ = false;
    double attenControl_ = 1.0;
    THemiBevel bevelInner_ = hbNone;
    THemiBevel bevelOuter_ = hbLowered;
    int bevelWidth_ = 2;
    TColor borderColor_{128, 128, 128};
    TBorderStyle borderStyle_ = bsNone;
    QString caption_;
    bool down_ = false;
    TColor faceColor_{128, 128, 128};
    bool faceShaded_ = true;
    bool faceTransparent_ = false;
    QFont font_;
    TColor fontColor_{0, 0, 0};
    QImage glyph_;
    bool glyphValid_ = false;
    int glyphIndex_ = 1;
    bool glyphShaded_ = true;
    bool glyphMapped_ = false;
    bool glyphTransparent_ = true;
    int groupIndex_ = 0;
    int numGlyphs_ = 1;

    QImage imageOut_;
    QImage imageIn_;
    QImage imageMask_;
    int renderedW_ = -1;
    int renderedH_ = -1;
    bool loading_ = false;
    bool tracking_ = false;
    bool downAtPress_ = false;
};
