#include "Demo.h"

#include "engine/Schedule.h"
#include "engine/SectionEngine.h"
#include "uFrmMain.h"
#include "uFrmMainGrid.h"
#include "uFrmPlay.h"
#include "utPublic/utPublic.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <gst/gst.h>

#include <cstdio>

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
    const QString file = ScheduleFileName(clipPath, QString());
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
    WriteIniStr(file, kScheduleSection, QStringLiteral("Row0"), EncodeRow(Schedule::Titles()));
    int n = 0;
    for (const Row& r : rows) {
        ++n;
        WriteIniStr(file, kScheduleSection, QStringLiteral("Row%1").arg(n),
                    EncodeRow({PadLeft(QString::number(n), QLatin1Char(' '), 3),
                               QString::fromUtf8(r.count), QStringLiteral("+"), QStringLiteral("-"),
                               QString::fromUtf8(r.time), QString::fromUtf8(r.text)}));
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
    WriteSetting(IniFileName, Setting::PlayFile, clip);
    WriteSetting(IniFileName, Setting::chkAutoPlay, BoolToText(true));
    WriteSetting(IniFileName, Setting::chkRePlay, BoolToText(true));
    WriteSetting(IniFileName, Setting::overmode, QStringLiteral("循环播放"));
    return true;
}

namespace {

// Follows the section engine from outside, on a 100 ms timer: it reads what
// the engine keeps (CurRow, RemainCount, the notice) and changes nothing but
// the control window's visibility for one screenshot.
class TDemoObserver : public QObject {
public:
    TDemoObserver(TFrmMain* frmMain, const QString& dir, int timeoutSeconds)
        : QObject(frmMain), frm_(frmMain), dir_(dir), timeoutMs_(qint64(timeoutSeconds) * 1000) {
        clock_.start();
        timer_.setInterval(100);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
        Say(QStringLiteral("headless demo: %1").arg(frm_->CurFile));
    }

private:
    void Say(const QString& text) {
        const qint64 ms = clock_.elapsed();
        std::printf("[%3lld.%lld s] %s\n", ms / 1000, (ms % 1000) / 100, text.toUtf8().constData());
        std::fflush(stdout);
    }

    void Shot(QWidget* w, const QString& name) {
        if (!w)
            return;
        QPixmap pix;
        if (QScreen* screen = w->screen();
            screen && w->isVisible() &&
            QGuiApplication::platformName() != QLatin1String("offscreen"))
            pix = screen->grabWindow(0, w->x(), w->y(), w->width(), w->height());
        if (pix.isNull())
            pix = w->grab();
        const QString path = QDir(dir_).filePath(name);
        if (pix.save(path))
            Say(QStringLiteral("screenshot %1").arg(path));
    }

    void Poll() {
        TFrmPlay* play = frm_->FrmPlay.get();
        const int row = frm_->CurRow();
        const int remain = frm_->Engine->RemainCount();
        const bool notice = play && play->plHint->isVisible();
        if (notice && !lastNotice_) {
            Say(QStringLiteral("repeat gap: sound muted, notice \"%1\" shown")
                    .arg(play->plHint->text()));
            if (!noticeSeen_) {
                // Once the notice has been painted.
                QTimer::singleShot(300, this, [this] {
                    if (frm_->FrmPlay && frm_->FrmPlay->plHint->isVisible())
                        Shot(frm_->FrmPlay.get(), QStringLiteral("demo-video-notice.png"));
                });
            }
            noticeSeen_ = true;
        }
        if (notice != lastNotice_ && !notice && noticeSeen_)
            Say(QStringLiteral("notice hidden, the section plays again"));
        lastNotice_ = notice;
        if (row != lastRow_ || remain != lastRemain_) {
            if (row >= 1 && frm_->sgV && row < frm_->sgV->RowCount()) {
                Say(QStringLiteral("section %1 from %2 \"%3\": %4 more time(s) after this")
                        .arg(row)
                        .arg(frm_->sgV->Cell(4, row), frm_->sgV->Cell(5, row))
                        .arg(remain));
            }
            if (row == 1 && lastRow_ > 1) {
                Say(QStringLiteral("end of the media: loop mode starts again at row 1"));
                looped_ = true;
                loopAt_ = clock_.elapsed();
            }
            lastRow_ = row;
            lastRemain_ = remain;
        }
        const qint64 now = clock_.elapsed();
        if (!videoShot_ && row >= 1 && now > 4000) {
            videoShot_ = true;
            Shot(play, QStringLiteral("demo-video.png"));
            // A press on the video shows the control window; the next hides it.
            if (play)
                play->VWMouseDown();
            QTimer::singleShot(700, this, [this] {
                Shot(frm_, QStringLiteral("demo-control.png"));
                if (frm_->FrmPlay && frm_->isVisible())
                    frm_->FrmPlay->VWMouseDown();
            });
        }
        if ((looped_ && now - loopAt_ > 4000) || now > timeoutMs_) {
            timer_.stop();
            Say(looped_ ? QStringLiteral("demo done") : QStringLiteral("demo timed out"));
            // The control window is hidden while the video plays: closing a
            // hidden window does not end the event loop by itself.
            frm_->close();
            QCoreApplication::quit();
        }
    }

    TFrmMain* frm_;
    QString dir_;
    qint64 timeoutMs_;
    QElapsedTimer clock_;
    QTimer timer_;
    int lastRow_ = 0;
    int lastRemain_ = -1;
    bool lastNotice_ = false;
    bool noticeSeen_ = false;
    bool videoShot_ = false;
    bool looped_ = false;
    qint64 loopAt_ = 0;
};

} // namespace

void StartDemoObserver(TFrmMain* frmMain, const QString& dir, int timeoutSeconds) {
    QDir().mkpath(dir);
    new TDemoObserver(frmMain, dir, timeoutSeconds);
}
