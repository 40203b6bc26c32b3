#include "SliderWrites.h"

#include "controls/uTransTrackBar.h"
#include "utPublic/ErrorDisplay.h"

#include <QTimer>

#include <exception>

namespace {
constexpr int kSliderWriteMs = 250;
} // namespace

void TSliderWrites::Write(TTransTrackBar* slider, std::function<void()> write) {
    Pending& w = writes_[slider];
    if (!w.quiet) {
        w.quiet = new QTimer(this);
        w.quiet->setSingleShot(true);
        w.quiet->setInterval(kSliderWriteMs);
        connect(w.quiet, &QTimer::timeout, this, [this, slider] {
            // From a timer: what the write raises is shown here, not unwound
            // through the event loop.
            try {
                Flush(slider);
            } catch (const std::exception& e) {
                ShowErrorNotice(QString::fromUtf8(e.what()), nullptr);
            }
        });
    }
    if (!slider->Dragging()) {
        w.pending = nullptr;
        w.quiet->stop();
        write();
        return;
    }
    if (w.quiet->isActive()) {
        w.pending = std::move(write);
        return;
    }
    w.quiet->start();
    write();
}

void TSliderWrites::Flush(TTransTrackBar* slider) {
    auto it = writes_.find(slider);
    if (it == writes_.end() || !it->pending)
        return;
    std::function<void()> write = std::move(it->pending);
    it->pending = nullptr;
    it->quiet->start(); // the next drag write waits its turn again
    write();
}

void TSliderWrites::EndDrag(TTransTrackBar* slider) {
    Flush(slider);
    auto it = writes_.find(slider);
    if (it != writes_.end())
        it->quiet->stop();
}
