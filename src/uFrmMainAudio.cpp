// Volume, sound channel and audio track of the control window. The channel
// is applied twice: through an MPEG audio decoder's dual-channel mode when
// the graph has one, and by rewriting every decoded sound buffer on its way
// to the speakers (SampleGrabberBuffer, on the framework's streaming thread).
#include "uFrmMain.h"

#include "SettingKeeper.h"
#include "SliderWrites.h"
#include "controls/FlatCtrls.h"
#include "controls/MyRadionBtn.h"
#include "controls/uTransTrackBar.h"
#include "engine/SectionEngine.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "media/SampleGrabber.h"
#include "uFrmMainInternal.h"
#include "utPublic/utPublic.h"

#include <QFile>
#include <QListWidget>

void TFrmMain::SoundLevel2Change(QObject* /*Sender*/) {
    const int v = RoundHalfEven(SoundLevel2->Position());
    SliderWrites->Write(
        SoundLevel2, [v] { WriteSetting(IniFileName, Setting::SoundLevel2, QString::number(v)); });
    // Through the engine: a section start keeps the sound muted until the
    // graph is where nothing from before the target can be heard.
    if (FGBrowse && FGBrowse->State() != gsNone)
        Engine->SetVolume(v);
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
    Keeper->Keep(Setting::SOUNDCHL, caption);
    SoundChannel = uint8_t(channel);
    if (!FGBrowse || !FGBrowse->Active())
        return;
    if (Graph)
        Graph->SetDualMode(FindAudioDecoderName(), channel);
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
    cbAudioChl2->SetItems({});
    if (!Graph)
        return;
    const TGraphPlayback::AudioTracks tracks = Graph->ChooseAudioTrack(AudioTrack);
    if (!tracks.Listed)
        return;
    lbFilters2->addItems(tracks.Filters);
    // The list is filled once; the chosen track is selected when its stream
    // could be enabled.
    QStringList items;
    for (int n = 1; n <= tracks.Count; ++n)
        items << QString::number(n);
    cbAudioChl2->SetItems(items);
    if (tracks.Selected >= 0)
        cbAudioChl2->SetItemIndex(tracks.Selected);
}

void TFrmMain::btnSelAudioChl2Click(QObject* /*Sender*/) {
    if (cbAudioChl2->ItemIndex() < 0)
        return;
    AudioTrack = cbAudioChl2->ItemIndex() + 1;
    RefreshAudioTracks();
    if (!SchedFileName.isEmpty())
        Keeper->Keep(Setting::cbAudioChl2, QString::number(cbAudioChl2->ItemIndex()));
}

QString TFrmMain::FindAudioDecoderName() {
    for (int i = 0; i < lbFilters2->count(); ++i) {
        const QString name = lbFilters2->item(i)->text();
        if (name.contains(QStringLiteral("Audio Decoder"), Qt::CaseSensitive))
            return name;
    }
    return {};
}
