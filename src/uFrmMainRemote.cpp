// Control from across the room: the player on the desktop's media bus, and
// the opt-in phone remote with its switch "手机遥控", the address, its QR
// code and the PIN shown on the control window while it is on.
#include "uFrmMain.h"
#include "uFrmPlay.h"

#include "controls/FontCatalog.h"
#include "engine/SectionEngine.h"
#include "remote/Mpris.h"
#include "remote/QrCode.h"
#include "remote/RemoteServer.h"
#include "uFrmMainGrid.h"
#include "utPublic/AtomicFile.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QNetworkInterface>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>

#include <exception>

namespace {

constexpr int kQrModulePixels = 3;

// What the remotes ask: playback commands go to the section engine (a
// section command arriving while a section starts is kept, the latest one
// winning), the volume, the rate and the controls to the window's own
// handlers. The state they show is the engine's (TFrmMain::PlayerState).
class TFrmMainRemotePlayer : public TRemotePlayer {
public:
    explicit TFrmMainRemotePlayer(TFrmMain* frm) : TRemotePlayer(frm), frm_(frm) {
        connect(frm, &TFrmMain::StateChanged, this, &TRemotePlayer::StateChanged);
    }
    TRemoteState State() const override { return frm_->PlayerState(); }
    QList<double> Rates() const override { return frm_->RateChoices(); }
    // Following, the phone's commands are refused: the leader says what plays.
    bool Busy() const override { return frm_->Following(); }
    void PlayPause() override { frm_->EngineNow().PlayPause(); }
    void Play() override { frm_->EngineNow().Play(); }
    void Pause() override { frm_->EngineNow().Pause(); }
    void Stop() override { frm_->EngineNow().Stop(); }
    void Skip(int seconds) override {
        frm_->EngineNow().Skip(seconds);
        frm_->NotifyStateChanged(rcSeek);
    }
    void SeekTo(int64_t ms) override {
        frm_->EngineNow().SeekTo(ms);
        frm_->NotifyStateChanged(rcSeek);
    }
    void VolumeStep(int percent) override { frm_->ActVolumeStep(percent); }
    void SetVolume(int volume) override { frm_->ActSetVolume(volume); }
    void RateStep(int direction) override { frm_->ActRateStep(direction); }
    void SetRate(double rate) override { frm_->ActSetRate(rate); }
    void NextSection() override { frm_->EngineNow().PlayNext(); }
    // Restarts the current section, or plays the previous one within the
    // first 3 s of the current one.
    void PreviousSection() override { frm_->EngineNow().PlayPrevious(); }
    void RestartSection() override { frm_->EngineNow().RestartSection(); }
    void PlaySectionNumber(int n) override { frm_->EngineNow().PlaySectionN(n); }
    void ToggleControls() override { frm_->ActToggleControls(); }
    void ShowControls() override { frm_->ActShowControls(); }
    QString OpenFile(const QString& path) override {
        QString refusal;
        return frm_->OpenOfferedFile(path, nullptr, &refusal) ? QString() : refusal;
    }

private:
    TFrmMain* frm_;
};

// Keeps the remote's panel beside the control window as the window moves or
// changes size.
class TFollowWindow : public QObject {
public:
    TFollowWindow(QWidget* window, std::function<void()> place)
        : QObject(window), place_(std::move(place)) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        // Not while the window is taken down (it is a plain widget by then).
        if (!qobject_cast<TFrmMain*>(watched))
            return false;
        // Qt does not hide a child window with its parent: the panel follows
        // the window's hiding itself.
        if (e->type() == QEvent::Resize || e->type() == QEvent::Move || e->type() == QEvent::Show ||
            e->type() == QEvent::Hide)
            place_();
        return false;
    }

private:
    std::function<void()> place_;
};

// Keeps a window of the control window's (the remote's panel) under the
// video window: lowered whenever the video window is shown or activated.
// Raised again with the control window (PlaceRemotePanel).
class TBeneathVideo : public QObject {
public:
    TBeneathVideo(QWidget* video, QWidget* panel) : QObject(panel), panel_(panel) {
        video->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if ((e->type() == QEvent::Show || e->type() == QEvent::WindowActivate) &&
            panel_->isVisible())
            panel_->lower();
        return false;
    }

private:
    QWidget* panel_;
};

// A settings write of the remote. The settings file holds the PIN: it is
// made readable by its owner only before anything is written to it (a new
// one is created so), and the writer keeps that mode.
void WriteRemoteSetting(Setting s, const QString& value) {
    AtomicFileWriter::MakePrivate(IniFileName);
    WriteSetting(IniFileName, s, value);
}

QString NewPin() {
    return QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1000000), 6, 10,
                                    QLatin1Char('0'));
}

// The address a phone on the local network reaches: the first IPv4 address
// of an interface that is up and not the loopback; the loopback otherwise.
QString LanAddress() {
    for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : nif.addressEntries())
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol && !e.ip().isLoopback())
                return e.ip().toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}

} // namespace

void TFrmMain::CreateRemoteControls() {
    ChainActionNotifications();
    RemotePlayer = new TFrmMainRemotePlayer(this);
    // Without a session bus there is simply no media-bus remote.
    Mpris = TMprisService::Create(RemotePlayer, QDBusConnection::sessionBus(), this);

    chkRemote = new QCheckBox(tr("手机遥控"), plBottom);
    chkRemote->setObjectName(QStringLiteral("chkRemote"));
    chkRemote->setFont(SongTiFont(12));
    chkRemote->setPalette(chkRePlay->palette());
    chkRemote->setGeometry(0, 121, 0, 0);
    // At the end of the second hint line, left of the timeline's switch,
    // as wide as its caption (a fixed width covered the timeline's box in
    // English).
    WhenBottomRowsInSight([this] {
        chkRemote->adjustSize();
        const int right = chkTimeline ? chkTimeline->x() - 8 : plBottom->width() - 4;
        chkRemote->setGeometry(right - chkRemote->width(), 121, chkRemote->width(), 14);
    });
    chkRemote->setToolTip(tr("在局域网中用手机浏览器遥控播放"));
    chkRemote->setMouseTracking(true);

    // A window of its own beside the control window: it covers none of the
    // window's controls at any size.
    plRemote = new QFrame(this, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    plRemote->setAttribute(Qt::WA_ShowWithoutActivating);
    plRemote->setObjectName(QStringLiteral("plRemote"));
    plRemote->setFrameStyle(QFrame::Panel | QFrame::Raised);
    plRemote->setAutoFillBackground(true);
    QPalette pal = plRemote->palette();
    pal.setColor(QPalette::Window, QColor(0, 40, 0));
    plRemote->setPalette(pal);
    imgRemoteQr = new QLabel(plRemote);
    imgRemoteQr->setObjectName(QStringLiteral("imgRemoteQr"));
    lbRemote = new QLabel(plRemote);
    lbRemote->setObjectName(QStringLiteral("lbRemote"));
    lbRemote->setFont(SongTiFont(14));
    lbRemote->setPalette(chkRePlay->palette());
    lbRemote->setWordWrap(true);
    lbRemote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnRemotePin = new QPushButton(tr("新PIN"), plRemote);
    btnRemotePin->setObjectName(QStringLiteral("btnRemotePin"));
    btnRemotePin->setFont(SongTiFont(12));
    btnRemotePin->setToolTip(tr("换一个新的 PIN，已配对的手机须重新配对；两分钟内可以配对"));
    btnRemotePin->setFocusPolicy(Qt::NoFocus);
    connect(btnRemotePin, &QPushButton::clicked, this, Guarded([this] {
                WriteRemoteSetting(Setting::RemotePin, NewPin());
                chkRemoteClick(chkRemote);
            }));
    plRemote->hide();
    new TFollowWindow(this, [this] { PlaceRemotePanel(); });
    // The address and PIN are for the person at the controls, not for a
    // room watching the video: whenever the video window comes up, the
    // panel goes beneath it.
    if (FrmPlay)
        new TBeneathVideo(FrmPlay.get(), plRemote);

    chkRemote->setChecked(ReadBoolSetting(IniFileName, Setting::chkRemote));
    connect(chkRemote, &QCheckBox::toggled, this, [this] { chkRemoteClick(chkRemote); });
    if (chkRemote->isChecked()) {
        try {
            chkRemoteClick(chkRemote);
        } catch (const std::exception& e) {
            lbRemote->setText(QString::fromUtf8(e.what()));
        }
    }
}

void TFrmMain::PlaceRemotePanel() {
    if (!plRemote)
        return;
    // Shown with the control window while the remote is on.
    if (!chkRemote->isChecked() || !isVisible()) {
        plRemote->hide();
        return;
    }
    const int qr = imgRemoteQr->pixmap().isNull() ? 0 : imgRemoteQr->pixmap().width();
    const int w = qr + 160;
    const int h = std::max(qr, 80) + 8;
    imgRemoteQr->setGeometry(4, 4, qr, qr);
    lbRemote->setGeometry(qr + 10, 4, w - qr - 14, h - 34);
    btnRemotePin->setGeometry(qr + 10, h - 28, 64, 22);
    // Right of the window, level with its bottom panel; left of it where the
    // screen ends; below or above it where neither side has room.
    const QRect frame = frameGeometry();
    const QScreen* screen = this->screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(frame.adjusted(-w, -h, w, h));
    // (The window's own layout may not have run yet when it is resized.)
    const int top =
        std::clamp(frame.bottom() + 1 - h, avail.top(), std::max(avail.top(), avail.bottom() - h));
    QPoint at(frame.right() + 1, top);
    if (at.x() + w > avail.right() + 1)
        at.setX(frame.left() - w);
    if (at.x() < avail.left())
        at = QPoint(
            std::clamp(frame.right() - w, avail.left(), std::max(avail.left(), avail.right() - w)),
            frame.bottom() + h < avail.bottom() ? frame.bottom() + 1 : frame.top() - h);
    // A screen too small for all of that: on it still, over the window.
    at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - h)));
    plRemote->setGeometry(QRect(at, QSize(w, h)));
    // Over the video only when the control window is: shown with it, and
    // raised with it when it is activated; beneath the video otherwise.
    const bool wasShown = plRemote->isVisible();
    plRemote->show();
    if (!wasShown || isActiveWindow())
        plRemote->raise();
    if (FrmPlay && FrmPlay->isVisible() && !isActiveWindow() && FrmPlay->isActiveWindow())
        plRemote->lower();
}

void TFrmMain::chkRemoteClick(QObject* /*Sender*/) {
    const bool on = chkRemote->isChecked();
    delete RemoteServer;
    RemoteServer = nullptr;
    if (ReadSetting(IniFileName, Setting::chkRemote) != BoolToText(on))
        WriteRemoteSetting(Setting::chkRemote, BoolToText(on));
    if (!on) {
        PlaceRemotePanel();
        return;
    }
    // The PIN there may have been written before its file was kept private
    // (a file copied, or one of an older version): made so when it is used.
    AtomicFileWriter::MakePrivate(IniFileName);
    QString pin = ReadSetting(IniFileName, Setting::RemotePin).trimmed();
    static const QRegularExpression sixDigits(QStringLiteral("^[0-9]{6}$"));
    if (!sixDigits.match(pin).hasMatch()) {
        pin = NewPin();
        WriteRemoteSetting(Setting::RemotePin, pin);
    }
    const int defaultPort = QString::fromUtf8(SettingEntry(Setting::RemotePort).def).toInt();
    bool ok = false;
    int port = ReadSetting(IniFileName, Setting::RemotePort).trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        port = defaultPort;

    RemoteServer = new TRemoteServer(RemotePlayer, pin, this);
    QString error;
    if (!RemoteServer->Listen(QHostAddress::AnyIPv4, quint16(port), &error)) {
        delete RemoteServer;
        RemoteServer = nullptr;
        imgRemoteQr->clear();
        lbRemote->setText(tr("手机遥控无法使用端口 %1：%2").arg(port).arg(error));
    } else {
        const QString url = QStringLiteral("http://%1:%2/").arg(LanAddress()).arg(port);
        imgRemoteQr->setPixmap(QPixmap::fromImage(QrCodeImage(url, kQrModulePixels)));
        lbRemote->setText(QStringLiteral("%1\nPIN %2").arg(url, pin));
    }
    PlaceRemotePanel();
}
