#include "media/SampleGrabber.h"

#include <bit>
#include <cstring>

TSampleGrabber::TSampleGrabber(QObject* owner) : QObject(owner), TGraphBound(this, nullptr) {
    FMediaType.majortype = MEDIATYPE_Video;
    FMediaType.subtype = MEDIASUBTYPE_RGB24;
    FMediaType.formattype = FORMAT_VideoInfo;
}

TSampleGrabber::~TSampleGrabber() {
    SetFilterGraph(nullptr);
}

void TSampleGrabber::SetOnBuffer(TBufferEvent handler) {
    std::lock_guard<std::mutex> guard(FLock);
    FOnBuffer = std::move(handler);
}

std::shared_ptr<IBaseFilter> TSampleGrabber::MemberFilter() {
    return FFilter;
}

QString TSampleGrabber::MemberFilterName() {
    return objectName();
}

void TSampleGrabber::MemberNotify(TGraphMemberOp op) {
    switch (op) {
    case mnAdding:
        FFilter = CreateSampleGrabber();
        break;
    case mnAdded: {
        FGrabber = Query<ISampleGrabber>(FFilter);
        if (!FGrabber)
            break;
        std::vector<std::shared_ptr<IPin>> pins;
        FFilter->EnumPins(&pins);
        FInputPin = pins.size() > 0 ? pins[0] : nullptr;
        FOutputPin = pins.size() > 1 ? pins[1] : nullptr;
        FFilter->Stop();
        if (FInputPin)
            FInputPin->Disconnect();
        FGrabber->SetMediaType(FMediaType);
        FGrabber->SetBufferSamples(true);
        FGrabber->SetCallback(this, 1);
        break;
    }
    case mnRemoving:
        if (FFilter)
            FFilter->Stop();
        if (FInputPin)
            FInputPin->Disconnect();
        if (FOutputPin)
            FOutputPin->Disconnect();
        break;
    case mnRemoved:
        if (FGrabber) {
            FGrabber->SetCallback(nullptr, 1);
            FGrabber->SetBufferSamples(false);
        }
        FInputPin.reset();
        FOutputPin.reset();
        FGrabber.reset();
        FFilter.reset();
        break;
    }
}

HRESULT TSampleGrabber::SampleCB(double, void*) {
    return S_OK;
}

HRESULT TSampleGrabber::BufferCB(double sampleTime, uint8_t* buffer, long bufferLen) {
    std::lock_guard<std::mutex> guard(FLock);
    if (FOnBuffer) {
        try {
            FOnBuffer(this, sampleTime, buffer, static_cast<int32_t>(bufferLen));
        } catch (...) {
            // A failing handler must not take the streaming thread down; the
            // buffer goes on as it is.
        }
    }
    return S_OK;
}

// One pass over whole frames; a fixed-size memcpy per sample lets the
// compiler turn each copy into a single load and store.
template <int B> static void CopyFrames(uint8_t* p, int32_t length, int channel) {
    constexpr int F = 2 * B;
    uint8_t* const end = p + (length / F) * F;
    if (channel == 1) {
        for (; p != end; p += F)
            std::memcpy(p + B, p, B);
    } else {
        for (; p != end; p += F)
            std::memcpy(p, p + B, B);
    }
}

// The same for frames that fit a machine word W (8, 16 and 32-bit samples):
// in memory order the left sample is the word's low half on a little-endian
// machine, so each frame is one load, one mask-and-shift, one store, and the
// loop vectorises.
template <class W> static void CopyFrameWords(uint8_t* p, int32_t length, int channel) {
    constexpr int F = sizeof(W);
    constexpr int Half = 4 * F; // bits in one sample
    constexpr W Low = (W(1) << Half) - 1;
    const int32_t frames = length / F;
    if (channel == 1) {
        for (int32_t i = 0; i < frames; ++i) {
            W w;
            std::memcpy(&w, p + i * F, F);
            w = (w & Low) | (w << Half);
            std::memcpy(p + i * F, &w, F);
        }
    } else {
        for (int32_t i = 0; i < frames; ++i) {
            W w;
            std::memcpy(&w, p + i * F, F);
            w = (w >> Half) | (w & ~Low);
            std::memcpy(p + i * F, &w, F);
        }
    }
}

void CopyChannel(uint8_t* buffer, int32_t length, int bitsPerSample, int channel) {
    if (!buffer || length <= 0 || (channel != 1 && channel != 2))
        return;
    constexpr bool little = std::endian::native == std::endian::little;
    switch (bitsPerSample) {
    case 8:
        little ? CopyFrameWords<uint16_t>(buffer, length, channel)
               : CopyFrames<1>(buffer, length, channel);
        break;
    case 16:
        little ? CopyFrameWords<uint32_t>(buffer, length, channel)
               : CopyFrames<2>(buffer, length, channel);
        break;
    case 24:
        CopyFrames<3>(buffer, length, channel);
        break;
    case 32:
        little ? CopyFrameWords<uint64_t>(buffer, length, channel)
               : CopyFrames<4>(buffer, length, channel);
        break;
    default:
        break;
    }
}

int TSampleGrabber::ConnectedBitsPerSample() const {
    const std::shared_ptr<ISampleGrabber> grabber = FGrabber;
    AM_MEDIA_TYPE type;
    if (!grabber || FAILED(grabber->GetConnectedMediaType(&type)))
        return 0;
    return type.BitsPerSample();
}
