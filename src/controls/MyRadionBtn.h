// TMyRadionBtn: a self-drawn radio button: a small box (circle, square or
// diamond) with a two-colour 3-D outline, a filled check shape when
// checked, and a caption beside it. It paints only the box and the caption
// (unless Transparent is false), so the parent shows through.
//
// Event rules the settings loaders rely on:
//  - SetChecked() by the program never raises OnClick; checking a button
//    unchecks every other TMyRadionBtn with the same GroupIndex on the same
//    parent widget (buttons on different parents never interact);
//  - a left press and release inside raises OnClick BEFORE the button
//    becomes checked (the handler still sees the old Checked value);
//  - a release of any button inside checks it, so a right-button release
//    checks without OnClick; clicking a checked button raises OnClick only;
//  - the caption's "&" accelerator raises OnClick, then checks;
//  - a disabled button ignores presses and releases and raises nothing.
#pragma once

#include "controls/ControlBase.h"

#include <QFont>
#include <QString>

#include <cstdint>

enum TButtonShape { btRound, btSquare, btDiamond };

class TMyRadionBtn : public TPointerControl {
    Q_OBJECT
public:
    explicit TMyRadionBtn(QWidget* parent = nullptr);
    ~TMyRadionBtn() override;

    // --- Properties --------------------------------------------------------
    bool AutoGray() const { return autoGray_; }
    void SetAutoGray(bool v) { autoGray_ = v; }
    unsigned BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(unsigned v) { SetProperty(borderWidth_, v); }
    QString Caption() const { return caption_; }
    void SetCaption(const QString& v);
    // The text shown and whose "&" letter is the accelerator; empty shows
    // Caption. A caption that is also a stored value (the end mode, the
    // sound channel) stays untranslated in Caption while the window shows
    // its translation here.
    QString ShownCaption() const { return shown_.isEmpty() ? caption_ : shown_; }
    void SetShownCaption(const QString& v);
    // The caption font is the widget's font (inherited from the parent until
    // set, like ParentFont); its colour is the palette's WindowText.
    QFont Font() const { return font(); }
    void SetFont(const QFont& f) { setFont(f); }
    TColor FontColor() const;
    void SetFontColor(const TColor& c);
    // PopUpMenu (popped up below the button by any press), Enabled, Visible,
    // Hint and ShowHint: see TPointerControl.
    bool ShowPressed() const { return showPressed_; }
    void SetShowPressed(bool v) { showPressed_ = v; }
    int Spacing() const { return spacing_; }
    void SetSpacing(int v) { SetProperty(spacing_, v); }
    TTextAlign TextAlign() const { return textAlign_; }
    void SetTextAlign(TTextAlign v) {
        SetProperty(textAlign_, v);
    } // taLeft or taRight (taCenter acts as taLeft)
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) { SetProperty(transparent_, v); }
    bool Movable() const { return movable_; }
    void SetMovable(bool v) { movable_ = v; }
    uint8_t GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(uint8_t v) { groupIndex_ = v; }
    bool Checked() const { return checked_; }
    void SetChecked(bool v);
    TColor CheckColor() const { return checkColor_; }
    void SetCheckColor(const TColor& v) { SetProperty(checkColor_, v); }
    TColor Color_High() const { return colorHigh_; }
    void SetColor_High(const TColor& v) { SetProperty(colorHigh_, v); }
    TColor Color_Low() const { return colorLow_; }
    void SetColor_Low(const TColor& v) { SetProperty(colorLow_, v); }
    TColor BkColor() const { return bkColor_; }
    void SetBkColor(const TColor& v) { SetProperty(bkColor_, v); }
    TButtonShape ButtonShape() const { return buttonShape_; }
    void SetButtonShape(TButtonShape v) { SetProperty(buttonShape_, v); }
    TTextStyle TextStyle() const { return textStyle_; }
    void SetTextStyle(TTextStyle v) { SetProperty(textStyle_, v); }
    // Free integer for the owner (the channel buttons carry 99).
    int Tag() const { return tag_; }
    void SetTag(int v) { tag_ = v; }
    bool MouseInside() const { return mouseInside_; }

    // Box size for the current font: S = ("JR" height div 2 - 1) * 2.
    int BoxSize() const;
    // Paints the whole control onto p (the control's top-left at (0, 0)).
    void PaintTo(QPainter& p) const;

    // OnClick and the pointer events: see TPointerControl.

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void Release(TMouseButton button, TShiftState shift, int x, int y);
    void Press(TMouseButton button, TShiftState shift, int x, int y);
    void UpdateShortcut();
    void RepaintNow();

    bool autoGray_ = true;
    unsigned borderWidth_ = 2;
    QString caption_ = QStringLiteral("RadioButton");
    QString shown_;
    bool showPressed_ = true;
    int spacing_ = 2;
    TTextAlign textAlign_ = taLeft;
    bool transparent_ = true;
    bool movable_ = false;
    uint8_t groupIndex_ = 0;
    bool checked_ = false;
    TColor checkColor_{255, 128, 0};
    TColor colorHigh_{224, 224, 224};
    TColor colorLow_{180, 180, 180};
    TColor bkColor_;
    TButtonShape buttonShape_ = btRound;
    TTextStyle textStyle_ = txRaised;
    int tag_ = 0;
    bool mouseInside_ = false;
    int shortcutId_ = 0;
    bool clickPending_ = false;
};
