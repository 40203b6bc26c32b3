// TTransTrackBar: a horizontal value slider over a floating-point range,
// painted as three pieces on one band: the slider part (left of the thumb),
// the thumb and the bar part (right of the thumb). It paints only those
// pieces (and an optional frame); elsewhere its parent shows through.
//
// Event rules the settings loaders rely on:
//  - every assignment of Position raises OnChange, also when the value is
//    unchanged (SetPosition(p) clamps only at MaxValue);
//  - a click on the band and every drag step raise OnChange as well;
//  - SetMaxValue / SetMinValue never touch Position and raise nothing;
//  - a disabled slider handles no pointer input and raises no pointer event.
// OnMouseDown / OnMouseMove / OnMouseUp are raised before the control's own
// reaction; a second press while one is being followed is ignored entirely.
// A right-button press pops up PopUpMenu (with its "Tag" property holding
// this control while it runs).
#pragma once

#include "controls/ControlBase.h"

#include <QFont>
#include <QString>

#include <cstdint>

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TDrawDirection { ddUp, ddRight };

class TTransTrackBar : public TPointerControl {
    Q_OBJECT
public:
    explicit TTransTrackBar(QWidget* parent = nullptr);
    ~TTransTrackBar() override;

    // --- Properties --------------------------------------------------------
    QString Caption() const { return caption_; }
    void SetCaption(const QString& v) { SetProperty(caption_, v); }
    bool ShowFrame() const { return showFrame_; }
    void SetShowFrame(bool v) { SetProperty(showFrame_, v, TSetWhen::Always); }
    // PopUpMenu, Enabled, Visible, Hint and ShowHint: see TPointerControl.
    // Copies name, size and colour into the control's own font and into
    // FontName / FontSize / FontColor. Not drawn.
    QFont Font() const { return font_; }
    void SetFont(const QFont& f, const TColor& color = TColor(0, 0, 0));
    bool Movable() const { return movable_; }
    void SetMovable(bool v) { movable_ = v; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) { SetProperty(transparent_, v); }
    bool bkTransParent() const { return transparent_; }
    void SetbkTransParent(bool v) { SetTransparent(v); }
    bool GradientSlider() const { return gradientSlider_; }
    void SetGradientSlider(bool v) { SetProperty(gradientSlider_, v, TSetWhen::Always); }
    bool GradientBar() const { return gradientBar_; }
    void SetGradientBar(bool v) { SetProperty(gradientBar_, v, TSetWhen::Always); }
    bool GradientThum() const { return gradientThum_; }
    void SetGradientThum(bool v) { SetProperty(gradientThum_, v, TSetWhen::Always); }
    bool TransParentSlider() const { return transParentSlider_; }
    void SetTransParentSlider(bool v) { SetProperty(transParentSlider_, v, TSetWhen::Always); }
    bool TransParentBar() const { return transParentBar_; }
    void SetTransParentBar(bool v) { SetProperty(transParentBar_, v, TSetWhen::Always); }
    bool TransParentThum() const { return transParentThum_; }
    void SetTransParentThum(bool v) { SetProperty(transParentThum_, v, TSetWhen::Always); }
    TColor ColorFace() const { return colorFace_; }
    void SetColorFace(const TColor& v) { SetProperty(colorFace_, v, TSetWhen::Always); }
    TColor ColorSlider() const { return colorSlider_; }
    void SetColorSlider(const TColor& v) { SetProperty(colorSlider_, v, TSetWhen::Always); }
    TColor ColorThum() const { return colorThum_; }
    void SetColorThum(const TColor& v) { SetProperty(colorThum_, v, TSetWhen::Always); }
    TColor ColorBar() const { return colorBar_; }
    void SetColorBar(const TColor& v) { SetProperty(colorBar_, v, TSetWhen::Always); }
    TColor ColorSliderFrameLT() const { return colorSliderFrameLT_; }
    void SetColorSliderFrameLT(const TColor& v) {
        SetProperty(colorSliderFrameLT_, v, TSetWhen::Always);
    }
    TColor ColorSliderFrameRB() const { return colorSliderFrameRB_; }
    void SetColorSliderFrameRB(const TColor& v) {
        SetProperty(colorSliderFrameRB_, v, TSetWhen::Always);
    }
    TColor ColorBarFrameLT() const { return colorBarFrameLT_; }
    void SetColorBarFrameLT(const TColor& v) { SetProperty(colorBarFrameLT_, v, TSetWhen::Always); }
    TColor ColorBarFrameRB() const { return colorBarFrameRB_; }
    void SetColorBarFrameRB(const TColor& v) { SetProperty(colorBarFrameRB_, v, TSetWhen::Always); }
    TColor ColorThumFrameLT() const { return colorThumFrameLT_; }
    void SetColorThumFrameLT(const TColor& v) {
        SetProperty(colorThumFrameLT_, v, TSetWhen::Always);
    }
    TColor ColorThumFrameRB() const { return colorThumFrameRB_; }
    void SetColorThumFrameRB(const TColor& v) {
        SetProperty(colorThumFrameRB_, v, TSetWhen::Always);
    }
    TColor ColorFaceFrameLT() const { return colorFaceFrameLT_; }
    void SetColorFaceFrameLT(const TColor& v) {
        SetProperty(colorFaceFrameLT_, v, TSetWhen::Always);
    }
    TColor ColorFaceFrameRB() const { return colorFaceFrameRB_; }
    void SetColorFaceFrameRB(const TColor& v) {
        SetProperty(colorFaceFrameRB_, v, TSetWhen::Always);
    }
    TPenStyle PenStyle() const { return penStyle_; }
    void SetPenStyle(TPenStyle v) { SetProperty(penStyle_, v, TSetWhen::Always); }
    QString FontName() const { return font_.family(); }
    void SetFontName(const QString& v);
    QString sID() const { return sID_; }
    void SetsID(const QString& v) { sID_ = v; }
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(const TColor& v) { SetProperty(fontColor_, v, TSetWhen::Always); }
    int FontSize() const { return fontSize_; }
    void SetFontSize(int points);
    TDrawDirection DrawDirection() const { return drawDirection_; }
    void SetDrawDirection(TDrawDirection v) { SetProperty(drawDirection_, v, TSetWhen::Always); }
    uint32_t ID() const { return id_; }
    void SetID(uint32_t v) { id_ = v; }
    bool OrgFontSize() const { return orgFontSize_; }
    void SetOrgFontSize(bool v) { SetProperty(orgFontSize_, v); }
    TTextAlign TextAlign() const { return textAlign_; }
    void SetTextAlign(TTextAlign v) { SetProperty(textAlign_, v); }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double v);
    double MinValue() const { return minValue_; }
    void SetMinValue(double v);
    double Position() const { return position_; }
    void SetPosition(double v);
    int BarHeight() const { return barHeight_; }
    void SetBarHeight(int v) { SetProperty(barHeight_, v, TSetWhen::Always); }
    int ThumWidth() const { return thumWidth_; }
    void SetThumWidth(int v) { SetProperty(thumWidth_, v, TSetWhen::Always); }
    uint8_t Fixed() const { return fixed_; }
    void SetFixed(uint8_t v);
    uint8_t PartNumber() const { return partNumber_; }
    void SetPartNumber(uint8_t v);
    TTextStyle TextStyle() const { return textStyle_; }
    void SetTextStyle(TTextStyle v) { SetProperty(textStyle_, v, TSetWhen::Always); }

    // --- Events (OnClick and the pointer events: see TPointerControl) -----
    TNotifyEvent OnChange;
    // True while OnChange is raised for a step of a thumb drag (not for a
    // click on the band or an assignment): a handler can put off costly work
    // until the drag ends, which OnMouseUp reports.
    bool Dragging() const { return dragging_; }

    // --- Geometry helpers (control coordinates) ----------------------------
    // Left column of the thumb for the current Position.
    int ThumbLeft() const;
    // Value for a pointer at column x.
    double ValueAt(int x) const;

    // Paints the whole control onto p (the control's top-left at (0, 0)).
    void PaintTo(QPainter& p) const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void Changed();
    void PointerDown(TMouseButton button, TShiftState shift, int x, int y);
    void PointerUp(TMouseButton button, TShiftState shift, int x, int y);
    void RepaintNow();
    bool OnThumb(int x, int y) const;

    QString caption_;
    bool showFrame_ = false;
    QFont font_;
    TColor fontColor_{0, 0, 0};
    int fontSize_ = 9;
    bool movable_ = false;
    bool transparent_ = true;
    bool gradientSlider_ = false;
    bool gradientBar_ = false;
    bool gradientThum_ = true;
    bool transParentSlider_ = false;
    bool transParentBar_ = false;
    bool transParentThum_ = false;
    TColor colorFace_;
    TColor colorSlider_{0, 0, 255};
    TColor colorThum_{255, 255, 0};
    TColor colorBar_{64, 64, 64};
    TColor colorSliderFrameLT_{192, 192, 192};
    TColor colorSliderFrameRB_{128, 128, 128};
    TColor colorBarFrameLT_{192, 192, 192};
    TColor colorBarFrameRB_{128, 128, 128};
    TColor colorThumFrameLT_{192, 192, 192};
    TColor colorThumFrameRB_{128, 128, 128};
    TColor colorFaceFrameLT_{255, 255, 255};
    TColor colorFaceFrameRB_{192, 192, 192};
    TPenStyle penStyle_ = psSolid;
    QString sID_;
    TDrawDirection drawDirection_ = ddUp;
    uint32_t id_ = 0;
    bool orgFontSize_ = false;
    TTextAlign textAlign_ = taCenter;
    double maxValue_ = 100.0;
    double minValue_ = 0.0;
    double position_ = 50.0;
    int barHeight_ = 16;
    int thumWidth_ = 16;
    uint8_t fixed_ = 2;
    uint8_t partNumber_ = 4;
    TTextStyle textStyle_ = txRaised;

    bool pressed_ = false;
    bool dragging_ = false;
    bool clickPending_ = false;
    int lastX_ = 0;
    int lastY_ = 0;
};
