// Transport controls: choosing the media file, pause, skips of ten seconds,
// taking the playing position as a section's start, and the playback rate;
// with the two media operations the section engine shares, SeekTo and
// ApplyRate.
#include "uFrmMain.h"

#include "controls/FlatCtrls.h"
#include "media/FilterGraph.h"
#include "media/GraphPlayback.h"
#include "uFrmMainGrid.h"
#include "uFrmMainInternal.h"
#include "utPublic/utPublic.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

namespace {

// The open dialog's filter as pairs of display text and patterns separated
// by "|", patterns by ";". The last choice adds what else the media framework
// plays with the plugin packages the player depends on.
// The choices' captions are shown in the window's language; the patterns
// are the same in every language.
QString FileFilter() {
    return QCoreApplication::translate("TFrmMain", "视频文件") +
           QStringLiteral("|*.AVI;*.MPG;*.MPEG;*.FLV;*.Dat;*.rm;*.rmvb;*.wmv;*.mkv;*.vob;*.mp4;*."
                          "mov;*.ts;*.m2p|") +
           QCoreApplication::translate("TFrmMain", "音频文件") +
           QStringLiteral("|*.wma;*.mp3;*.wav|") +
           QCoreApplication::translate("TFrmMain", "所有媒体文件") +
           QStringLiteral(
               "|*.AVI;*.MPG;*.MPEG;*.FLV;*.Dat;*.rm;*.rmvb;*.wmv;*.mkv;*.vob;*.mp4;*.mov;*.ts;"
               "*.m2p;*.wma;*.mp3;*.wav;*.webm;*.m4v;*.mpe;*.m2ts;*.mts;*.3gp;*.3g2;*.ogv;*.asf;*."
               "f4v;*.dv;"
               "*.m4a;*.aac;*.ogg;*.oga;*.opus;*.flac;*.mka;*.ac3;*.aiff;*.aif;*.au;*.wv|");
}

} // namespace

QStringList TFrmMain::DialogNameFilters(const QString& filter) {
    // "text|p1;p2|text|p3|" becomes {"text (p1 p2)", "text (p3)"}.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            continue;
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return result;
}

QFileDialog* TFrmMain::OpenDialog() {
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this);
        OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
        OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    }
    return OpenDialog1;
}

void TFrmMain::btnSelFileClick(QObject* /*Sender*/) {
    OpenDialog();
    // Our own dialog on every desktop: its patterns match names in any letter
    // case (dance.mp4 as well as DANCE.MP4), which a desktop's native dialog
    // does not promise.
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog, true);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setNameFilters(DialogNameFilters(FileFilter()));
    // The search starts where the current media file lies.
    const QFileInfo current(CurFile);
    if (current.absoluteDir().exists())
        OpenDialog1->setDirectory(current.absolutePath());
    const int result = OpenDialog1->exec();
    // The file-name completer's list is a window of its own and can outlive
    // the dialog; it must not stay over the video.
    for (QCompleter* c : OpenDialog1->findChildren<QCompleter*>())
        if (c->popup())
            c->popup()->hide();
    if (result != QDialog::Accepted)
        return;
    const QStringList files = OpenDialog1->selectedFiles();
    if (files.isEmpty())
        return;
    OpenMediaFile(files.first());
}

void TFrmMain::btnPauseClick(QObject* /*Sender*/) {
    if (!FGBrowse)
        return;
    switch (FGBrowse->State()) {
    case gsPaused:
        FGBrowse->Play();
        break;
    case gsPlaying:
        FGBrowse->Pause();
        break;
    default:
        break;
    }
}

void TFrmMain::btnBackClick(QObject* /*Sender*/) {
    if (!FGBrowse || FGBrowse->State() <= gsStopped)
        return;
    int64_t s = int64_t(Engine.LastTickPos / 1000) - 10;
    if (s < 0)
        s = 0;
    SeekTo(uint32_t(s * 1000));
    FGBrowse->Play();
}

void TFrmMain::btnNextClick(QObject* /*Sender*/) {
    if (!FGBrowse || FGBrowse->State() <= gsStopped)
        return;
    const int64_t s = int64_t(Engine.LastTickPos / 1000) + 10;
    if (s * 1000 > int64_t(Engine.LastTickDuration))
        return;
    SeekTo(uint32_t(s * 1000));
    FGBrowse->Play();
}

void TFrmMain::lbPosDblClick(QObject* /*Sender*/) {
    if (!lbPos->isEnabled() || !sgV)
        return;
    const int row = sgV->Row();
    if (row < 1 || row >= sgV->RowCount())
        return;
    sgV->SetCell(4, row, lbPos->text());
}

void TFrmMain::cbRateChange(QObject* /*Sender*/) {
    if (!FGBrowse || FGBrowse->State() != gsPlaying)
        return;
    bool ok = false;
    const double rate = cbRate->Text().toDouble(&ok);
    ApplyRate(ok ? rate : 1.0);
    KeepSetting(Setting::cbRate, QString::number(cbRate->ItemIndex()));
}

void TFrmMain::SeekTo(uint32_t ms) {
    if (!Graph)
        return;
    mediaEnded_ = false; // played on from here: watched for stalls again
    Graph->Seek(int64_t(ms));
}

void TFrmMain::ApplyRate(double rate) {
    if (Graph)
        Graph->SetRate(rate);
}
