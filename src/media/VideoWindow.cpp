#include "media/VideoWindow.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

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
            UpdateVisibleRect();
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
    UpdateVisibleRect();
    FFullScreen = false;
}

void TVideoWindow::UpdateVisibleRect() {
    if (!FPictureWindow)
        return;
    const QRect r = visibleRegion().boundingRect();
    if (r.isEmpty() || r == rect())
        FPictureWindow->SetVisibleRect(0, 0, 0, 0);
    else
        FPictureWindow->SetVisibleRect(r.x(), r.y(), r.width(), r.height());
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
    if (FPictureWindow && !FFullScreen) {
        FPictureWindow->SetWindowPosition(0, 0, width(), height());
        UpdateVisibleRect();
    }
}

void TVideoWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // Moving changes which part of the picture the window shows.
    UpdateVisibleRect();
}

void TVideoWindow::SetMirrored(bool value) {
    if (FMirrored == value)
        return;
    FMirrored = value;
    update();
}

void TVideoWindow::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    std::shared_ptr<const IVideoFrame> frame =
        FPictureWindow ? FPictureWindow->CurrentFrame() : nullptr;
    if (!frame) {
        p.fillRect(area, Qt::black);
    } else {
        // The frame's pixels are used where they lie: no copy.
        const QImage image(frame->Bits(), frame->Width(), frame->Height(), frame->BytesPerLine(),
                           QImage::Format_RGB32);
        // Mirrored: the painter flips left and right about the control's
        // middle, and the part of the picture that lands on the exposed area
        // is the mirror image of that area. Unmirrored, nothing changes.
        QRect src = area;
        if (FMirrored) {
            p.translate(width(), 0);
            p.scale(-1, 1);
            src.moveLeft(width() - area.x() - area.width());
        }
        if (frame->Width() == width() && frame->Height() == height()) {
            // Already at this size: copy only the exposed part.
            p.drawImage(src.topLeft(), image, src);
        } else {
            // A picture smaller than shown (or of an earlier size): scale up
            // only the exposed part, bilinear.
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            const double sx = double(frame->Width()) / width();
            const double sy = double(frame->Height()) / height();
            p.drawImage(QRectF(src), image,
                        QRectF(src.x() * sx, src.y() * sy, src.width() * sx, src.height() * sy));
        }
        ++FFramesPainted;
    }
    if (OnPaint)
        OnPaint(this);
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
