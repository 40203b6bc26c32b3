// The control window's controls, laid out by CreateControls
// (uFrmMainLayout.cpp) and the switches added by FormCreate; TFrmMain holds
// them as its own members, by the names the handlers are called after.
#pragma once

#include <QPixmap>

class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;
class TDSTrackBar;
class TFlatComboBox;
class TMyRadionBtn;
class TMyRoundButton;
class TScheduleGrid;
class TTimelineWindow;
class TTransTrackBar;

struct TFrmMainControls {
    QFrame* plTop = nullptr;
    TMyRoundButton* btnUP = nullptr;
    QLabel* Image1 = nullptr;
    TTransTrackBar* SoundLevel2 = nullptr;
    TMyRoundButton* btnRestore = nullptr;
    TMyRoundButton* btnPause = nullptr;
    TMyRoundButton* btnBack = nullptr;
    TMyRoundButton* btnNext = nullptr;
    TFlatComboBox* cbRate = nullptr;
    TMyRoundButton* btnClose = nullptr;
    TMyRoundButton* btnSelFile = nullptr;
    TMyRoundButton* btnSelAudioChl2 = nullptr;
    TFlatComboBox* cbAudioChl2 = nullptr;
    TMyRadionBtn* lbLeft2 = nullptr;
    TMyRadionBtn* lbCenter2 = nullptr;
    TMyRadionBtn* lbRight2 = nullptr;
    QLabel* lbPos = nullptr;
    TDSTrackBar* DSTrackBar1 = nullptr;
    QLabel* lbLen = nullptr;
    TTransTrackBar* tbZoom = nullptr;

    TScheduleGrid* sgV = nullptr;

    QFrame* plBottom = nullptr;
    TMyRoundButton* btnDown = nullptr;
    TMyRoundButton* btnAdd = nullptr;
    TMyRoundButton* btnDel = nullptr;
    TMyRoundButton* btnSave = nullptr;
    TFlatComboBox* cbTrans = nullptr;
    TFlatComboBox* cbDelay = nullptr;
    TFlatComboBox* cbHideTime = nullptr;
    TMyRadionBtn* rbExit = nullptr;
    TMyRadionBtn* rbShut = nullptr;
    TMyRadionBtn* rbPlay = nullptr;
    QCheckBox* chkHide = nullptr;
    QCheckBox* chkEdit = nullptr;
    QCheckBox* chkAutoPlay = nullptr;
    QCheckBox* chkPause = nullptr;
    QCheckBox* chkOn2Monitor = nullptr;
    QCheckBox* chkRePlay = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    // Glyphs drawn into the schedule grid; never shown by themselves.
    QPixmap imgPlay, imgAdd, imgSub;
    QListWidget* lbFilters2 = nullptr; // hidden: filter names of the graph

    // The practice switches (uFrmMainActions.cpp).
    QCheckBox* chkMirror = nullptr;
    QCheckBox* chkStretch = nullptr;
    QCheckBox* chkOSD = nullptr;
    QCheckBox* chkSpeedUp = nullptr;
    // The timeline window's switch, the window, its feed (uFrmMainTimeline.cpp).
    QCheckBox* chkTimeline = nullptr;
    TTimelineWindow* FrmTimeline = nullptr;
    QTimer* tmTimeline = nullptr;
    // The phone remote's switch, panel, QR code, address and PIN button
    // (uFrmMainRemote.cpp); a new PIN: every paired phone pairs again.
    QCheckBox* chkRemote = nullptr;
    QFrame* plRemote = nullptr;
    QLabel* imgRemoteQr = nullptr;
    QLabel* lbRemote = nullptr;
    QPushButton* btnRemotePin = nullptr;
    QMenu* RecentMenu = nullptr; // the open button's right-click list
    // Made when first needed (OpenDialog): a file dialog with its widgets
    // and folder model holds about 8 MB from the start.
    QFileDialog* OpenDialog1 = nullptr;
    QTimer* tmIdel = nullptr;
};
