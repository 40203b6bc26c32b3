#include "platform/Demo.h"

#include "utPublic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gst/gst.h>

namespace {

const QString kStart = QStringLiteral("START");
const QString kSect = QStringLiteral("Sect");

// Schedule file of a media file: the extension's dot removed, ".INI" added
// (dance.mp4 gives dancemp4.INI), in the media file's folder.
QString ScheduleFileOf(const QString& media) {
    const QFileInfo fi(media);
    const QString name = fi.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.left(dot) + name.mid(dot + 1);
    return QDir(fi.absolutePath()).filePath(stem + QStringLiteral(".INI"));
}

} // namespace

TDemoMode DemoModeFromEnvironment() {
    const QByteArray v = qgetenv("TAVRELO_DEMO");
    if (v == "headless")
        return TDemoMode::dmHeadless;
    if (!v.isEmpty() && v != "0")
        return TDemoMode::dmFirstStart;
    return TDemoMode::dmNone;
}

bool MakeDemoClip(const QString& path, int seconds, QString* error) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    constexpr int kFps = 25;
    constexpr int kRate = 48000;
    constexpr int kSamplesPerBuffer = 1024;
    const int frames = seconds * kFps;
    const int audioBuffers = (seconds * kRate + kSamplesPerBuffer - 1) / kSamplesPerBuffer;
    const QString desc =
        QStringLiteral(
            "videotestsrc num-buffers=%1 pattern=smpte ! "
            "video/x-raw,width=640,height=360,framerate=%2/1 ! "
            "timeoverlay font-desc=\"Sans Bold 40\" halignment=center valignment=center ! "
            "videoconvert ! x264enc speed-preset=ultrafast bitrate=800 key-int-max=%2 ! "
            "h264parse ! mp4mux name=mux ! filesink name=sink "
            "audiotestsrc num-buffers=%3 samplesperbuffer=%4 wave=ticks volume=0.4 ! "
            "audio/x-raw,rate=%5,channels=2 ! audioconvert ! avenc_aac ! aacparse ! mux.")
            .arg(frames)
            .arg(kFps)
            .arg(audioBuffers)
            .arg(kSamplesPerBuffer)
            .arg(kRate);
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(desc.toUtf8().constData(), &err);
    if (!pipeline) {
        if (error)
            *error = QString::fromUtf8(err ? err->message : "cannot build the encoder");
        g_clear_error(&err);
        return false;
    }
    g_clear_error(&err);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    g_object_set(sink, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(sink);

    bool ok = false;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 120 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
        ok = true;
    } else if (error) {
        if (msg) {
            GError* e = nullptr;
            gst_message_parse_error(msg, &e, nullptr);
            *error = QString::fromUtf8(e ? e->message : "encoding failed");
            g_clear_error(&e);
        } else {
            *error = QStringLiteral("encoding did not finish");
        }
    }
    if (msg)
        gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (!ok)
        QFile::remove(path);
    return ok;
}

void WriteDemoSchedule(const QString& clipPath) {
    const QString file = ScheduleFileOf(clipPath);
    struct Row {
        const char* count;
        const char* time;
        const char* text;
    };
    // Counts 2, 1, 2: the first section repeats after its end, the second
    // plays once, the last repeats at the end of the media; then the loop.
    const Row rows[] = {{"2", "00:00", "热身 (两遍)"},
                        {"1", "00:06", "第二节 (一遍)"},
                        {"2", "00:10", "结束动作 (两遍)"}};
    WriteIniStr(file, kSect, QStringLiteral("Row0"),
                QStringLiteral("序号^^播放^^加^^减^^时间点^^开播内容^^"));
    int n = 0;
    for (const Row& r : rows) {
        ++n;
        WriteIniStr(file, kSect, QStringLiteral("Row%1").arg(n),
                    QStringLiteral("%1^^%2^^+^^-^^%3^^%4^^")
                        .arg(PadLeft(QString::number(n), QLatin1Char(' '), 3),
                             QString::fromUtf8(r.count), QString::fromUtf8(r.time),
                             QString::fromUtf8(r.text)));
    }
}

bool PrepareDemo(const QString& dir, QString* error) {
    if (QFile::exists(IniFileName))
        return true;
    QDir().mkpath(dir);
    const QString clip = QDir(dir).filePath(QStringLiteral("demo.mp4"));
    if (!QFile::exists(clip) && !MakeDemoClip(clip, 16, error))
        return false;
    WriteDemoSchedule(clip);
    WriteIniStr(IniFileName, kStart, QStringLiteral("PlayFile"), clip);
    WriteIniStr(IniFileName, kStart, QStringLiteral("chkAutoPlay"), BoolToText(true));
    WriteIniStr(IniFileName, kStart, QStringLiteral("chkRePlay"), BoolToText(true));
    WriteIniStr(IniFileName, kStart, QStringLiteral("overmode"), QStringLiteral("循环播放"));
    return true;
}

void StartDemoObserver(TFrmMain* frmMain, const QString& dir, int timeoutSeconds) {
    (void)frmMain;
    (void)dir;
    (void)timeoutSeconds;
}
