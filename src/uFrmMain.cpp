#include "uFrmMain.h"

#include "utPublic.h"

#include <QCloseEvent>

// Temporary empty bodies so that the module links while the window is built.
const QString TFrmMain::ColTitles[6] = {QStringLiteral("序号"),   QStringLiteral("播放"),
                                        QStringLiteral("加"),     QStringLiteral("减"),
                                        QStringLiteral("时间点"), QStringLiteral("开播内容")};

TFrmMain::TFrmMain(QWidget* parent) : QWidget(parent) {
    FormCreate();
}
TFrmMain::~TFrmMain() = default;
void TFrmMain::FormCreate() {}
void TFrmMain::FormActivate() {}
void TFrmMain::FormKeyPress(QChar) {}
void TFrmMain::FormClose() {}
void TFrmMain::btnCloseClick(QObject*) {}
void TFrmMain::sgVDrawCell(QObject*, int, int, const QRect&, QPainter&, bool) {}
void TFrmMain::sgVClick(QObject*) {}
void TFrmMain::sgVMouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
QString TFrmMain::sgVGetEditMask(int, int) {
    return {};
}
void TFrmMain::sgVSetEditText(int, int, const QString&) {}
void TFrmMain::sgVMouseWheelDown(QObject*, bool&) {}
void TFrmMain::sgVMouseWheelUp(QObject*, bool&) {}
void TFrmMain::btnAddClick(QObject*) {}
void TFrmMain::btnDelClick(QObject*) {}
void TFrmMain::chkEditClick(QObject*) {}
void TFrmMain::RenumberRows() {}
void TFrmMain::SetEditMode(bool) {}
QString TFrmMain::StepCount(const QString&, bool, int, int) {
    return {};
}
void TFrmMain::LoadSettings() {}
void TFrmMain::LoadWindowBounds() {}
void TFrmMain::SaveWindowBounds() {}
void TFrmMain::OpenSchedule(const QString&) {}
void TFrmMain::btnSaveClick(QObject*) {}
void TFrmMain::btnRestoreClick(QObject*) {}
void TFrmMain::rbExitClick(QObject*) {}
void TFrmMain::rbShutClick(QObject*) {}
void TFrmMain::rbPlayClick(QObject*) {}
void TFrmMain::chkAutoPlayClick(QObject*) {}
void TFrmMain::chkRePlayClick(QObject*) {}
void TFrmMain::chkPauseClick(QObject*) {}
void TFrmMain::cbDelayChange(QObject*) {}
void TFrmMain::tmIdelTimer(QObject*) {}
void TFrmMain::FormMouseMove(QObject*, Qt::KeyboardModifiers, int, int) {}
void TFrmMain::chkHideClick(QObject*) {}
void TFrmMain::cbHideTimeChange(QObject*) {}
void TFrmMain::cbTransChange(QObject*) {}
void TFrmMain::btnUPClick(QObject*) {}
void TFrmMain::btnDownClick(QObject*) {}
void TFrmMain::FormResize(QObject*) {}
void TFrmMain::ApplyOpacity() {}
bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
    return QWidget::eventFilter(watched, event);
}
void TFrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
}
void TFrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
}
void TFrmMain::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
}
void TFrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
}
void TFrmMain::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
}
void TFrmMain::CreateControls() {}
void TFrmMain::BindControlEvents() {}
void TFrmMain::SnapToScreenEdges() {}
