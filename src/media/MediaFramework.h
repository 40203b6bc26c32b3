// The media framework operations the media components are built on: a filter
// graph manager that renders a file, runs, pauses, stops and seeks it, sets
// its volume and reports its notifications; filters with pins; the video
// renderer and the sample grabber filters; stream selection.
//
// These are plain C++ interfaces. The implementation is our layer over
// GStreamer (src/media/gst/); nothing here exposes GStreamer types.
//
// Units: media times are 64-bit counts of 100 ns; volume is in hundredths of
// a decibel, -10000 (silence) .. 0 (full); balance -10000 (left) .. 10000.
//
// Objects are shared: an interface obtained from an object (by Query<I>)
// keeps that object alive, as a reference to it would.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class QWidget;

// --- Status codes -----------------------------------------------------------

// A framework status: 0 or positive is success (S_FALSE: success with a
// reservation, e.g. a state change that has not completed yet); negative is
// failure.
using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// The file does not exist (or cannot be opened).
inline constexpr HRESULT E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
// The operation is not possible in the graph's present state.
inline constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
// The file is not a media file the framework recognises.
inline constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = static_cast<HRESULT>(0x80040240u);
// The file's streams cannot be decoded or played (no decoder, bad data).
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x80040265u);
// The file's contents are damaged or not in the format they claim.
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = static_cast<HRESULT>(0x8004022Fu);
// The operation needs the graph stopped.
inline constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
// The operation took too long.
inline constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022Eu);
// The sound output went away or failed (not the media).
inline constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = static_cast<HRESULT>(0x80040256u);
// A pin is not connected.
inline constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// --- Notification codes ---------------------------------------------------------

inline constexpr long EC_COMPLETE = 1;   // the media has played to its end
inline constexpr long EC_ERRORABORT = 3; // playback stopped by an error; param1 = status
inline constexpr long EC_PALETTE_CHANGED = 9;
inline constexpr long EC_CLOCK_CHANGED = 13;
inline constexpr long EC_VMR_RENDERDEVICE_SET = 83;

// --- Objects and interface queries ---------------------------------------------

class IUnknown {
public:
    virtual ~IUnknown() = default;
};

// The interface I of an object, or null when the object does not offer it.
template <class I, class T> std::shared_ptr<I> Query(const std::shared_ptr<T>& object) {
    return std::dynamic_pointer_cast<I>(object);
}

// --- Filters and pins -------------------------------------------------------------

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

class IPin : public virtual IUnknown {
public:
    // The pin this one is connected to; VFW_E_NOT_CONNECTED (and null) if none.
    virtual HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
};

class IBaseFilter : public virtual IUnknown {
public:
    virtual HRESULT Stop() = 0;
    virtual HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) = 0;
    // The name under which the filter is in its graph (at most 128 characters).
    virtual HRESULT QueryFilterInfo(QString* name) = 0;
};

// Offered by the filter that reads the media file; its graph name is the path.
class IFileSourceFilter : public virtual IUnknown {
public:
    virtual HRESULT GetCurFile(QString* path) = 0;
};

// --- The graph manager ----------------------------------------------------------

class IFilterGraph : public virtual IUnknown {
public:
    virtual HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const QString& name) = 0;
    virtual HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) = 0;
    // The filters in the graph: those that rendering added, then those added
    // with AddFilter.
    virtual HRESULT EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>* filters) = 0;
    virtual HRESULT FindFilterByName(const QString& name, std::shared_ptr<IBaseFilter>* filter) = 0;
};

class IGraphBuilder : public IFilterGraph {
public:
    // Builds the whole chain for a file, using the filters already in the
    // graph (the video renderer, the sample grabber) where they fit. The
    // graph is stopped afterwards. On failure the framework's reason is
    // available from LastErrorText().
    virtual HRESULT RenderFile(const QString& path) = 0;
    // Empty: no log.
    virtual HRESULT SetLogFile(const QString& path) = 0;
    // The framework's own words for the last failure (render or playback).
    virtual QString LastErrorText() = 0;
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

class IMediaControl : public virtual IUnknown {
public:
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    // With timeout 0: the state the graph is in or, during a transition, the
    // state being entered (answered with S_FALSE).
    virtual HRESULT GetState(long timeoutMs, FILTER_STATE* state) = 0;
};

inline constexpr uint32_t AM_SEEKING_NoPositioning = 0;
inline constexpr uint32_t AM_SEEKING_AbsolutePositioning = 1;

class IMediaSeeking : public virtual IUnknown {
public:
    // All times in 100 ns units.
    virtual HRESULT GetDuration(int64_t* duration) = 0;
    virtual HRESULT GetCurrentPosition(int64_t* position) = 0;
    virtual HRESULT GetStopPosition(int64_t* stop) = 0;
    // Exact (not key-frame) positioning, running or paused; keeps the rate.
    virtual HRESULT SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop,
                                 uint32_t stopFlags) = 0;
    // Playback speed; the pitch of the sound is kept.
    virtual HRESULT SetRate(double rate) = 0;
    virtual HRESULT GetRate(double* rate) = 0;
};

class IBasicAudio : public virtual IUnknown {
public:
    virtual HRESULT put_Volume(long volume) = 0;
    virtual HRESULT get_Volume(long* volume) = 0;
    virtual HRESULT put_Balance(long balance) = 0;
    virtual HRESULT get_Balance(long* balance) = 0;
};

// Where the sound stops, held sample-exactly at the output whatever the
// lateness of whoever pauses the media: sound of media time at or past the
// end reaches the output as silence (the output keeps its pace, so nothing
// runs ahead to the end of the media). A buffer that straddles the end is cut
// there. Held until cleared or until the current position is set (a seek that
// moves away); rate changes keep it (it is in media time).
class ISoundEnd : public virtual IUnknown {
public:
    // end: media time, 100 ns; negative clears.
    virtual HRESULT SetSoundEnd(int64_t end) = 0;
};

// Playing in step with other players on a shared clock (see
// media/gst/GstNetClock.h). Times in nanoseconds of that clock and of media
// time: a millisecond is too coarse to keep sounds in step.
class ISyncPlay : public virtual IUnknown {
public:
    // The shared clock's time now; E_FAIL when no shared clock is in use.
    virtual HRESULT ClockTime(int64_t* ns) = 0;
    // While running (not on the way to another state or position): the media
    // time heard at the shared clock's time *clockNs (now; a run started by
    // RunAt and not yet at its time: that time and the position heard then).
    virtual HRESULT GetClockMapping(int64_t* clockNs, int64_t* positionNs) = 0;
    // From paused: runs so that the paused position is heard at clockNs of
    // the shared clock (the running time lined up by the base time): the
    // landed seek's position, or where a pause stopped.
    virtual HRESULT RunAt(int64_t clockNs) = 0;
    // The pipeline already made takes the shared clock (or its own again);
    // a running one pauses and runs again for it.
    virtual HRESULT AdoptSharedClock() = 0;
};

// Where a graph's sound goes.
class IAudioOutputState : public virtual IUnknown {
public:
    // S_OK when the sound reaches no output (the system had none when the
    // graph was made, or it was made to play into nothing); S_FALSE when it
    // reaches one; E_FAIL without a graph.
    virtual HRESULT OutputSilent() = 0;
};

class IMediaEventEx : public virtual IUnknown {
public:
    // Events waiting are announced by posting one QEvent of type eventType to
    // target (on the thread target lives on). Null target: no announcements.
    virtual HRESULT SetNotifyWindow(QObject* target, int eventType) = 0;
    // 0: announcements on; 1: off.
    virtual HRESULT SetNotifyFlags(long flags) = 0;
    // Takes the oldest waiting event; E_ABORT when none is waiting.
    virtual HRESULT GetEvent(long* code, intptr_t* param1, intptr_t* param2, long timeoutMs) = 0;
    virtual HRESULT FreeEventParams(long code, intptr_t param1, intptr_t param2) = 0;
};

// --- Stream selection ---------------------------------------------------------------

inline constexpr long AMSTREAMSELECTINFO_ENABLED = 1;
inline constexpr long AMSTREAMSELECTENABLE_ENABLE = 1;    // this stream only
inline constexpr long AMSTREAMSELECTENABLE_ENABLEALL = 2; // all of its group

class IAMStreamSelect : public virtual IUnknown {
public:
    virtual HRESULT Count(long* streams) = 0;
    // name: "Audio 1", "Audio 2", ... (a title or language may follow),
    // "Video", "Subtitle"; flags: AMSTREAMSELECTINFO_ENABLED when selected;
    // group: streams of one kind share a group.
    virtual HRESULT Info(long index, QString* name, long* flags, long* group) = 0;
    virtual HRESULT Enable(long index, long flags) = 0;
};

// True for a stream IAMStreamSelect::Info names as a sound track.
inline bool IsAudioStreamName(const QString& name) {
    return !name.isEmpty() && name.at(0).toUpper() == QLatin1Char('A');
}

// Dual-channel mode of an MPEG audio decoder (0 both, 1 left, 2 right). No
// decoder of this platform offers it.
class IMpegAudioDecoder : public virtual IUnknown {
public:
    virtual HRESULT put_DualMode(long mode) = 0;
};

// --- Media types and the sample grabber ------------------------------------------------

enum TMajorType { MEDIATYPE_None, MEDIATYPE_Video, MEDIATYPE_Audio };
enum TSubType { MEDIASUBTYPE_None, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_PCM, MEDIASUBTYPE_IEEE_FLOAT };
enum TFormatType { FORMAT_None, FORMAT_VideoInfo, FORMAT_WaveFormatEx };

struct AM_MEDIA_TYPE {
    TMajorType majortype = MEDIATYPE_None;
    TSubType subtype = MEDIASUBTYPE_None;
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    uint32_t lSampleSize = 0;
    TFormatType formattype = FORMAT_None;
    // The format block, held inline so that reading a type allocates nothing.
    // For FORMAT_WaveFormatEx it is a little-endian WAVEFORMATEX of 18 bytes:
    // wFormatTag@0, nChannels@2, nSamplesPerSec@4, nAvgBytesPerSec@8,
    // nBlockAlign@12, wBitsPerSample@14, cbSize@16.
    uint32_t cbFormat = 0;
    uint8_t pbFormat[88] = {};

    // wBitsPerSample of a wave format block; 0 when the block is too short
    // to hold it.
    int BitsPerSample() const {
        return cbFormat < 16 ? 0 : int(pbFormat[14]) | (int(pbFormat[15]) << 8);
    }
};

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;

class ISampleGrabberCB {
public:
    virtual ~ISampleGrabberCB() = default;
    virtual HRESULT SampleCB(double sampleTime, void* sample) = 0;
    // Streaming thread, once per buffer; bytes changed in place are what is
    // heard. sampleTime: the buffer's media time in seconds.
    virtual HRESULT BufferCB(double sampleTime, uint8_t* buffer, long bufferLen) = 0;
};

class ISampleGrabber : public virtual IUnknown {
public:
    // The only type accepted. Audio PCM: interleaved two-channel PCM of the
    // decoded sound's own sample width (8, 16, 24 or 32 bits; 32 may be float).
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE& type) = 0;
    // The type of the connection; VFW_E_NOT_CONNECTED when there is none.
    // Safe to call on the streaming thread; allocates nothing.
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetBufferSamples(bool buffer) = 0;
    // whichMethod 0: SampleCB, 1: BufferCB. Null callback: none.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, long whichMethod) = 0;
};

// --- The video renderer ---------------------------------------------------------------

// One decoded picture, read-only, valid while the object lives. It stays in
// the decoder's own layout (planar YUV for most video) and becomes 32-bit
// pixels only where and when it is drawn: converted, scaled and mirrored in
// one pass, straight into the image that is shown.
class IVideoFrame {
public:
    virtual ~IVideoFrame() = default;
    // The picture's size in pixels as it is shown: upright, turned as the
    // file says (a phone's portrait recording is taller than wide).
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Its shape on the screen: width over height of the upright picture,
    // its pixels' own proportions included.
    virtual double DisplayAspect() const = 0;
    // A still picture standing in for the sound (an album's cover), not the
    // frames of a video.
    virtual bool Cover() const { return false; }
    // Draws the upright picture as if stretched over a rectangle of size
    // `shown` (bilinear where the sizes differ; the caller chooses `shown` in
    // the proportions it wants), flipped left to right when `mirrored`
    // (ignored by a cover), writing only `part` of that rectangle (in its
    // coordinates, inside it) as 0xffRRGGBB pixels (QImage::Format_RGB32) to
    // `dst`, which points at the pixel for part's top left, rows `dstStride`
    // bytes apart. Writes nothing and answers false when it cannot.
    virtual bool Draw(uint8_t* dst, int dstStride, QSize shown, QRect part,
                      bool mirrored) const = 0;
};

// The renderer's picture output. The picture is painted by the owner widget
// itself (IVideoFrame::Draw): the renderer keeps the newest decoded frame and
// asks the owner to repaint (update()) when a new one is there.
class IVideoWindow : public virtual IUnknown {
public:
    virtual HRESULT put_Owner(QWidget* owner) = 0;
    // The picture's rectangle in the owner's coordinates.
    virtual HRESULT SetWindowPosition(int left, int top, int width, int height) = 0;
    virtual HRESULT put_Caption(const QString& caption) = 0;
    // Mouse and key input on the picture: the owner receives its own input,
    // so the drain is only recorded.
    virtual HRESULT put_MessageDrain(QWidget* drain) = 0;
    virtual HRESULT put_Visible(long visible) = 0;
    // The newest frame, or null.
    virtual std::shared_ptr<const IVideoFrame> CurrentFrame() = 0;
};

// --- Making objects (each call makes a new, empty object) ---------------------------

std::shared_ptr<IGraphBuilder> CreateFilterGraphManager();
std::shared_ptr<IBaseFilter> CreateVideoRenderer();
std::shared_ptr<IBaseFilter> CreateSampleGrabber();
