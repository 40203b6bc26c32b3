#include "media/VideoWindow.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>

TVideoWindow::TVideoWindow(QWidget* parent) : QWidget(parent), TGraphBound(this, this) {
    resize(160, 120);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(false);
    // Every pixel is painted by paintEvent (picture or black): no background
    // fill by the toolkit first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TVideoWindow::~TVideoWindow() {
    SetFilterGraph(nullptr);
}

std::shared_ptr<IBaseFilter> TVideoWindow::MemberFilter() {
    return FRenderer;
}

QString TVideoWindow::MemberFilterName() {
    return objectName();
}

void TVideoWindow::MemberNotify(TGraphMemberOp op) {
    switch (op) {
    case mnAdding:
        FRenderer = CreateVideoRenderer();
        break;
    case mnAdded:
        FPictureWindow = Query<IVideoWindow>(FRenderer);
        if (FPictureWindow) {
            // Frames are announced to this control from the start, so that a
            // picture shows as soon as one is decoded.
            FPictureWindow->put_Owner(this);
            FPictureWindow->SetWindowPosition(0, 0, width(), height());
        }
        break;
    case mnRemoving:
        if (FRenderer) {
            FRenderer->Stop();
            std::vector<std::shared_ptr<IPin>> pins;
            if (SUCCEEDED(FRenderer->EnumPins(&pins)))
                for (auto& p : pins)
                    p->Disconnect();
        }
        break;
    case mnRemoved:
        FHeldFrame.reset();
        if (FPictureWindow)
            FPictureWindow->put_Owner(nullptr);
        FPictureWindow.reset();
        FRenderer.reset();
        update();
        break;
    }
}

bool TVideoWindow::RendererConnected() {
    if (!FRenderer)
        return false;
    std::vector<std::shared_ptr<IPin>> pins;
    if (FAILED(FRenderer->EnumPins(&pins)))
        return false;
    for (auto& p : pins) {
        std::shared_ptr<IPin> other;
        if (SUCCEEDED(p->ConnectedTo(&other)) && other)
            return true;
    }
    return false;
}

// The picture is painted by this control itself, so "the window of the
// parent at the control's rectangle" becomes: this control, over its own
// full rectangle. Window styles have no meaning here.
void TVideoWindow::PlacePicture() {
    if (!FPictureWindow || !RendererConnected())
        return;
    FPictureWindow->put_Owner(this);
    FPictureWindow->SetWindowPosition(0, 0, width(), height());
    FFullScreen = false;
}

void TVideoWindow::ControlStep(TControlStep kind, int) {
    if (kind != ssPlay)
        return;
    if (!FPictureWindow || !RendererConnected())
        return;
    PlacePicture();
    if (!objectName().isEmpty())
        FPictureWindow->put_Caption(objectName());
    FPictureWindow->put_MessageDrain(this);
}

void TVideoWindow::FrameworkEvent(long event, intptr_t, intptr_t) {
    if (!FPictureWindow)
        return;
    if (event == EC_PALETTE_CHANGED) {
        PlacePicture();
        if (!objectName().isEmpty())
            FPictureWindow->put_Caption(objectName());
        FPictureWindow->put_MessageDrain(this);
    } else if (event == EC_VMR_RENDERDEVICE_SET && FVMROptions.Mode() == vmrWindowed) {
        if (!objectName().isEmpty())
            FPictureWindow->put_Caption(objectName());
        FPictureWindow->put_MessageDrain(this);
    }
}

bool TVideoWindow::HasPicture() const {
    return FPictureWindow && FPictureWindow->CurrentFrame() != nullptr;
}

void TVideoWindow::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (FPictureWindow)
        FPictureWindow->put_Visible(visible ? -1 : 0);
}

void TVideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FPictureWindow && !FFullScreen)
        FPictureWindow->SetWindowPosition(0, 0, width(), height());
}

void TVideoWindow::SetMirrored(bool value) {
    if (FMirrored == value)
        return;
    FMirrored = value;
    update();
}

void TVideoWindow::SetStretched(bool value) {
    if (FStretched == value)
        return;
    FStretched = value;
    update();
}

QRect TVideoWindow::PictureRect(const IVideoFrame& frame) const {
    const QRect all = rect();
    const double aspect = frame.DisplayAspect();
    if (all.isEmpty() || !(aspect > 0) || (FStretched && !frame.Cover()))
        return all;
    // Of the control's shape within 2 %: over the whole of it, as a 16:9
    // picture on a 16:9 screen always was.
    const double own = double(all.width()) / all.height();
    if (std::abs(aspect / own - 1.0) <= 0.02)
        return all;
    int w = all.width(), h = all.height();
    if (aspect > own)
        h = std::max(1, int(std::lround(w / aspect)));
    else
        w = std::max(1, int(std::lround(h * aspect)));
    return QRect((all.width() - w) / 2, (all.height() - h) / 2, w, h);
}

bool TVideoWindow::DrawArea(const IVideoFrame& frame, uchar* dst, int stride, QRect area,
                            QRect picture) {
    const QRect inside = area & picture;
    const auto at = [&](QPoint p) {
        return dst + ptrdiff_t(p.y() - area.y()) * stride + ptrdiff_t(p.x() - area.x()) * 4;
    };
    bool drawn = true;
    if (!inside.isEmpty())
        drawn = frame.Draw(at(inside.topLeft()), stride, picture.size(),
                           inside.translated(-picture.topLeft()), FMirrored);
    if (inside == area && drawn)
        return true;
    // The bars (or all of it when the frame could not be drawn): black.
    const QRegion black = drawn ? QRegion(area).subtracted(inside) : QRegion(area);
    for (const QRect& r : black)
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(at(QPoint(r.x(), y)));
            std::fill_n(row, r.width(), 0xff000000u);
        }
    return drawn;
}

void TVideoWindow::HoldPicture(bool held) {
    FHeld = held;
    FHeldFrame.reset();
    if (held && FPictureWindow)
        FHeldFrame = FPictureWindow->CurrentFrame();
    if (!held)
        update();
}

void TVideoWindow::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    std::shared_ptr<const IVideoFrame> frame =
        FPictureWindow ? FPictureWindow->CurrentFrame() : nullptr;
    if (FHeld && FHeldFrame && frame)
        frame = FHeldFrame;
    if (!frame) {
        p.fillRect(event->rect(), Qt::black);
    } else {
        if (!DrawStraight(p, *frame, event->region())) {
            // Another kind of device (a pixmap, a scaled screen): the exposed
            // rectangle drawn into an image of its own, then painted.
            const QRect area = event->rect() & rect();
            QImage image(area.size(), QImage::Format_RGB32);
            if (!area.isEmpty() && DrawArea(*frame, image.bits(), int(image.bytesPerLine()), area,
                                            PictureRect(*frame)))
                p.drawImage(area.topLeft(), image);
            else
                p.fillRect(event->rect(), Qt::black);
        }
        ++FFramesPainted;
    }
    if (OnPaint)
        OnPaint(this);
}

bool TVideoWindow::DrawStraight(QPainter& p, const IVideoFrame& frame, const QRegion& exposed) {
    // The window's backing store (and any image a caller renders the control
    // into) is a 32-bit image the painter writes to: the frame is drawn
    // there itself, so the pixels are written once.
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image)
        return false;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
         format != QImage::Format_ARGB32_Premultiplied) ||
        image->devicePixelRatio() != 1.0)
        return false;
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::trunc(t.dx()) ||
        t.dy() != std::trunc(t.dy()))
        return false;
    const QPoint offset(int(t.dx()), int(t.dy()));
    // Only where the toolkit lets this control paint: the system clip leaves
    // out what opaque widgets above it keep (the replay notice), in the
    // image's coordinates.
    QRegion target = exposed.translated(offset) & image->rect() & rect().translated(offset);
    if (const QRegion clip = engine->systemClip(); !clip.isEmpty())
        target &= clip;
    // Written through constBits: the image is the painter's own, never
    // shared, and must not be detached from it.
    auto* bits = const_cast<uchar*>(image->constBits());
    const int stride = int(image->bytesPerLine());
    const QRect picture = PictureRect(frame);
    for (const QRect& r : target) {
        uchar* dst = bits + ptrdiff_t(r.y()) * stride + ptrdiff_t(r.x()) * 4;
        DrawArea(frame, dst, stride, r.translated(-offset), picture);
    }
    return true;
}

void TVideoWindow::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (OnMouseDown) {
        const QPoint pt = event->position().toPoint();
        OnMouseDown(this, event->button(), event->modifiers(), pt.x(), pt.y());
    }
}

void TVideoWindow::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (OnMouseUp) {
        const QPoint pt = event->position().toPoint();
        OnMouseUp(this, event->button(), event->modifiers(), pt.x(), pt.y());
    }
}

void TVideoWindow::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    if (OnMouseMove) {
        const QPoint pt = event->position().toPoint();
        OnMouseMove(this, event->modifiers(), pt.x(), pt.y());
    }
}
