// Our layer over GStreamer: the graph manager, the video renderer and the
// sample grabber filters (being written; these makers answer "none" for now).
#include "media/MediaFramework.h"

std::shared_ptr<IGraphBuilder> CreateFilterGraphManager() {
    return nullptr;
}
std::shared_ptr<IBaseFilter> CreateVideoRenderer() {
    return nullptr;
}
std::shared_ptr<IBaseFilter> CreateSampleGrabber() {
    return nullptr;
}
