// Opening media from outside the open dialog: files dropped on either window
// and the open button's list of recent files; and the check that keeps
// special files (named pipes, devices, folders) out of the media graph.
#include "uFrmMain.h"

#include "controls/MyHemibtn.h"
#include "engine/SectionEngine.h"
#include "uFrmPlay.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

// The first local file among the URLs a drag carries, else empty.
QString DroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return {};
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

// Lets the control window and the video window take dropped files. The open
// runs after the drop has been answered: a section start waits with the event
// loop running, and the drag's source must not wait for it.
class TFileDrops : public QObject {
public:
    explicit TFileDrops(TFrmMain* owner) : QObject(owner), owner_(owner) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDropEvent*>(event);
            if (DroppedFile(e->mimeData()).isEmpty())
                return false;
            e->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            const QString file = DroppedFile(e->mimeData());
            if (file.isEmpty())
                return false;
            e->acceptProposedAction();
            QPointer<QWidget> over = qobject_cast<QWidget*>(watched);
            QTimer::singleShot(0, owner_,
                               [o = owner_, file, over] { o->OpenOfferedFile(file, over); });
            return true;
        }
        default:
            return false;
        }
    }

private:
    TFrmMain* owner_;
};

} // namespace

QString TFrmMain::MediaFileRefusal(const QString& path) {
    return ::MediaFileRefusal(path);
}

void TFrmMain::CreateOpenHandlers() {
    auto* drops = new TFileDrops(this);
    setAcceptDrops(true);
    installEventFilter(drops);
    if (FrmPlay) {
        FrmPlay->setAcceptDrops(true);
        FrmPlay->installEventFilter(drops);
    }
    RecentMenu = new QMenu(this);
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    connect(RecentMenu, &QMenu::aboutToShow, this, Guarded([this] { RefreshRecentMenu(); }));
    if (btnSelFile) {
        btnSelFile->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(btnSelFile, &QWidget::customContextMenuRequested, this,
                [this](const QPoint& at) { RecentMenu->popup(btnSelFile->mapToGlobal(at)); });
    }
}

QStringList TFrmMain::RecentFiles() const {
    QStringList files;
    for (int i = 1; i <= kRecentCount; ++i) {
        const QString f = ReadSetting(IniFileName, RecentSetting(i));
        if (!f.isEmpty() && !files.contains(f))
            files << f;
    }
    return files;
}

void TFrmMain::RememberRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    if (!files.isEmpty() && files.first() == path)
        return;
    files.removeAll(path);
    files.prepend(path);
    // Only keys that change are written; the list never shrinks, so no key
    // is left behind.
    for (int i = 0; i < files.size() && i < kRecentCount; ++i) {
        const Setting s = RecentSetting(i + 1);
        if (ReadSetting(IniFileName, s) != files[i])
            WriteSetting(IniFileName, s, files[i]);
    }
}

void TFrmMain::RefreshRecentMenu() {
    RecentMenu->clear();
    const QStringList files = RecentFiles();
    for (const QString& f : files) {
        QAction* a = RecentMenu->addAction(QDir::toNativeSeparators(f));
        a->setData(f);
        a->setEnabled(MediaFileRefusal(f).isEmpty());
        // Chosen inside the menu's own event handling, where the
        // application's error display catches what the open raises.
        connect(a, &QAction::triggered, this, [this, f] { OpenMediaFile(f); });
    }
    if (files.isEmpty())
        RecentMenu->addAction(tr("（无最近文件）"))->setEnabled(false);
}

bool TFrmMain::OpenMediaFile(const QString& path) {
    if (const QString why = MediaFileRefusal(path); !why.isEmpty()) {
        ReportUnplayable(QCoreApplication::translate("Messages", "Cannot play %1: %2")
                             .arg(QDir::toNativeSeparators(path), why));
        return false;
    }
    // Not inside a section start or a repeat's pause, whose schedule would
    // be replaced under it: the file opens as soon as the wait is over (a
    // repeat's pause lasts seconds; refusing lost the file the user gave).
    if (Engine->Waiting()) {
        const bool armed = !pendingOpen_.isEmpty();
        pendingOpen_ = path;
        if (!armed)
            QTimer::singleShot(50, this, &TFrmMain::OpenWhenWaitEnds);
        return true;
    }
    OpenSchedule(path);
    RememberRecentFile(path);
    EngineNow().Stop();
    emit StateChanged(rcFile);
    PlaySection(1, false);
    return true;
}

void TFrmMain::OpenWhenWaitEnds() {
    if (pendingOpen_.isEmpty())
        return;
    if (Engine->Waiting()) {
        QTimer::singleShot(50, this, &TFrmMain::OpenWhenWaitEnds);
        return;
    }
    OpenMediaFile(std::exchange(pendingOpen_, QString()));
}

bool TFrmMain::OpenOfferedFile(const QString& path, QWidget* over, QString* refusal) {
    if (OpenLocked() || Following()) {
        // (Following, the leader says what plays: editing has no say.)
        const QString hint =
            Following() ? tr("跟播中：播放由领播控制") : tr(qUtf8Printable(EditLockedHint));
        ShowPassingHint(hint, over);
        if (refusal)
            *refusal = hint;
        return false;
    }
    if (refusal)
        *refusal = MediaFileRefusal(path);
    return OpenMediaFile(path);
}
