// TSampleGrabber: a non-visual component that puts the sample grabber filter
// into its bound graph, in the audio path, and calls OnBuffer for every
// decoded sound buffer on the framework's streaming thread. The buffer is
// interleaved two-channel PCM (mono and multichannel sound is mixed to two
// channels before it); bytes changed in it are what is heard.
//
// CopyChannel: the left/right rewriting of such a buffer.
#pragma once

#include "media/FilterGraph.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TSampleGrabber : public QObject,
                       public IGraphMember,
                       public ISampleGrabberCB,
                       public TGraphBound {
    Q_OBJECT
public:
    explicit TSampleGrabber(QObject* owner = nullptr);
    ~TSampleGrabber() override;

    // FilterGraph: the component stands in the graph as a member only.

    // The only type the grabber accepts; a new component has video, RGB
    // 24-bit, video-info format. Applied when the filter joins a graph.
    const AM_MEDIA_TYPE& MediaType() const { return FMediaType; }
    void SetMediaType(const AM_MEDIA_TYPE& type) { FMediaType = type; }

    // Called for every buffer, on the streaming thread, one call at a time.
    // SampleTime: the buffer's media time in seconds.
    using TBufferEvent = std::function<void(QObject* sender, double SampleTime, uint8_t* pBuffer,
                                            int32_t BufferLen)>;
    void SetOnBuffer(TBufferEvent handler);

    // The grabber filter's interface while the component is a member of an
    // Active graph; null otherwise.
    std::shared_ptr<ISampleGrabber> SampleGrabber() const { return FGrabber; }
    // The sample width of the sound the grabber is connected to, in bits;
    // 0 while it is not connected (or its format says none).
    int ConnectedBitsPerSample() const;
    // Interface queries: the grabber filter's interfaces while present.
    template <class I> std::shared_ptr<I> QueryInterface() const { return Query<I>(FFilter); }

    // IGraphMember
    std::shared_ptr<IBaseFilter> MemberFilter() override;
    QString MemberFilterName() override;
    void MemberNotify(TGraphMemberOp op) override;
    // ISampleGrabberCB (streaming thread)
    HRESULT SampleCB(double sampleTime, void* sample) override;
    HRESULT BufferCB(double sampleTime, uint8_t* buffer, long bufferLen) override;

private:
    AM_MEDIA_TYPE FMediaType;
    std::mutex FLock;
    TBufferEvent FOnBuffer;
    std::shared_ptr<IBaseFilter> FFilter;
    std::shared_ptr<ISampleGrabber> FGrabber;
    std::shared_ptr<IPin> FInputPin;
    std::shared_ptr<IPin> FOutputPin;
};

// Rewrites interleaved two-channel PCM in place: channel 1 copies every
// frame's left sample over its right one, channel 2 the right over the left;
// channel 0 and sample widths other than 8, 16, 24 and 32 bits leave the
// buffer unchanged, as does a trailing partial frame. Bytes are copied as
// they are. One pass, no allocation.
void CopyChannel(uint8_t* buffer, int32_t length, int bitsPerSample, int channel);
