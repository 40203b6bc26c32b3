#include "uFrmPlay.h"

#include "utPublic.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {
constexpr int kHintWidth = 433;
constexpr int kHintHeight = 97;
} // namespace

TFrmPlay::TFrmPlay(TFilterGraph* graph, QWidget* controlWindow)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), controlWindow_(controlWindow) {
    (void)graph;
    setWindowTitle(QStringLiteral("Tavrelo"));
    plHint = new QLabel(QStringLiteral("即将重放 请准备"), this);
    plHint->resize(kHintWidth, kHintHeight);
    FormCreate();
    if (controlWindow_)
        connect(controlWindow_, &QObject::destroyed, this, [this] { delete this; });
}

TFrmPlay::~TFrmPlay() = default;

void TFrmPlay::FormCreate() {
    const bool on = TextToBool(
        ReadIniText(IniFileName, QStringLiteral("START"), QStringLiteral("chkOn2Monitor")));
    PlaceOnMonitor(on && MonitorCount() >= 2 ? 1 : 0);
    plHint->hide();
}

int TFrmPlay::MonitorCount() {
    return int(QGuiApplication::screens().size());
}

void TFrmPlay::PlaceOnMonitor(int index) {
    (void)index;
}

void TFrmPlay::ApplyZoom(int z) {
    (void)z;
}

void TFrmPlay::VWMouseDown() {}
