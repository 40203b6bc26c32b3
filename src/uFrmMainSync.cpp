// The room's switches "领播" and "跟播" and the follower's panel (see
// uFrmMainSync.h).
#include "uFrmMainSync.h"

#include "controls/FlatCtrls.h"
#include "controls/MyHemibtn.h"
#include "engine/EngineClock.h"
#include "engine/SectionEngine.h"
#include "media/GraphPlayback.h"
#include "remote/RemoteServer.h"
#include "settings/Settings.h"
#include "sync/SyncFollower.h"
#include "sync/SyncLeader.h"
#include "sync/SyncLink.h"
#include "uFrmMain.h"
#include "utPublic/AtomicFile.h"
#include "utPublic/utPublic.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimer>

namespace {

// "host:port" or "host" (the phone remote's default port); an IPv6 address
// in brackets. False when it names no port in range.
bool ParseLeaderAddress(const QString& text, QString* host, quint16* port) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\[[0-9a-fA-F:.]+\\]|[A-Za-z0-9.\\-]+)(?::(\\d{1,5}))?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    *host = m.captured(1);
    if (host->startsWith(u'['))
        *host = host->mid(1, host->size() - 2);
    const int p = m.captured(2).isEmpty()
                      ? QString::fromUtf8(SettingEntry(Setting::RemotePort).def).toInt()
                      : m.captured(2).toInt();
    if (p < 1 || p > 65535)
        return false;
    *port = quint16(p);
    return true;
}

// A switch or the leader's address stored; a refused write (a read-only
// settings file) only leaves it unstored: following goes on.
void Store(Setting s, const QString& value) {
    try {
        // The settings file holds the leader's PIN: its owner's alone, as
        // for the phone remote's own PIN.
        if (s == Setting::FollowPin)
            AtomicFileWriter::MakePrivate(IniFileName);
        WriteSetting(IniFileName, s, value);
    } catch (const std::exception&) {
    }
}

// Keeps the panel at the foot of the table as the window changes size.
class TPanelPlacer : public QObject {
public:
    TPanelPlacer(QWidget* window, TFrmMainSync* sync) : QObject(window), sync_(sync) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Move || e->type() == QEvent::Show)
            sync_->PlacePanel();
        return false;
    }

private:
    TFrmMainSync* sync_;
};

} // namespace

bool TFrmMain::Following() const {
    return Sync && Sync->Following();
}

TFrmMainSync::TFrmMainSync(TFrmMain& frm) : QObject(&frm), frm_(frm) {
    // Beside "手机遥控", whose server leading uses: the practice row has no
    // room left at the window's width.
    QWidget* row = frm_.chkRemote;
    auto make = [&](const char* name, const QString& caption, const QString& hint) {
        auto* c = new QCheckBox(caption, row->parentWidget());
        c->setObjectName(QLatin1String(name));
        c->setFont(row->font());
        c->setPalette(row->palette());
        c->setToolTip(hint);
        c->setMouseTracking(true);
        c->setGeometry(0, row->y(), 0, 0);
        return c;
    };
    chkLead = make("chkLead", tr("领播"), tr("让局域网中的其他播放器跟随本机同步播放"));
    chkFollow = make("chkFollow", tr("跟播"), tr("跟随另一台播放器（领播）同步播放"));
    // The hint line of that row ends before them; all of it in its tooltip.
    QLabel* hint = frm_.Label2;
    if (hint)
        hint->setToolTip(hint->text());
    frm_.WhenBottomRowsInSight([this, row, hint] {
        for (QCheckBox* c : {chkLead, chkFollow})
            c->adjustSize();
        chkFollow->setGeometry(row->x() - 8 - chkFollow->width(), row->y(), chkFollow->width(),
                               row->height());
        chkLead->setGeometry(chkFollow->x() - 8 - chkLead->width(), row->y(), chkLead->width(),
                             row->height());
        if (hint) {
            hint->setText(hint->fontMetrics().elidedText(hint->text(), Qt::ElideRight,
                                                         chkLead->x() - hint->x() - 6));
            hint->adjustSize();
        }
    });

    // Inside the control window, over the foot of the table: part of the
    // window's own picture of what it does.
    plSync = new QFrame(&frm_);
    plSync->setObjectName(QStringLiteral("plSync"));
    plSync->setFrameStyle(QFrame::Panel | QFrame::Raised);
    plSync->setAutoFillBackground(true);
    QPalette pal = plSync->palette();
    pal.setColor(QPalette::Window, QColor(0, 24, 48));
    pal.setColor(QPalette::WindowText, Qt::white);
    plSync->setPalette(pal);
    QFont small = row->font();
    small.setPixelSize(14);
    plSync->setFont(small);
    auto* grid = new QGridLayout(plSync);
    grid->setContentsMargins(6, 4, 6, 4);
    edFollowAddress = new QLineEdit(plSync);
    edFollowAddress->setObjectName(QStringLiteral("edFollowAddress"));
    edFollowAddress->setPlaceholderText(QStringLiteral("192.168.1.5:8765"));
    edFollowAddress->setMaxLength(80);
    edFollowPin = new QLineEdit(plSync);
    edFollowPin->setObjectName(QStringLiteral("edFollowPin"));
    edFollowPin->setMaxLength(6);
    edFollowPin->setMaximumWidth(80);
    edFollowPin->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,6}")), edFollowPin));
    lbSync = new QLabel(plSync);
    lbSync->setObjectName(QStringLiteral("lbSync"));
    lbSync->setWordWrap(true);
    btnLeave = new QPushButton(tr("退出跟播"), plSync);
    btnLeave->setObjectName(QStringLiteral("btnLeave"));
    grid->addWidget(new QLabel(tr("领播地址"), plSync), 0, 0);
    grid->addWidget(edFollowAddress, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("PIN"), plSync), 0, 2);
    grid->addWidget(edFollowPin, 0, 3);
    grid->addWidget(btnLeave, 0, 4);
    // This screen's sound and picture later (+) or earlier (-) than the
    // leader's: speakers on HDMI or Bluetooth, or far across the room.
    seLatency = new QSpinBox(plSync);
    seLatency->setObjectName(QStringLiteral("seLatency"));
    seLatency->setRange(-SyncFollower::kMaxLatencyMs, SyncFollower::kMaxLatencyMs);
    seLatency->setSingleStep(5);
    seLatency->setSuffix(QStringLiteral(" ms"));
    seLatency->setToolTip(tr("本机的声音和画面比领播晚（+）或早（-）多少毫秒，用于补偿 HDMI、"
                             "蓝牙音箱或远处音箱的延迟"));
    grid->addWidget(lbSync, 1, 0, 1, 3);
    grid->addWidget(new QLabel(tr("延迟补偿"), plSync), 1, 3);
    grid->addWidget(seLatency, 1, 4);
    grid->setColumnStretch(1, 1);
    plSync->hide();
    new TPanelPlacer(&frm_, this);

    connect(chkLead, &QCheckBox::toggled, this, [this] { chkLeadClick(chkLead); });
    connect(chkFollow, &QCheckBox::toggled, this, [this] { chkFollowClick(chkFollow); });
    connect(btnLeave, &QPushButton::clicked, this, [this] { btnLeaveClick(btnLeave); });
    connect(seLatency, &QSpinBox::valueChanged, this, [this] { seLatencyChange(seLatency); });
    for (QLineEdit* e : {edFollowAddress, edFollowPin})
        connect(e, &QLineEdit::returnPressed, this, [this] {
            if (chkFollow->isChecked() && !Following())
                StartFollowing();
        });
    // The follower's words follow its status and its link's.
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, &TFrmMainSync::ShowFollowerStatus);
    refresh->start(1000);
}

void TFrmMainSync::LoadSwitches() {
    edFollowAddress->setText(ReadSetting(IniFileName, Setting::FollowAddress));
    const QString pin = ReadSetting(IniFileName, Setting::FollowPin);
    // (A PIN written before its file was kept private: made so now.)
    if (!pin.isEmpty())
        AtomicFileWriter::MakePrivate(IniFileName);
    edFollowPin->setText(pin);
    {
        // Before following starts: it starts on this offset.
        const QSignalBlocker quiet(seLatency);
        seLatency->setValue(ReadIntSetting(IniFileName, Setting::FollowLatencyMs, 0));
    }
    if (ReadBoolSetting(IniFileName, Setting::chkFollow))
        chkFollow->setChecked(true);
    else if (ReadBoolSetting(IniFileName, Setting::chkLead))
        chkLead->setChecked(true);
}

void TFrmMainSync::PlacePanel() {
    if (!chkFollow->isChecked()) {
        plSync->hide();
        return;
    }
    // Across the window, just above the bottom panel.
    const int h = plSync->sizeHint().height();
    const int bottom = frm_.plBottom ? frm_.plBottom->y() : frm_.height();
    plSync->setGeometry(0, std::max(0, bottom - h), frm_.width(), h);
    plSync->show();
    plSync->raise();
}

// --- Leading ---------------------------------------------------------------------------

void TFrmMainSync::chkLeadClick(QObject* /*Sender*/) {
    const bool on = chkLead->isChecked();
    Store(Setting::chkLead, BoolToText(on));
    if (on)
        StartLeading();
    else
        StopLeading();
}

void TFrmMainSync::StartLeading() {
    if (chkFollow->isChecked())
        chkFollow->setChecked(false);
    // The remote's PIN is the room's: its file the owner's alone, the
    // remote already on or not.
    AtomicFileWriter::MakePrivate(IniFileName);
    // The room is served by the phone remote's server.
    if (!frm_.RemoteServer)
        frm_.chkRemote->setChecked(true);
    // The clock answers on the remote's own port number (UDP beside its
    // TCP), so that one number is let through a firewall; on any free port
    // when another program holds that one.
    uint16_t clockPort = 0;
    QString error;
    bool led = false;
    if (frm_.RemoteServer) {
        const QString any = QStringLiteral("0.0.0.0");
        clockPort = frm_.RemoteServer->Port();
        led = frm_.Graph->LeadClock(any, &clockPort, nullptr);
        if (!led) {
            clockPort = 0;
            led = frm_.Graph->LeadClock(any, &clockPort, &error);
        }
    }
    if (!led) {
        frm_.ShowPassingHint(
            tr("无法领播：%1").arg(error.isEmpty() ? tr("手机遥控未能开启") : error));
        const QSignalBlocker quiet(chkLead);
        chkLead->setChecked(false);
        return;
    }
    leader_ = new SyncLeader(*frm_.Engine, *frm_.Graph, this);
    leader_->SetClockPort(clockPort);
    connect(leader_, &SyncLeader::Publish, this, [this](const QByteArray& message) {
        // The server is made anew when the PIN is renewed: it leads too.
        if (TRemoteServer* server = frm_.RemoteServer) {
            server->SetLeading(true);
            server->PublishSync(message);
        }
    });
    // The last word (the end) reaches the followers before the program ends.
    connect(frm_.Engine, &SectionEngine::StateChanged, leader_, [this](SectionEngine::State s) {
        if (s == SectionEngine::State::Ended && frm_.RemoteServer)
            frm_.RemoteServer->FlushFollowers();
    });
    if (frm_.RemoteServer)
        frm_.RemoteServer->SetLeading(true);
}

uint16_t TFrmMainSync::ClockPort() const {
    return leader_ ? leader_->ClockPort() : 0;
}

void TFrmMainSync::StopLeading() {
    delete leader_;
    leader_ = nullptr;
    if (frm_.RemoteServer)
        frm_.RemoteServer->SetLeading(false);
    if (!Following())
        frm_.Graph->ClockAlone();
}

// --- Following -------------------------------------------------------------------------

void TFrmMainSync::chkFollowClick(QObject* /*Sender*/) {
    const bool on = chkFollow->isChecked();
    Store(Setting::chkFollow, BoolToText(on));
    if (on) {
        if (chkLead->isChecked())
            chkLead->setChecked(false);
        PlacePanel();
        StartFollowing();
    } else {
        StopFollowing();
        PlacePanel();
    }
}

void TFrmMainSync::btnLeaveClick(QObject* /*Sender*/) {
    chkFollow->setChecked(false);
}

void TFrmMainSync::seLatencyChange(QObject* /*Sender*/) {
    Store(Setting::FollowLatencyMs, QString::number(seLatency->value()));
    if (follower_) {
        SyncFollower::Options o = follower_->GetOptions();
        o.LatencyOffsetMs = seLatency->value();
        follower_->SetOptions(o);
    }
}

void TFrmMainSync::StartFollowing() {
    QString host;
    quint16 port = 0;
    const QString pin = edFollowPin->text().trimmed();
    if (!ParseLeaderAddress(edFollowAddress->text(), &host, &port) || pin.size() != 6) {
        lbSync->setText(tr("填写领播的地址（如 192.168.1.5:8765）和 PIN，再按回车"));
        PlacePanel();
        return;
    }
    Store(Setting::FollowAddress, edFollowAddress->text().trimmed());
    Store(Setting::FollowPin, pin);
    // The window's own engine rests: the leader says what plays.
    frm_.EngineNow().Stop();
    follower_ = new SyncFollower(*frm_.Graph, *frm_.Graph, *frm_.View, *frm_.SysClock, this);
    follower_->SetLeader(host);
    SyncFollower::Options o;
    const SectionEngine::Options& own = frm_.EngineNow().GetOptions();
    o.End = own.End;
    o.SectionLine = own.SectionLine;
    o.Volume = own.Volume;
    o.LatencyOffsetMs = seLatency->value();
    // The media is looked for beside the files this player knows.
    if (!frm_.CurFile.isEmpty())
        o.Folders << QFileInfo(frm_.CurFile).path();
    for (const QString& f : frm_.RecentFiles())
        if (!o.Folders.contains(QFileInfo(f).path()))
            o.Folders << QFileInfo(f).path();
    o.Folders << frm_.AppPath;
    follower_->SetOptions(o);
    connect(follower_, &SyncFollower::StatusChanged, this, &TFrmMainSync::ShowFollowerStatus);
    connect(follower_, &SyncFollower::MediaOpened, this, [this](const QString& path) {
        frm_.OpenSchedule(path);
        frm_.NotifyStateChanged(rcFile);
    });
    link_ = new SyncLink(this);
    connect(link_, &SyncLink::StateReceived, follower_, &SyncFollower::Apply);
    connect(link_, &SyncLink::Lost, follower_, &SyncFollower::Lost);
    link_->Start(host, port, pin);
    edFollowAddress->setEnabled(false);
    edFollowPin->setEnabled(false);
    EnableTransport(false);
    ShowFollowerStatus();
    PlacePanel();
}

void TFrmMainSync::StopFollowing() {
    if (!follower_)
        return;
    link_->Stop();
    follower_->Leave();
    // Later: "退出跟播" may be clicked inside one of the follower's waits
    // (a seek landing), with its start still on the stack.
    link_->deleteLater();
    follower_->deleteLater();
    link_ = nullptr;
    follower_ = nullptr;
    edFollowAddress->setEnabled(true);
    edFollowPin->setEnabled(true);
    EnableTransport(true);
    lbSync->clear();
}

void TFrmMainSync::EnableTransport(bool on) {
    // Following, the window's own playing controls rest: its state is the
    // leader's. Each says so as its hint while it rests; its own comes back.
    static constexpr const char* kOwnHint = "tavreloOwnHint";
    const QString reason = QCoreApplication::translate("TFrmMain", "跟播中：播放由领播控制");
    for (QWidget* w : std::initializer_list<QWidget*>{frm_.btnPause, frm_.btnBack, frm_.btnNext,
                                                      frm_.btnSelFile, frm_.cbRate}) {
        if (!w)
            continue;
        const QVariant own = w->property(kOwnHint);
        if (!on && !own.isValid()) {
            w->setProperty(kOwnHint, w->toolTip());
            w->setToolTip(reason);
        } else if (on && own.isValid()) {
            w->setToolTip(own.toString());
            w->setProperty(kOwnHint, QVariant());
        }
        w->setEnabled(on);
    }
    // The file button stays as locked as "允许编辑" says.
    frm_.UpdateOpenLock();
}

void TFrmMainSync::ShowFollowerStatus() {
    if (!follower_ || !link_)
        return;
    // The engine, resting, tells no position: the graph's is shown.
    if (const auto ms = frm_.Graph->KnownPositionMs())
        frm_.lbPos->setText(SecToTimeStr(int(*ms / 1000)));
    if (const int64_t length = frm_.Graph->DurationMs(); length > 0)
        frm_.lbLen->setText(SecToTimeStr(int(length / 1000)));
    const QString leader = edFollowAddress->text().trimmed();
    QString text;
    bool waitingForClock = false;
    switch (follower_->GetStatus()) {
    case SyncFollower::Status::Following:
        text = tr("跟播中：领播 %1").arg(leader);
        // Its seek too slow for the leader's start: it came in a moment
        // after, and meets the next start if it can.
        if (follower_->MissedStart())
            text += tr("（没赶上领播的这次开始，稍后已跟上）");
        break;
    case SyncFollower::Status::MissingMedia:
        text = tr("本机没有领播的媒体文件：%1（%2 字节）")
                   .arg(follower_->Needed().Name)
                   .arg(follower_->Needed().Size);
        break;
    case SyncFollower::Status::LeaderLost:
        text = tr("与领播断开：本节播完后暂停，领播恢复后自动继续");
        break;
    case SyncFollower::Status::LeaderEnded:
        text = tr("领播已结束");
        break;
    case SyncFollower::Status::Failed:
        text = tr("跟播出错：无法播放领播的媒体文件");
        break;
    default:
        if (link_->IsConnected()) {
            waitingForClock = true;
            // The clock's questions go by UDP: a firewall that lets the
            // link through may still drop them.
            if (!clockWait_.isValid())
                clockWait_.start();
            text = clockWait_.elapsed() < kClockWaitMs || frm_.Graph->ClockNowNs()
                       ? tr("正在与领播同步时钟…")
                       : tr("收不到领播的时钟：领播电脑须放行 UDP 端口 %1")
                             .arg(follower_->ClockPort());
            break;
        }
        switch (link_->LastTrouble()) {
        case SyncLink::Trouble::Redirected:
            // Never followed: the PIN and the session are the leader's alone.
            text = tr("领播 %1 要求转到别的地址：已拒绝，请核对领播地址").arg(leader);
            break;
        case SyncLink::Trouble::NoAnswer:
            text = link_->RetryInMs() > 0 ? tr("领播 %1 没有应答：%2 秒后重试")
                                                .arg(leader)
                                                .arg((link_->RetryInMs() + 999) / 1000)
                                          : tr("领播 %1 没有应答：正在重试…").arg(leader);
            break;
        default:
            text = link_->LastError().isEmpty()
                       ? tr("正在连接领播 %1…").arg(leader)
                       : tr("无法连接领播 %1：%2").arg(leader, link_->LastError());
            break;
        }
        break;
    }
    if (!waitingForClock)
        clockWait_.invalidate();
    if (lbSync->text() != text) {
        lbSync->setText(text);
        PlacePanel();
    }
}
