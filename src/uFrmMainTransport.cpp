// Transport controls: choosing the media file, pause, skips of ten seconds,
// taking the playing position as a section's start, and the playback rate;
// the playback ones forward to the section engine.
#include "uFrmMain.h"

#include "SettingKeeper.h"
#include "controls/FlatCtrls.h"
#include "engine/SectionEngine.h"
#include "media/FilterGraph.h"
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
    // Resumes a pause, pauses playback; starts nothing.
    if (FGBrowse && FGBrowse->State() == gsPaused)
        EngineNow().Play();
    else
        EngineNow().Pause();
}

void TFrmMain::btnBackClick(QObject* /*Sender*/) {
    EngineNow().Skip(-10);
}

void TFrmMain::btnNextClick(QObject* /*Sender*/) {
    EngineNow().Skip(10);
}

void TFrmMain::lbPosDblClick(QObject* /*Sender*/) {
    if (!lbPos->isEnabled() || !sgV)
        return;
    const int row = sgV->Row();
    if (row < 1 || row >= sgV->RowCount())
        return;
    sgV->SetCell(4, row, lbPos->text());
    ScheduleEdited = true;
}

void TFrmMain::cbRateChange(QObject* /*Sender*/) {
    if (!FGBrowse || FGBrowse->State() != gsPlaying)
        return;
    bool ok = false;
    const double rate = cbRate->Text().toDouble(&ok);
    ApplyRate(ok ? rate : 1.0);
    Keeper->Keep(Setting::cbRate, QString::number(cbRate->ItemIndex()));
}

void TFrmMain::SeekTo(uint32_t ms) {
    EngineNow().SeekTo(int64_t(ms));
}

void TFrmMain::ApplyRate(double rate) {
    EngineNow().ApplyRate(rate);
}
