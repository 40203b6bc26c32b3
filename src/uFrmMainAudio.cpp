// Volume, sound channel and audio track of the control window. The channel
// is applied twice: through an MPEG audio decoder's dual-channel mode when
// the graph has one, and by rewriting every decoded sound buffer on its way
// to the speakers (SampleGrabberBuffer, on the framework's streaming thread).
#include "uFrmMain.h"

#include "controls/FlatCtrls.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "media/FilterGraph.h"
#include "media/SampleGrabber.h"
#include "uFrmMainInternal.h"
#include "utPublic/utPublic.h"

#include <QFile>
#include <QListWidget>

namespace {
constexpr long kMaxStreams = 20;
} // namespace

void TFrmMain::SoundLevel2Change(QObject* /*Sender*/) {
    const int v = RoundHalfEven(SoundLevel2->Position());
    WriteSliderSetting(
        SoundLevel2, [v] { WriteSetting(IniFileName, Setting::SoundLevel2, QString::number(v)); });
    if (FGBrowse && FGBrowse->State() != gsNone)
        FGBrowse->SetVolume(v);
}

void TFrmMain::lbLeft2Click(QObject* /*Sender*/) {
    SelectChannel(1, lbLeft2->Caption());
}

void TFrmMain::lbCenter2Click(QObject* /*Sender*/) {
    SelectChannel(0, lbCenter2->Caption());
}

void TFrmMain::lbRight2Click(QObject* /*Sender*/) {
    SelectChannel(2, lbRight2->Caption());
}

void TFrmMain::SelectChannel(int channel, const QString& caption) {
    if (!QFile::exists(CurFile))
        return;
    KeepSetting(Setting::SOUNDCHL, caption);
    SoundChannel = uint8_t(channel);
    if (!FGBrowse || !FGBrowse->Active())
        return;
    const QString name = FindAudioDecoderName();
    const auto graph = FGBrowse->QueryInterface<IGraphBuilder>();
    if (!graph || name.isEmpty())
        return;
    std::shared_ptr<IBaseFilter> filter;
    if (FAILED(graph->FindFilterByName(name, &filter)) || !filter)
        return;
    if (const auto decoder = Query<IMpegAudioDecoder>(filter))
        decoder->put_DualMode(channel);
}

void TFrmMain::SampleGrabberBuffer(QObject* /*Sender*/, double /*SampleTime*/, uint8_t* pBuffer,
                                   int32_t BufferLen) {
    // Streaming thread: no controls, no allocation. The channel is read once,
    // so a change takes effect from the next buffer.
    const uint8_t channel = SoundChannel.load(std::memory_order_relaxed);
    if (channel == 0 || !SampleGrabber)
        return;
    const int bits = SampleGrabber->ConnectedBitsPerSample();
    if (bits == 0)
        return;
    CopyChannel(pBuffer, BufferLen, bits, channel);
}

void TFrmMain::RefreshAudioTracks() {
    lbFilters2->clear();
    int n = 0;
    cbAudioChl2->SetItems({});
    bool first = false;
    // The list is filled once at the end; item n - 1 is selected when the
    // chosen stream could be enabled.
    QStringList items;
    int selected = -1;
    auto ShowTracks = [&] {
        cbAudioChl2->SetItems(items);
        if (selected >= 0)
            cbAudioChl2->SetItemIndex(selected);
    };
    if (!FGBrowse)
        return;
    const auto graph = FGBrowse->QueryInterface<IFilterGraph>();
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    if (!graph || FAILED(graph->EnumFilters(&filters)))
        return;
    for (const auto& filter : filters) {
        QString name;
        if (SUCCEEDED(filter->QueryFilterInfo(&name))) {
            name = name.left(128);
            if (Query<IFileSourceFilter>(filter)) {
                const int sep = std::max(name.lastIndexOf(QLatin1Char('/')),
                                         name.lastIndexOf(QLatin1Char('\\')));
                name = name.mid(sep + 1);
            }
            lbFilters2->addItem(name);
        }
        const auto select = Query<IAMStreamSelect>(filter);
        if (!select)
            continue;
        long count = 0;
        if (FAILED(select->Count(&count)))
            continue;
        count = std::min(count, kMaxStreams);
        for (long i = 0; i < count; ++i) {
            QString stream;
            long flags = 0, group = 0;
            if (FAILED(select->Info(i, &stream, &flags, &group)) || !IsAudioStreamName(stream))
                continue;
            ++n;
            items << QString::number(n);
            if (AudioTrack == 0 && !first) {
                first = true;
                select->Enable(i, AMSTREAMSELECTENABLE_ENABLEALL);
            } else if (n == AudioTrack) {
                if (SUCCEEDED(select->Enable(i, AMSTREAMSELECTENABLE_ENABLE)))
                    selected = n - 1;
            }
        }
    }
    ShowTracks();
}

void TFrmMain::btnSelAudioChl2Click(QObject* /*Sender*/) {
    if (cbAudioChl2->ItemIndex() < 0)
        return;
    AudioTrack = cbAudioChl2->ItemIndex() + 1;
    RefreshAudioTracks();
    if (!SchedFileName.isEmpty())
        KeepSetting(Setting::cbAudioChl2, QString::number(cbAudioChl2->ItemIndex()));
}

QString TFrmMain::FindAudioDecoderName() {
    for (int i = 0; i < lbFilters2->count(); ++i) {
        const QString name = lbFilters2->item(i)->text();
        if (name.contains(QStringLiteral("Audio Decoder"), Qt::CaseSensitive))
            return name;
    }
    return {};
}
