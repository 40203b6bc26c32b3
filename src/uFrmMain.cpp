#include "uFrmMain.h"

#include "utPublic.h"

#include <QCloseEvent>

namespace {
// Background colour 6144: red 0, green 24, blue 0.
const QColor kFormColor(0, 24, 0);
constexpr int kClientWidth = 602;
constexpr int kClientHeight = 522;
constexpr int kMinHeight = 300;
} // namespace

TFrmMain::TFrmMain(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Tavrelo"));
    // No caption-bar buttons: the window closes through its own button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kFormColor);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(32);
    setFont(f);
    resize(kClientWidth, kClientHeight);
    setFixedWidth(kClientWidth);
    setMinimumHeight(kMinHeight);
    setWindowOpacity(200.0 / 255.0);
    FormCreate();
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::FormCreate() {}

void TFrmMain::closeEvent(QCloseEvent* event) { event->accept(); }
