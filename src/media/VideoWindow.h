// TVideoWindow: the video surface. A control that puts the video renderer
// into its bound graph and shows the picture over its own rectangle in the
// picture's own proportions (upright, as large as fits, centred, black
// bars beside or above and below), also when the control is larger than its
// window or placed at negative coordinates (the parts outside the window are
// clipped by it, which crops the picture's edges). A picture within 2 % of
// the control's shape, or any video picture with Stretched on, is stretched
// over the full rectangle. Sound with a cover shows the cover, fitted the
// same way. The control paints the frames itself: each
// decoded frame is converted, scaled (zoom and window size alike) and
// mirrored in one pass straight into the window's own image, only where it
// is visible and being repainted. Mouse input on the picture is the
// control's own.
//
// The one place a graphics-card path would be chosen is MemberNotify's
// mnAdding, when the renderer is made: where a hardware OpenGL context
// exists, a renderer whose frames are uploaded as textures and converted,
// scaled, cropped and mirrored by a shader (the design is in
// GstVideoRenderer.cpp), painted by a QOpenGLWidget in place of this
// control's own painting. The probe for it (a QOpenGLContext made, its
// GL_RENDERER not a software rasteriser) loads the GL driver, tens of MB
// with a software one, so it belongs only in a build that has such a
// renderer; none is built today, and on machines without a graphics card
// (software GL costs 2 to 4.5 times the CPU of this path) this path is the
// right one anyway.
#pragma once

#include "media/FilterGraph.h"

#include <QWidget>

#include <functional>
#include <memory>

class QPainter;

enum TVideoMode { vmNormal, vmVMR };
enum TVMRVideoMode { vmrWindowed, vmrWindowless, vmrRenderless };
enum TVMRPreference {
    vpForceOffscreen = 1,
    vpForceOverlays = 2,
    vpForceMixer = 4,
    vpDoNotRenderColorKeyAndBorder = 8
};

// Settings for the vmVMR renderer only (not used by this program).
class TVMROptions {
public:
    TVMRVideoMode Mode() const { return FMode; }
    void SetMode(TVMRVideoMode value) { FMode = value; }
    // 1..16; a value outside becomes 1.
    int Streams() const { return FStreams; }
    void SetStreams(int value) { FStreams = (value < 1 || value > 16) ? 1 : value; }
    // A set of TVMRPreference bits.
    int Preferences() const { return FPreferences; }
    void SetPreferences(int value) { FPreferences = value; }
    bool KeepAspectRatio() const { return FKeepAspectRatio; }
    void SetKeepAspectRatio(bool value) { FKeepAspectRatio = value; }

private:
    TVMRVideoMode FMode = vmrWindowed;
    int FStreams = 4;
    int FPreferences = vpForceMixer;
    bool FKeepAspectRatio = true;
};

class TVideoWindow : public QWidget,
                     public IGraphMember,
                     public IGraphListener,
                     public TGraphBound {
    Q_OBJECT
public:
    // A new control is 160 x 120, black, and takes the keyboard focus.
    explicit TVideoWindow(QWidget* parent = nullptr);
    ~TVideoWindow() override;

    // FilterGraph: the control stands in the graph as member and listener.
    TVideoMode Mode() const { return FMode; }
    void SetMode(TVideoMode value) { FMode = value; }
    TVMROptions& VMROptions() { return FVMROptions; }
    bool FullScreen() const { return FFullScreen; }
    void SetFullScreen(bool value) { FFullScreen = value; }
    bool FullScreenTopMost() const { return FFullScreenTopMost; }
    void SetFullScreenTopMost(bool value) { FFullScreenTopMost = value; }

    // Events, in the control's own pixel coordinates.
    std::function<void(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                       int y)>
        OnMouseDown;
    std::function<void(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                       int y)>
        OnMouseUp;
    std::function<void(QObject* sender, Qt::KeyboardModifiers shift, int x, int y)> OnMouseMove;
    // Raised after the control has painted itself.
    std::function<void(QObject* sender)> OnPaint;

    // Shows the picture flipped left to right (done by the same pass that
    // converts the frame).
    bool Mirrored() const { return FMirrored; }
    void SetMirrored(bool value);

    // Stretches a video picture of another shape over the whole control
    // instead of fitting it in with black bars ("拉伸填满"); covers are
    // always fitted.
    bool Stretched() const { return FStretched; }
    void SetStretched(bool value);
    // Where the picture `frame` lies in the control's coordinates.
    QRect PictureRect(const IVideoFrame& frame) const;

    // While held, the frame shown now is painted whatever frames arrive.
    void HoldPicture(bool held);
    // Frames painted so far (for measurements).
    quint64 FramesPainted() const { return FFramesPainted; }
    // True while a picture is shown (the renderer is connected and a frame
    // has arrived).
    bool HasPicture() const;

    // IGraphMember
    std::shared_ptr<IBaseFilter> MemberFilter() override;
    QString MemberFilterName() override;
    void MemberNotify(TGraphMemberOp op) override;
    // IGraphListener
    void FrameworkEvent(long event, intptr_t param1, intptr_t param2) override;
    void ControlStep(TControlStep kind, int param) override;

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool RendererConnected();
    void PlacePicture();
    // Draws the frame into the image the painter writes to, without the
    // painter, over the exposed region; false when the painter's device is
    // not such an image (then nothing is drawn).
    bool DrawStraight(QPainter& p, const IVideoFrame& frame, const QRegion& exposed);
    // Draws `area` (the control's coordinates, inside it) to the pixels at
    // dst, rows `stride` bytes apart: the picture lying at `picture`, black
    // around it. False when the frame could not be drawn.
    bool DrawArea(const IVideoFrame& frame, uchar* dst, int stride, QRect area, QRect picture);

    TVideoMode FMode = vmNormal;
    TVMROptions FVMROptions;
    bool FFullScreen = false;
    bool FFullScreenTopMost = false;
    std::shared_ptr<IBaseFilter> FRenderer;
    std::shared_ptr<IVideoWindow> FPictureWindow;
    quint64 FFramesPainted = 0;
    bool FHeld = false;
    std::shared_ptr<const IVideoFrame> FHeldFrame;
    bool FMirrored = false;
    bool FStretched = false;
};
