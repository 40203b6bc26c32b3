#include "uFrmPlay.h"

#include "media/VideoWindow.h"
#include "settings/Settings.h"
#include "utPublic/utPublic.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kHintWidth = 433;
constexpr int kHintHeight = 97;
} // namespace

TFrmPlay::TFrmPlay(TFilterGraph* graph, QWidget* controlWindow)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), controlWindow_(controlWindow) {
    setObjectName(QStringLiteral("FrmPlay"));
    setWindowTitle(QStringLiteral("Tavrelo"));

    // Children bottom to top: the video surface, then the notice over it.
    VW = new TVideoWindow(this);
    VW->setObjectName(QStringLiteral("VW"));
    VW->VMROptions().SetMode(vmrWindowed);
    QPalette vp = VW->palette();
    vp.setColor(QPalette::Window, Qt::black);
    VW->setPalette(vp);
    VW->SetFilterGraph(graph);
    VW->OnMouseDown = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        VWMouseDown();
    };

    plHint = new QLabel(tr("即将重放 请准备"), this);
    plHint->setObjectName(QStringLiteral("plHint"));
    plHint->resize(kHintWidth, kHintHeight);
    plHint->setAlignment(Qt::AlignCenter);
    plHint->setFrameStyle(QFrame::Panel | QFrame::Sunken); // lowered inner bevel
    plHint->setAutoFillBackground(true);
    QPalette hp = plHint->palette();
    hp.setColor(QPalette::Window, Qt::black);
    hp.setColor(QPalette::WindowText, QColor(255, 0, 0));
    plHint->setPalette(hp);
    QFont hf(QStringLiteral("宋体"));
    hf.setPixelSize(48);
    hf.setBold(true);
    plHint->setFont(hf);

    lbCountdown = new QLabel(this);
    lbCountdown->setObjectName(QStringLiteral("lbCountdown"));
    // Read from across the room like the notice above it: its box, colours,
    // bevel and letters.
    lbCountdown->resize(kHintWidth, kHintHeight);
    lbCountdown->setAlignment(Qt::AlignCenter);
    lbCountdown->setFrameStyle(plHint->frameStyle());
    lbCountdown->setAutoFillBackground(true);
    lbCountdown->setPalette(hp);
    lbCountdown->setFont(hf);
    lbSection = new QLabel(this);
    lbSection->setObjectName(QStringLiteral("lbSection"));
    lbSection->setAutoFillBackground(true);
    QPalette sp = lbSection->palette();
    sp.setColor(QPalette::Window, QColor(0, 0, 0, 160));
    sp.setColor(QPalette::WindowText, Qt::white);
    lbSection->setPalette(sp);
    QFont sf = lbSection->font();
    sf.setPixelSize(24);
    lbSection->setFont(sf);
    lbSection->setMargin(6);

    FormCreate();
    if (controlWindow_)
        connect(controlWindow_, &QObject::destroyed, this, [this] { delete this; });
}

TFrmPlay::~TFrmPlay() = default;

void TFrmPlay::FormCreate() {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    VW->SetStretched(ReadBoolSetting(IniFileName, Setting::chkStretch));
    const bool on = ReadBoolSetting(IniFileName, Setting::chkOn2Monitor);
    PlaceOnMonitor(on && MonitorCount() >= 2 ? 1 : 0);
    plHint->hide();
    lbCountdown->hide();
    lbSection->hide();
}

int TFrmPlay::MonitorCount() {
    return int(QGuiApplication::screens().size());
}

void TFrmPlay::PlaceOnMonitor(int index) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return;
    if (index < 0 || index >= screens.size())
        index = 0;
    setGeometry(screens.at(index)->geometry());
    const int w = width();
    const int h = height();
    plHint->move((w - plHint->width()) / 2, (h - plHint->height()) / 2);
    lbCountdown->move(plHint->x(), plHint->y() + plHint->height());
    PlaceSectionLine();
    VW->setGeometry(0, 0, w, h);
}

void TFrmPlay::ApplyZoom(int z) {
    const int w = width();
    const int h = height();
    if (h <= 0)
        return;
    // 4 pixels per step above and below; left and right in proportion, so the
    // picture keeps the window's shape. 64-bit so that a wild stored zoom
    // cannot overflow.
    const int64_t t = 4 * int64_t(z);
    const int64_t b = int64_t(std::trunc(double(t * w) / double(h)));
    VW->setGeometry(int(-b), int(-t), int(w + 2 * b), int(h + 2 * t));
}

void TFrmPlay::VWMouseDown() {
    if (!controlWindow_)
        return;
    if (ControlWindowInSight()) {
        controlWindow_->hide();
    } else {
        // Hidden, or shown but lying under this full-monitor window: bring
        // it above the video, or the press would seem to do nothing.
        controlWindow_->show();
        controlWindow_->raise();
    }
}

bool TFrmPlay::ControlWindowInSight() const {
    QWidget* c = controlWindow_;
    if (!c->isVisible() || c->isMinimized())
        return false;
    // Ask the window system which top-level window shows at a few points of
    // the control window (its middle and just inside its corners): any of
    // them being the control window's own means the user can see and reach
    // it. Something else at every point means it is covered.
    const QRect r = c->frameGeometry();
    const int in = std::min({8, r.width() / 2, r.height() / 2});
    const QPoint probes[] = {r.center(), r.topLeft() + QPoint(in, in),
                             r.topRight() + QPoint(-in, in), r.bottomLeft() + QPoint(in, -in),
                             r.bottomRight() + QPoint(-in, -in)};
    bool answered = false;
    for (const QPoint& p : probes) {
        const QWindow* top = QGuiApplication::topLevelAt(p);
        if (!top)
            continue;
        answered = true;
        if (top == c->windowHandle())
            return true;
    }
    if (answered)
        return false;
    // The platform cannot tell (nothing known at those points): the control
    // window counts as covered when this window lies over it and is the
    // active one.
    if (!isVisible() || !frameGeometry().intersects(r))
        return true;
    return !isActiveWindow();
}

void TFrmPlay::ShowCountdown(int seconds) {
    lbCountdown->setText(seconds > 0 ? QString::number(seconds) : QString());
    lbCountdown->setVisible(seconds > 0);
    if (seconds > 0)
        lbCountdown->raise();
}

void TFrmPlay::PlaceSectionLine() {
    // At the bottom left, where the control window (top left as it opens)
    // is never by default, in letters readable from across the room: an
    // eighteenth of the screen's height, 60 pixels on a 1080-line screen.
    QFont f = lbSection->font();
    f.setPixelSize(std::max(24, height() / 18));
    lbSection->setFont(f);
    lbSection->setMargin(f.pixelSize() / 6);
    lbSection->adjustSize();
    const int edge = std::max(16, height() / 36);
    lbSection->move(edge, height() - edge - lbSection->height());
}

void TFrmPlay::ShowSectionLine(const QString& text) {
    lbSection->setText(text);
    PlaceSectionLine();
    lbSection->setVisible(!text.isEmpty());
    if (!text.isEmpty())
        lbSection->raise();
}
